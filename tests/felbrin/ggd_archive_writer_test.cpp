// The archive writer refuses what readers would refuse, and packs files byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/temp_folder.h"
#include "tools/ggd_archive_writer/ggd_archive_writer.h"

namespace {

using ggd_archive_writer::MemberPlan;

TEST(GgdArchiveWriter, RefusesWhatReadersRefuse) {
  struct Case {
    const char* what;
    std::vector<MemberPlan> members;
    bool accepted;
  } cases[] = {
      {"one member", {{"A", 8}}, true},
      {"a 13-byte name", {{"ABCDEFGHI.XYZ", 8}}, false},
      {"a blank in a name", {{"A B", 8}}, false},
      {"0xFF in a name", {{"A\xFF", 8}}, false},
      {"a short member before another", {{"A", 7}, {"B", 8}}, false},
      {"a short last member", {{"A", 8}, {"B", 0}}, true},
      {"members past 2 GiB", {{"A", 0x40000000}, {"B", 0x40000000}}, false},
      {"2046 members", std::vector<MemberPlan>(2046, {"M", 8}), true},
      {"2047 members", std::vector<MemberPlan>(2047, {"M", 8}), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ggd_archive_writer::checkMembers(c.members).empty(), c.accepted) << c.what;
  }
  // Beyond the slots that readers check in the head, small members are allowed.
  std::vector<MemberPlan> many(200, {"M", 8});
  many[150].size = 1;
  EXPECT_EQ(ggd_archive_writer::checkMembers(many), "");
  many[125].size = 1;
  EXPECT_NE(ggd_archive_writer::checkMembers(many), "");
}

TEST(GgdArchiveWriter, HeadAndFiles) {
  std::string archive, error;
  ASSERT_TRUE(ggd_archive_writer::buildArchive({{"A.BMP", std::string(100, 'a')}, {"B", "bbbbbbbb"}}, &archive, &error));
  const std::string head = std::string("\x30\x00", 2) +                 // D = 48
                           std::string("A.BMP\0\0\0\0\0\0\0\x32\0\0\0", 16) +  // A.BMP at 50
                           std::string("B\0\0\0\0\0\0\0\0\0\0\0\x96\0\0\0", 16) +  // B at 150
                           std::string("\0\0\0\0\0\0\0\0\0\0\0\0\x9e\0\0\0", 16);  // end at 158
  EXPECT_EQ(archive, head + std::string(100, 'a') + "bbbbbbbb");

  testing_support::TempFolder folder;
  folder.makeFolder("in");
  folder.write("in/A.BMP", std::string(100, 'a'));
  folder.write("in/B", "bbbbbbbb");
  ASSERT_TRUE(ggd_archive_writer::packFiles(folder.path("packed.ggd"),
                                            {folder.path("in/A.BMP"), folder.path("in/B")}, &error))
      << error;
  EXPECT_EQ(folder.read("packed.ggd"), archive);
  EXPECT_FALSE(ggd_archive_writer::packFiles(folder.path("bad.ggd"), {folder.path("in/missing")}, &error));
  EXPECT_FALSE(folder.exists("bad.ggd"));
}

}  // namespace
