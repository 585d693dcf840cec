// Input selection (ANSI and UTF-16 names), the probe input, name copies, the progress
// notifier, GetPluginInfo and the registry.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/win32.h"
#include "support/call_frame.h"
#include "support/format_registry.h"
#include "support/image_decoder.h"
#include "support/plugin_info.h"
#include "support/streams.h"
#include "tests/common/temp_folder.h"
#include "tests/support/wide_text.h"

// Lets a test make every nothrow allocation fail (arrays too): the library and the registry
// allocate only that way. Other allocations pass through to the ordinary operator new, so the
// objects are freed by the matching operator delete.
namespace {
bool failNothrowNew = false;
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (failNothrowNew) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (failNothrowNew) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

using support::InputArgs;
using support::Stream;
using testing_support::TempFolder;
using testing_support::WideString;

struct FailingNothrowNew {
  FailingNothrowNew() { failNothrowNew = true; }
  ~FailingNothrowNew() { failNothrowNew = false; }
};

// openInput's result and stream, the stream deleted with the holder.
struct Opened {
  explicit Opened(const InputArgs& args) : code(support::openInput(args, &raw)), stream(raw) {}
  Stream* raw = reinterpret_cast<Stream*>(1);  // openInput must clear it
  int32_t code;
  std::unique_ptr<Stream> stream;
};

TEST(OpenInput, OnlyTheLowThreeBitsSelectTheInput) {
  TempFolder folder;
  folder.write("data.bin", "0123456789");
  std::string path = folder.path("data.bin");
  struct Case {
    uint32_t flag;
    int32_t code;
    bool file;  // a FileStream when it opens
  };
  const Case cases[] = {
      {0x000, 0, true},   {0x100, 0, true},   {0x080, 0, true},   {0xFFFFFFF8u, 0, true},
      {0x002, -1, false}, {0x003, -1, false}, {0x004, -1, false}, {0x005, -1, false},
      {0x006, -1, false}, {0x007, -1, false}, {0x102, -1, false}, {0xFFFFFFFFu, -1, false},
  };
  for (const Case& c : cases) {
    Opened opened(InputArgs(path.c_str(), 0, c.flag));
    EXPECT_EQ(opened.code, c.code) << std::hex << c.flag;
    EXPECT_EQ(opened.stream != nullptr, c.code == 0) << std::hex << c.flag;
    if (opened.stream == nullptr) continue;
    EXPECT_EQ(dynamic_cast<support::FileStream*>(opened.stream.get()) != nullptr, c.file);
    EXPECT_EQ(opened.stream->size(), 10);
  }
}

// Kinds 2 to 7 must not even look at `source`: an address that cannot be read shows it.
TEST(OpenInput, UnsupportedKindsDoNotTouchTheSource) {
  const void* unreadable = reinterpret_cast<const void*>(static_cast<uintptr_t>(16));
  for (uint32_t flag = 2; flag <= 7; ++flag) {
    Opened opened(InputArgs(unreadable, 5, flag));
    EXPECT_EQ(opened.code, spi::kNotSupported);
    EXPECT_EQ(opened.raw, nullptr);
  }
}

TEST(OpenInput, FilesThatCannotBeOpenedAnswerReadError) {
  TempFolder folder;
  folder.makeFolder("folder");
  const std::string missing = folder.path("missing.gg0");
  const std::string directory = folder.path("folder");
  for (const char* name : {missing.c_str(), directory.c_str(), "", static_cast<const char*>(nullptr)}) {
    Opened opened(InputArgs(name, 0, 0));
    EXPECT_EQ(opened.code, spi::kReadError) << (name ? name : "(null)");
    EXPECT_EQ(opened.raw, nullptr);
  }
}

TEST(OpenInput, EmptyFileOpens) {
  TempFolder folder;
  folder.write("empty.bin", "");
  std::string path = folder.path("empty.bin");
  Opened opened(InputArgs(path.c_str(), 0, 0));
  ASSERT_EQ(opened.code, 0);
  EXPECT_EQ(opened.stream->size(), 0);
  EXPECT_EQ(opened.stream->getByte(), -1);
  EXPECT_EQ(opened.stream->atEnd(), 1);
}

TEST(OpenInput, FileIsPlacedAtTheStartOffset) {
  TempFolder folder;
  folder.write("data.bin", "0123456789");
  std::string path = folder.path("data.bin");
  Opened opened(InputArgs(path.c_str(), 4, 0));
  ASSERT_EQ(opened.code, 0);
  EXPECT_EQ(opened.stream->tell(), 4);
  EXPECT_EQ(opened.stream->getByte(), '4');
  opened.stream->seek(0);  // absolute positions still reach the start of the file
  EXPECT_EQ(opened.stream->getByte(), '0');
}

TEST(OpenInput, MemoryCoversTheGivenBytes) {
  const char data[] = "0123456789";
  struct Case {
    intptr_t length;
    int32_t size;
  };
  const Case cases[] = {
      {10, 10},
      {4, 4},
      {0, 0},
      {-1, 0},          // no block at all, not 4 GB of one
      {INT32_MIN, 0},
  };
  for (const Case& c : cases) {
    Opened opened(InputArgs(data, c.length, 1));
    ASSERT_EQ(opened.code, 0);
    ASSERT_NE(dynamic_cast<support::MemoryStream*>(opened.stream.get()), nullptr);
    EXPECT_EQ(opened.stream->size(), c.size) << c.length;
    uint8_t out[16];
    EXPECT_EQ(opened.stream->read(out, 16), c.size > 0 ? c.size : -1) << c.length;
  }
}

TEST(OpenInput, NoMemoryAnswersFourAndHandsOutNothing) {
  const char data[] = "0123456789";
  for (uint32_t flag : {0u, 1u}) {
    FailingNothrowNew failing;
    Stream* out = reinterpret_cast<Stream*>(1);
    EXPECT_EQ(support::openInput(InputArgs(data, 10, flag), &out), spi::kNoMemory);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(support::openInput(InputArgs(data, 10, 1), nullptr), spi::kNotSupported);
}

// Arguments made from a UTF-16 name open the file through the wide calls; data in memory is
// bytes whatever the pointer's type.
TEST(OpenInput, WideArgumentsOpenFilesByTheirUtf16Name) {
  TempFolder folder;
  const WideString path = testing_support::widePath(folder, testing_support::unspellableStem() + WIDE_TEXT(".bin"));
  const WideString missing = testing_support::widePath(folder, WIDE_TEXT("missing.bin"));
  ASSERT_TRUE(testing_support::writeWideFile(path, "0123456789"));
  struct Case {
    const char* what;
    const spi::WideChar* name;
    intptr_t length;
    uint32_t flag;
    int32_t code;
    int32_t firstByte;  // at the start offset
  };
  const Case cases[] = {
      {"file", path.c_str(), 0, 0, spi::kSuccess, '0'},
      {"file at an offset, output bits set", path.c_str(), 4, 0x100, spi::kSuccess, '4'},
      {"missing file", missing.c_str(), 0, 0, spi::kReadError, -1},
      {"no name", nullptr, 0, 0, spi::kReadError, -1},
      {"input kind 2", path.c_str(), 0, 2, spi::kNotSupported, -1},
  };
  for (const Case& c : cases) {
    Opened opened(InputArgs(c.name, c.length, c.flag));
    EXPECT_EQ(opened.code, c.code) << c.what;
    if (opened.stream == nullptr) continue;
    EXPECT_NE(dynamic_cast<support::WideFileStream*>(opened.stream.get()), nullptr) << c.what;
    EXPECT_EQ(opened.stream->getByte(), c.firstByte) << c.what;
  }
  const char data[] = "0123456789";
  Opened memory(InputArgs(reinterpret_cast<const spi::WideChar*>(data), 10, 1));
  ASSERT_EQ(memory.code, spi::kSuccess);
  EXPECT_EQ(memory.stream->size(), 10);

  void* info = nullptr;
  void* bits = nullptr;
  Opened picture(support::PictureArgs(path.c_str(), 0, 0, &info, &bits, nullptr, 0));
  ASSERT_EQ(picture.code, spi::kSuccess);
  EXPECT_EQ(picture.stream->size(), 10);
}

TEST(FileNameCopy, KeepsItsOwnCopyOfEitherFamily) {
  std::string ansi = "archive.mgx";
  WideString wide = WIDE_TEXT("archive.mgx");
  support::FileNameCopy ansiCopy;
  support::FileNameCopy wideCopy;
  ASSERT_TRUE(ansiCopy.assign(ansi.c_str()));
  ASSERT_TRUE(wideCopy.assign(wide.c_str()));
  ansi[0] = 'X';
  wide[0] = 'X';
  EXPECT_STREQ(ansiCopy.name().ansi(), "archive.mgx");
  EXPECT_FALSE(ansiCopy.name().isWide());
  ASSERT_TRUE(wideCopy.name().isWide());
  EXPECT_TRUE(WideString(wideCopy.name().utf16()) == WIDE_TEXT("archive.mgx"));
  EXPECT_FALSE(ansiCopy.assign(static_cast<const char*>(nullptr)));
  EXPECT_TRUE(ansiCopy.empty());
  EXPECT_TRUE(ansiCopy.name().isNull());
  FailingNothrowNew failing;
  EXPECT_FALSE(wideCopy.assign(wide.c_str()));
  EXPECT_TRUE(wideCopy.empty());
}

TEST(OpenProbeInput, SmallValuesAreHandlesLargerOnesAddresses) {
  std::unique_ptr<Stream> handle(support::openProbeInput(0xFFFF));
  std::unique_ptr<Stream> zero(support::openProbeInput(0));
  std::unique_ptr<Stream> address(support::openProbeInput(0x10000));
  ASSERT_NE(handle, nullptr);
  ASSERT_NE(address, nullptr);
  EXPECT_NE(dynamic_cast<support::HandleStream*>(handle.get()), nullptr);
  EXPECT_NE(dynamic_cast<support::HandleStream*>(zero.get()), nullptr);
  EXPECT_NE(dynamic_cast<support::MemoryStream*>(address.get()), nullptr);
  EXPECT_EQ(dynamic_cast<support::MemoryStream*>(handle.get()), nullptr);
  EXPECT_EQ(handle->getByte(), -1);  // no such file: nothing to read, no crash
  EXPECT_EQ(address->size(), static_cast<int32_t>(support::kProbeHeadBytes));
}

TEST(OpenProbeInput, AddressCoversTheFirst1024Bytes) {
  std::string head(2048, 'h');
  std::unique_ptr<Stream> stream(support::openProbeInput(reinterpret_cast<uintptr_t>(head.data())));
  ASSERT_NE(stream, nullptr);
  std::string copy(2048, '\0');
  EXPECT_EQ(stream->read(reinterpret_cast<uint8_t*>(&copy[0]), 2048), 1024);
  EXPECT_EQ(stream->read(reinterpret_cast<uint8_t*>(&copy[0]), 1), -1);
}

TEST(OpenProbeInput, ReadsThroughTheHostsHandleAndLeavesItOpen) {
  TempFolder folder;
  folder.write("data.bin", "GGA0 and more");
  HANDLE handle = CreateFileA(folder.path("data.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  uintptr_t dw = reinterpret_cast<uintptr_t>(handle);
  ASSERT_TRUE(spi::isProbeHandle(dw)) << "the platform hands out small handle values";
  SetFilePointer(handle, 5, nullptr, FILE_BEGIN);
  {
    std::unique_ptr<Stream> stream(support::openProbeInput(dw));
    ASSERT_NE(stream, nullptr);
    stream->seek(0);
    EXPECT_EQ(stream->getByte(), 'G');
  }
  EXPECT_EQ(GetFileSize(handle, nullptr), 13u);
  EXPECT_TRUE(CloseHandle(handle));
}

TEST(OpenProbeInput, NoMemoryGivesNoStream) {
  FailingNothrowNew failing;
  EXPECT_EQ(support::openProbeInput(0x1234), nullptr);
  EXPECT_EQ(support::openProbeInput(0x123456), nullptr);
}

int SPI_CALL recordingCallback(int num, int denom, spi::UserData user) {
  return static_cast<int>(num * 100 + denom * 10 + user);
}

TEST(ProgressNotifier, NullCallbackNeverAsksToStop) {
  support::ProgressNotifier none(nullptr, 3);
  ASSERT_NE(none.callback, nullptr);
  EXPECT_EQ(none.callback(1, 2, none.userData), 0);
  EXPECT_EQ(none.userData, 3);
  support::ProgressNotifier host(recordingCallback, 4);
  EXPECT_EQ(host.callback(1, 2, host.userData), 124);
}

TEST(GetPluginInfo, IndexesAndLimits) {
  const spi::PluginInfoTable table = {"00IN", "Test plug-in 1.0", "*.tst;*.ts2", "Test file"};
  struct Case {
    int infono;
    int buflen;
    int result;
    const char* stored;  // null: the buffer is untouched
  };
  const Case cases[] = {
      {0, 256, 5, "00IN"},
      {0, 5, 5, "00IN"},
      {0, 4, 4, "00I"},  // cut and still terminated
      {0, 3, 3, "00"},
      {0, 1, 1, ""},
      {1, 256, 17, "Test plug-in 1.0"},
      {2, 256, 12, "*.tst;*.ts2"},
      {3, 256, 10, "Test file"},
      {4, 256, 0, nullptr},  // one pattern pair only
      {5, 256, 0, nullptr},
      {-1, 256, 0, nullptr},
      {0, 0, 0, nullptr},
      {0, -8, 0, nullptr},
  };
  for (const Case& c : cases) {
    char buf[256];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(support::getPluginInfo(table, c.infono, buf, c.buflen), c.result) << c.infono << "/" << c.buflen;
    if (c.stored != nullptr) {
      EXPECT_STREQ(buf, c.stored) << c.infono << "/" << c.buflen;
      EXPECT_EQ(buf[c.result], '#');  // nothing stored beyond the count
    } else {
      EXPECT_EQ(buf[0], '#');
    }
  }
  EXPECT_EQ(support::getPluginInfo(table, 0, nullptr, 256), 0);
}

// Format classes for the registry: one that rejects everything, one that accepts a stream
// starting with 'A', one that accepts anything.
class FakeDecoder : public support::ImageDecoder {
 public:
  int32_t getInfo(spi::PictureInfo*) override { return 0; }
  int32_t getPalette(uint8_t*) override { return 0; }
  int32_t decode(uint8_t*, support::ProgressNotifier&) override { return 0; }
};
class Rejecting : public FakeDecoder {
 public:
  int32_t probe(Stream&) override { return 0; }
};
class StartsWithA : public FakeDecoder {
 public:
  int32_t probe(Stream& input) override {
    input.seek(0);
    return input.getByte() == 'A' ? 1 : 0;
  }
};
class Accepting : public FakeDecoder {
 public:
  int32_t probe(Stream&) override { return 1; }
};

using Registry = support::FormatRegistry<support::ImageDecoder, Rejecting, StartsWithA, Accepting>;

int32_t identifyText(const char* text) {
  support::MemoryStream stream;
  stream.openRead(reinterpret_cast<uintptr_t>(text), static_cast<uint32_t>(std::strlen(text)));
  return Registry::identify(stream);
}

TEST(FormatRegistry, FirstAcceptingClassInNumberOrder) {
  EXPECT_EQ(identifyText("ABC"), 2);
  EXPECT_EQ(identifyText("BC"), 3);
  EXPECT_EQ(identifyText(""), 3);
  support::MemoryStream empty;
  EXPECT_EQ((support::FormatRegistry<support::ImageDecoder, Rejecting>::identify(empty)), 0);
}

TEST(FormatRegistry, CreateByNumber) {
  for (int32_t number : {0, -1, 4, 100}) EXPECT_EQ(Registry::create(number), nullptr) << number;
  std::unique_ptr<support::ImageDecoder> second(Registry::create(2));
  EXPECT_NE(dynamic_cast<StartsWithA*>(second.get()), nullptr);
  std::unique_ptr<support::ImageDecoder> third(Registry::create(3));
  EXPECT_NE(dynamic_cast<Accepting*>(third.get()), nullptr);
}

TEST(FormatRegistry, ClassesThatCannotBeMadeDoNotAccept) {
  FailingNothrowNew failing;
  EXPECT_EQ(identifyText("ABC"), 0);
  EXPECT_EQ(Registry::create(1), nullptr);
}

}  // namespace
