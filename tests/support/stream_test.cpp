// The byte streams: buffering and positions of the handle streams, ownership of handles,
// files named in UTF-16, and the clamps of the memory stream.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/streams.h"
#include "tests/common/sparse_file.h"
#include "tests/common/temp_folder.h"
#include "tests/support/wide_text.h"

namespace {

using support::FileStream;
using support::HandleStream;
using support::kStreamBufferSize;
using support::MemoryStream;
using support::Stream;
using support::WideFileStream;
using testing_support::TempFolder;
using testing_support::WideString;

uint8_t patternByte(size_t i) { return static_cast<uint8_t>(i * 7 + i / 251); }

std::string patternBytes(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(patternByte(i));
  return bytes;
}

uintptr_t nameOf(const std::string& path) { return reinterpret_cast<uintptr_t>(path.c_str()); }
uintptr_t valueOf(HANDLE handle) { return reinterpret_cast<uintptr_t>(handle); }
uintptr_t addressOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }

HANDLE openForRead(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The file pointer of a handle, as the host would see it.
DWORD filePointer(HANDLE handle) { return SetFilePointer(handle, 0, nullptr, FILE_CURRENT); }

// A FileStream that shows its handle, to see what becomes of it.
struct VisibleFileStream : FileStream {
  HANDLE handle() const { return handle_; }
};

// A file of `size` pattern bytes, opened for reading through a FileStream.
struct PatternFile {
  explicit PatternFile(size_t size) : path(folder.path("data.bin")) {
    folder.write("data.bin", patternBytes(size));
    EXPECT_EQ(stream.openRead(nameOf(path), 0), 0);
  }
  TempFolder folder;
  std::string path;
  FileStream stream;
};

// Streams whose opening failed or left them closed: every operation answers -1, atEnd 0.
TEST(Streams, ClosedStreamsAnswerMinusOne) {
  TempFolder folder;
  const std::string missing = folder.path("missing.bin");
  const WideString wideMissing = testing_support::widePath(folder, WIDE_TEXT("missing.bin"));
  HandleStream handle;
  FileStream file;
  WideFileStream wideFile;
  MemoryStream memory;
  EXPECT_EQ(handle.openRead(valueOf(INVALID_HANDLE_VALUE), 0), -1);
  EXPECT_EQ(file.openRead(nameOf(missing), 0), -1);
  EXPECT_EQ(wideFile.openRead(addressOf(wideMissing.c_str()), 0), -1);
  EXPECT_EQ(memory.openRead(0, 10), 0);  // a null block opens "successfully", but closed
  for (Stream* stream : {static_cast<Stream*>(&handle), static_cast<Stream*>(&file),
                         static_cast<Stream*>(&wideFile), static_cast<Stream*>(&memory)}) {
    uint8_t byte = 0;
    EXPECT_EQ(stream->getByte(), -1);
    EXPECT_EQ(stream->read(&byte, 1), -1);
    EXPECT_EQ(stream->putByte(1), -1);
    EXPECT_EQ(stream->write(&byte, 1), -1);
    EXPECT_EQ(stream->writeFrom(*stream, 1), -1);
    EXPECT_EQ(stream->seek(0), -1);
    EXPECT_EQ(stream->tell(), -1);
    EXPECT_EQ(stream->size(), -1);
    EXPECT_EQ(stream->atEnd(), 0);
    EXPECT_EQ(stream->openOther(0, 0), -1);
  }
}

TEST(HandleStream, EndOfFileKeepsAnsweringMinusOne) {
  PatternFile file(3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(file.stream.getByte(), patternByte(i));
  EXPECT_EQ(file.stream.atEnd(), 1);
  uint8_t buffer[8];
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(file.stream.getByte(), -1);
    EXPECT_EQ(file.stream.read(buffer, 8), -1);  // nothing buffered at the end: -1, not 0
  }
}

TEST(HandleStream, ReadTakesBufferedBytesThenReadsDirect) {
  // 10 bytes left in the buffer and 30 in the file behind it.
  PatternFile file(kStreamBufferSize + 30);
  std::vector<uint8_t> head(kStreamBufferSize - 10);
  ASSERT_EQ(file.stream.read(head.data(), static_cast<uint32_t>(head.size())), static_cast<int32_t>(head.size()));
  uint8_t tail[100] = {};
  ASSERT_EQ(file.stream.read(tail, 100), 40);
  for (size_t i = 0; i < 40; ++i) ASSERT_EQ(tail[i], patternByte(head.size() + i)) << i;
  EXPECT_EQ(file.stream.tell(), static_cast<int32_t>(kStreamBufferSize + 30));
  EXPECT_EQ(file.stream.atEnd(), 1);
  EXPECT_EQ(file.stream.read(tail, 100), -1);
}

TEST(HandleStream, LargeReadThenBytesContinueInOrder) {
  PatternFile file(100000);
  std::vector<uint8_t> block(50000);
  ASSERT_EQ(file.stream.read(block.data(), 50000), 50000);
  for (size_t i = 0; i < block.size(); ++i) ASSERT_EQ(block[i], patternByte(i)) << i;
  EXPECT_EQ(file.stream.tell(), 50000);
  EXPECT_EQ(file.stream.getByte(), patternByte(50000));
  EXPECT_EQ(file.stream.size(), 100000);
}

TEST(HandleStream, ReadOfNothingRefillsAnEmptyBuffer) {
  PatternFile file(5);
  uint8_t byte = 0;
  EXPECT_EQ(file.stream.read(&byte, 0), 0);  // the file still has data
  EXPECT_EQ(file.stream.tell(), 0);
  file.stream.seek(5);
  EXPECT_EQ(file.stream.read(&byte, 0), -1);  // at the end
  EXPECT_EQ(file.stream.read(nullptr, 0), -1);
}

TEST(HandleStream, TellDiscountsReadAhead) {
  TempFolder folder;
  folder.write("big.bin", patternBytes(100000));
  HANDLE handle = openForRead(folder.path("big.bin"));
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  {
    HandleStream stream;
    ASSERT_EQ(stream.openRead(valueOf(handle), 0), 0);
    uint8_t header[48];
    ASSERT_EQ(stream.read(header, 48), 48);
    EXPECT_EQ(stream.tell(), 48);
    EXPECT_EQ(filePointer(handle), kStreamBufferSize);
    EXPECT_EQ(stream.atEnd(), 0);
  }
  CloseHandle(handle);
}

TEST(HandleStream, StartsWhereTheOwnerLeftTheFilePointer) {
  TempFolder folder;
  folder.write("data.bin", patternBytes(100));
  HANDLE handle = openForRead(folder.path("data.bin"));
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  SetFilePointer(handle, 60, nullptr, FILE_BEGIN);
  HandleStream stream;
  ASSERT_EQ(stream.openRead(valueOf(handle), 0), 0);
  EXPECT_EQ(stream.tell(), 60);
  EXPECT_EQ(stream.getByte(), patternByte(60));
  EXPECT_EQ(stream.size(), 100);  // the whole file
  stream.close();
  CloseHandle(handle);
}

TEST(HandleStream, SeekDropsReadAhead) {
  PatternFile file(100000);
  for (int i = 0; i < 100; ++i) file.stream.getByte();
  EXPECT_EQ(file.stream.seek(0), 0);
  EXPECT_EQ(file.stream.getByte(), patternByte(0));
  EXPECT_EQ(file.stream.seek(70000), 70000);
  EXPECT_EQ(file.stream.getByte(), patternByte(70000));
  EXPECT_EQ(file.stream.tell(), 70001);
  EXPECT_EQ(file.stream.seek(-1), -1);
}

TEST(HandleStream, BorrowedHandleOutlivesTheStream) {
  TempFolder folder;
  folder.write("data.bin", patternBytes(10));
  HANDLE handle = openForRead(folder.path("data.bin"));
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  auto* stream = new HandleStream();
  ASSERT_EQ(stream->openRead(valueOf(handle), 0), 0);
  EXPECT_EQ(stream->getByte(), patternByte(0));
  delete stream;
  EXPECT_EQ(GetFileSize(handle, nullptr), 10u);  // still open
  EXPECT_TRUE(CloseHandle(handle));
}

TEST(FileStream, ClosesTheFileItOpened) {
  TempFolder folder;
  folder.write("data.bin", patternBytes(10));
  auto* stream = new VisibleFileStream();
  ASSERT_EQ(stream->openRead(nameOf(folder.path("data.bin")), 0), 0);
  HANDLE handle = stream->handle();
  EXPECT_EQ(GetFileSize(handle, nullptr), 10u);
  delete stream;
  EXPECT_EQ(GetFileSize(handle, nullptr), INVALID_FILE_SIZE);
}

TEST(FileStream, UnnamedFileDoesNotOpen) {
  FileStream stream;
  EXPECT_EQ(stream.openRead(0, 0), -1);
  EXPECT_EQ(stream.openWrite(0, 0), -1);
}

// The wide calls open what the code page cannot spell; after the opening the stream is a
// FileStream like any other.
TEST(WideFileStream, OpensNamesTheCodePageCannotSpell) {
  TempFolder folder;
  const WideString path = testing_support::widePath(folder, testing_support::unspellableStem() + WIDE_TEXT(".bin"));
  const std::string bytes = patternBytes(kStreamBufferSize + 3);
  {
    WideFileStream out;
    ASSERT_EQ(out.openWrite(addressOf(path.c_str()), 0), 0);
    EXPECT_EQ(out.write(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size())),
              static_cast<int32_t>(bytes.size()));
  }  // flushed and closed on destruction
  WideFileStream in;
  ASSERT_EQ(in.openRead(addressOf(path.c_str()), 0), 0);
  EXPECT_EQ(in.size(), static_cast<int32_t>(bytes.size()));
  std::string back(bytes.size(), '\0');
  EXPECT_EQ(in.read(reinterpret_cast<uint8_t*>(&back[0]), static_cast<uint32_t>(back.size())),
            static_cast<int32_t>(bytes.size()));
  EXPECT_TRUE(back == bytes);
  EXPECT_EQ(in.openRead(0, 0), -1);  // no name
}

TEST(FileStream, WriteEmptiesAnExistingFileAndFlushesOnDestruction) {
  TempFolder folder;
  folder.write("out.bin", "old contents that are longer");
  {
    FileStream stream;
    ASSERT_EQ(stream.openWrite(nameOf(folder.path("out.bin")), 0), 0);
    EXPECT_EQ(stream.putByte(0x141), 0);  // the low byte counts
    EXPECT_EQ(stream.write(reinterpret_cast<const uint8_t*>("xy"), 2), 2);
  }
  EXPECT_EQ(folder.read("out.bin"), "Axy");
}

TEST(FileStream, WritesLargerThanTheBufferArriveWhole) {
  TempFolder folder;
  std::string bytes = patternBytes(3 * kStreamBufferSize + 123);
  {
    FileStream stream;
    ASSERT_EQ(stream.openWrite(nameOf(folder.path("out.bin")), 0), 0);
    EXPECT_EQ(stream.write(reinterpret_cast<const uint8_t*>(bytes.data()), 100), 100);
    EXPECT_EQ(stream.write(reinterpret_cast<const uint8_t*>(bytes.data()) + 100,
                           static_cast<uint32_t>(bytes.size() - 100)),
              static_cast<int32_t>(bytes.size() - 100));
  }
  EXPECT_EQ(folder.read("out.bin"), bytes);
}

TEST(FileStream, SeekWhileWritingKeepsPendingOutput) {
  TempFolder folder;
  {
    FileStream stream;
    ASSERT_EQ(stream.openWrite(nameOf(folder.path("out.bin")), 0), 0);
    stream.write(reinterpret_cast<const uint8_t*>("abcd"), 4);
    EXPECT_EQ(stream.tell(), 4);
    EXPECT_EQ(stream.seek(1), 1);
    stream.putByte('X');
    EXPECT_EQ(stream.tell(), 2);
  }
  EXPECT_EQ(folder.read("out.bin"), "aXcd");
}

TEST(FileStream, WriteFromCopiesAnotherStream) {
  TempFolder folder;
  std::string bytes = patternBytes(40000);
  MemoryStream source;
  source.openRead(addressOf(bytes.data()), static_cast<uint32_t>(bytes.size()));
  {
    FileStream stream;
    ASSERT_EQ(stream.openWrite(nameOf(folder.path("out.bin")), 0), 0);
    EXPECT_EQ(stream.writeFrom(source, 50000), 40000);  // the source runs dry
    EXPECT_EQ(stream.writeFrom(source, 10), 0);
  }
  EXPECT_EQ(folder.read("out.bin"), bytes);
}

TEST(FileStream, ReadingAndWritingDoNotMix) {
  PatternFile file(10);
  EXPECT_EQ(file.stream.putByte(1), -1);
  EXPECT_EQ(file.stream.write(reinterpret_cast<const uint8_t*>("x"), 1), -1);
  EXPECT_EQ(file.stream.writeFrom(file.stream, 1), -1);
  FileStream out;
  ASSERT_EQ(out.openWrite(nameOf(file.folder.path("out.bin")), 0), 0);
  out.putByte('a');
  uint8_t byte = 0;
  EXPECT_EQ(out.getByte(), -1);  // never the unwritten bytes of the buffer
  EXPECT_EQ(out.read(&byte, 1), -1);
  out.close();
  EXPECT_EQ(file.folder.read("out.bin"), "a");
  EXPECT_EQ(file.folder.read("data.bin"), patternBytes(10));
}

// The memory stream over a 10-byte block: reads from a position, clamped to the block.
TEST(MemoryStream, ReadsAreClampedToTheBlock) {
  const uint8_t block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  struct Case {
    int32_t start;
    uint32_t n;
    int32_t result;  // bytes delivered or -1
    int32_t after;   // tell afterwards
    int32_t atEnd;
  };
  const Case cases[] = {
      {4, 16, 6, 10, 1},          // cut at the end
      {0, 10, 10, 10, 1},         // exactly the block
      {3, 0, 0, 3, 0},            // nothing asked, nothing moved
      {9, 0xFFFFFFFFu, 1, 10, 1}, // a huge request cannot wrap the position
      {10, 1, -1, 10, 1},         // at the end
      {10, 0, -1, 10, 1},
      {20, 1, -1, 20, 0},         // past the end
      {-1, 4, -1, -1, 0},         // a negative position is far past the end
  };
  for (const Case& c : cases) {
    MemoryStream stream;
    ASSERT_EQ(stream.openRead(addressOf(block), sizeof block), 0);
    EXPECT_EQ(stream.seek(c.start), 0);
    uint8_t out[16] = {};
    EXPECT_EQ(stream.read(out, c.n), c.result) << c.start << " " << c.n;
    for (int32_t i = 0; i < c.result; ++i) EXPECT_EQ(out[i], block[c.start + i]);
    EXPECT_EQ(stream.tell(), c.after) << c.start;
    EXPECT_EQ(stream.atEnd(), c.atEnd) << c.start;
  }
}

TEST(MemoryStream, ByteByByteToTheEnd) {
  const uint8_t block[3] = {0xFF, 0x00, 0x80};
  MemoryStream stream;
  stream.openRead(addressOf(block), 3);
  EXPECT_EQ(stream.getByte(), 0xFF);  // bytes are unsigned
  EXPECT_EQ(stream.getByte(), 0x00);
  EXPECT_EQ(stream.getByte(), 0x80);
  EXPECT_EQ(stream.getByte(), -1);
  EXPECT_EQ(stream.getByte(), -1);
  EXPECT_EQ(stream.seek(20), 0);
  EXPECT_EQ(stream.tell(), 20);
  EXPECT_EQ(stream.getByte(), -1);
  EXPECT_EQ(stream.atEnd(), 0);
  EXPECT_EQ(stream.size(), 3);
}

TEST(MemoryStream, WritesStayInsideTheBlock) {
  uint8_t storage[12] = {};
  uint8_t* block = storage + 1;  // 10 bytes with a guard byte either side
  MemoryStream stream;
  stream.openWrite(addressOf(block), 10);
  stream.seek(6);
  EXPECT_EQ(stream.write(reinterpret_cast<const uint8_t*>("abcdefgh"), 8), 4);
  EXPECT_EQ(stream.write(reinterpret_cast<const uint8_t*>("z"), 1), -1);
  EXPECT_EQ(stream.putByte('z'), -1);
  stream.seek(0);
  EXPECT_EQ(stream.putByte('A'), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(storage), 12), std::string("\0A\0\0\0\0\0abcd\0", 12));
}

TEST(MemoryStream, WriteFromMovesByWhatArrived) {
  uint8_t block[10] = {};
  const uint8_t source[3] = {7, 8, 9};
  MemoryStream from;
  from.openRead(addressOf(source), 3);
  MemoryStream to;
  to.openWrite(addressOf(block), 10);
  EXPECT_EQ(to.writeFrom(from, 8), 3);
  EXPECT_EQ(to.tell(), 3);
  EXPECT_EQ(to.writeFrom(from, 8), -1);  // the source is spent
  EXPECT_EQ(to.tell(), 3);
  EXPECT_EQ(to.writeFrom(to, 1), -1);
  EXPECT_EQ(block[2], 9);
  EXPECT_EQ(block[3], 0);
}

// Lengths are cut to what a 32-bit count can report and to the end of the address space;
// only the size is asked, no byte of these blocks is touched.
TEST(MemoryStream, LengthsThatCannotBeReportedAreCut) {
  const uint8_t block[1] = {0};
  MemoryStream stream;
  stream.openRead(addressOf(block), 0xFFFFFFFFu);
  EXPECT_EQ(stream.size(), 0x7FFFFFFF);
  stream.openRead(UINTPTR_MAX - 9, 100);
  EXPECT_EQ(stream.size(), 9);
}

// Files of 2 GiB and more: the 64-bit positions reach every byte, while the 32-bit tell and
// size, which cannot name them, answer -1 rather than a wrong number.
TEST(HandleStream, PositionsAndSizesBeyond2GiBIn64Bits) {
  TempFolder folder;
  const std::string path = folder.path("sparse.bin");
  const struct {
    const char* what;
    uint64_t offset;  // where "ABCD" lies; the file ends right after it
    int32_t size32;
  } cases[] = {
      {"below 2 GiB", 0x7FFFFFF0ull, 0x7FFFFFF4},
      {"just past 2 GiB", 0x80000000ull, -1},
      {"across 4 GiB", 0xFFFFFFFEull, -1},
      {"past 4 GiB", 0x100000010ull, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(testing_support::writeSparseFile(path, {{0, "head"}, {c.offset, "ABCD"}}));
    FileStream stream;
    ASSERT_EQ(stream.openRead(nameOf(path), 0), 0);
    EXPECT_EQ(stream.size64(), static_cast<int64_t>(c.offset + 4));
    EXPECT_EQ(stream.size(), c.size32);
    EXPECT_EQ(stream.seek64(c.offset + 1), static_cast<int64_t>(c.offset + 1));
    EXPECT_EQ(stream.getByte(), 'B');
    EXPECT_EQ(stream.tell64(), static_cast<int64_t>(c.offset + 2));
    EXPECT_EQ(stream.tell(), c.size32 == -1 ? -1 : static_cast<int32_t>(c.offset + 2));
    uint8_t rest[8] = {};
    EXPECT_EQ(stream.read(rest, sizeof rest), 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rest), 2), "CD");
    EXPECT_EQ(stream.atEnd(), 1);
    EXPECT_EQ(stream.seek64(0), 0);
    EXPECT_EQ(stream.getByte(), 'h');
    EXPECT_EQ(stream.atEnd(), 0);
  }
  HandleStream closed;
  EXPECT_EQ(closed.seek64(0), -1);
  EXPECT_EQ(closed.tell64(), -1);
  EXPECT_EQ(closed.size64(), -1);
}

// A memory block never reaches 2 GiB: a 64-bit position beyond it reads nothing.
TEST(MemoryStream, PositionsIn64Bits) {
  const uint8_t block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  MemoryStream memory;
  memory.openRead(addressOf(block), sizeof block);
  EXPECT_EQ(memory.size64(), 10);
  EXPECT_EQ(memory.seek64(7), 7);
  EXPECT_EQ(memory.getByte(), 7);
  EXPECT_EQ(memory.tell64(), 8);
  for (uint64_t beyond : {uint64_t{20}, uint64_t{0xFFFFFFFF}, uint64_t{0x100000003}}) {
    EXPECT_GE(memory.seek64(beyond), 10) << beyond;
    EXPECT_EQ(memory.getByte(), -1) << beyond;
  }
  memory.close();
  EXPECT_EQ(memory.seek64(0), -1);
  EXPECT_EQ(memory.size64(), -1);
}

TEST(StreamFactories, EachMakesItsOwnKind) {
  std::unique_ptr<Stream> file(support::FileStreamFactory().create());
  std::unique_ptr<Stream> handle(support::HandleStreamFactory().create());
  std::unique_ptr<Stream> memory(support::MemoryStreamFactory().create());
  std::unique_ptr<Stream> wide(support::WideFileStreamFactory().create());
  EXPECT_NE(dynamic_cast<FileStream*>(file.get()), nullptr);
  EXPECT_EQ(dynamic_cast<WideFileStream*>(file.get()), nullptr);
  EXPECT_NE(dynamic_cast<WideFileStream*>(wide.get()), nullptr);
  EXPECT_EQ(dynamic_cast<FileStream*>(handle.get()), nullptr);
  EXPECT_NE(dynamic_cast<HandleStream*>(handle.get()), nullptr);
  EXPECT_NE(dynamic_cast<MemoryStream*>(memory.get()), nullptr);
  EXPECT_EQ(file->size(), -1);  // made closed
  EXPECT_EQ(memory->size(), -1);
}

}  // namespace
