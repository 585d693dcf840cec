// The MGX writer: the bytes it lays down, what it refuses, and packing files from disk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mgx_plugin/mgx_reader.h"
#include "tests/common/temp_folder.h"
#include "tests/durnac/mgx_bytes.h"
#include "tools/mgx_writer/mgx_writer.h"

using durnac::MgxReader;
using mgx_test::Bytes;

TEST(MgxWriterTest, LaysOutHeaderDirectoryAndData) {
  Bytes archive;
  std::string error;
  ASSERT_TRUE(mgx_writer::buildArchive({{"a.txt", {'x', 'y'}}, {"ABCDEFGHIJKL", {'z'}}}, archive, error)) << error;
  const Bytes expected = {
      'S', 'M', '2', 'M', 'P', 'X', '1', '0',              // magic
      2, 0, 0, 0,                                          // entryCount
      72, 0, 0, 0,                                         // dataStart = 32 + 2 x 20
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                  // free bytes
      32, 0, 0, 0,                                         // directoryStart
      'a', '.', 't', 'x', 't', 0, 0, 0, 0, 0, 0, 0,        // name, NUL-padded
      72, 0, 0, 0, 2, 0, 0, 0,                             // offset, size
      'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L',  // 12 bytes, no NUL
      74, 0, 0, 0, 1, 0, 0, 0,                             // offset, size
      'x', 'y', 'z',                                       // the members' bytes
  };
  EXPECT_EQ(archive, expected);
}

TEST(MgxWriterTest, RefusesWhatAReaderCouldNotGiveBack) {
  const struct {
    const char* what;
    std::vector<mgx_writer::MemberPlan> members;
  } cases[] = {
      {"no members", {}},
      {"empty name", {{"", 1}}},
      {"13-byte name", {{"ABCDEFGHIJKLM", 1}}},
      {"path separator", {{"dir/file", 1}}},
      {"backslash", {{"dir\\file", 1}}},
      {"NUL inside the name", {{std::string("a\0b", 3), 1}}},
      {"second member starting beyond 2 GiB", {{"big", 0x80000000u}, {"after", 1}}},
      {"archive reaching 4 GiB", {{"huge", 0xFFFFFFFFu}}},
  };
  for (const auto& c : cases) {
    Bytes head;
    std::string error;
    EXPECT_FALSE(mgx_writer::planArchive(c.members, head, error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
  // The last member may start exactly at the last offset a signed seek reaches.
  Bytes head;
  std::string error;
  EXPECT_TRUE(mgx_writer::planArchive({{"big", 0x7FFFFFFFu - 72}, {"last", 100}}, head, error)) << error;
}

TEST(MgxWriterTest, PackedFilesReadBackThroughTheReader) {
  testing_support::TempFolder folder;
  folder.write("one.txt", "first member");
  folder.write("empty", "");
  std::string error;
  ASSERT_TRUE(mgx_writer::packFiles(folder.path("out.mgx"), {folder.path("one.txt"), folder.path("empty")}, error))
      << error;
  MgxReader reader;
  ASSERT_EQ(reader.open(folder.path("out.mgx").c_str()), spi::kSuccess);
  ASSERT_EQ(reader.entryCount(), 2u);
  spi::ArchiveEntryInfo record;
  ASSERT_EQ(reader.entryInfo(0, &record), spi::kSuccess);
  EXPECT_STREQ(record.filename, "one.txt");
  std::string bytes(record.filesize, '\0');
  EXPECT_EQ(reader.extract(0, reinterpret_cast<uint8_t*>(&bytes[0]), record.filesize), spi::kSuccess);
  EXPECT_EQ(bytes, "first member");
}

TEST(MgxWriterTest, FailedPacksLeaveNoArchive) {
  testing_support::TempFolder folder;
  folder.makeFolder("sub");
  folder.write("Name.txt", "a");
  folder.write("sub/name.TXT", "b");
  folder.write("toolongname.txt", "c");
  const struct {
    const char* what;
    std::vector<std::string> inputs;
  } cases[] = {
      {"names equal but for case", {folder.path("Name.txt"), folder.path("sub") + "/name.TXT"}},
      {"missing input", {folder.path("Name.txt"), folder.path("missing")}},
      {"name over 12 bytes", {folder.path("toolongname.txt")}},
      {"a folder as input", {folder.path("sub")}},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(mgx_writer::packFiles(folder.path("out.mgx"), c.inputs, error)) << c.what;
    EXPECT_FALSE(folder.exists("out.mgx")) << c.what;
  }
}
