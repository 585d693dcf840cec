// The head check and the directory reader on archives written out byte by byte; name
// comparison, widening and the output path join in both character types.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ggd_archive_plugin/entry_list.h"
#include "ggd_archive_plugin/ggd_format.h"
#include "ggd_archive_plugin/member_output.h"
#include "ggd_archive_plugin/names.h"
#include "plugin_api/member_names.h"
#include "tests/felbrin/felbrin_host.h"

namespace {

using namespace felbrin;
using Bytes = std::vector<uint8_t>;

#define U16(v) uint8_t((v) & 0xFF), uint8_t(((v) >> 8) & 0xFF)
#define I32(v) uint8_t((v) & 0xFF), uint8_t(((v) >> 8) & 0xFF), uint8_t(((v) >> 16) & 0xFF), uint8_t((uint32_t(v) >> 24) & 0xFF)
#define PAD8 0, 0, 0, 0, 0, 0, 0, 0
#define NOTE8 'm', 'e', 'm', 'b', 'e', 'r', '.', '.'
// A name field: the name bytes, then zeros up to 12.
#define NAME1(a) a, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0
#define NO_NAME 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0

struct Member {
  std::string name;
  int32_t start;
  int32_t size;
};

struct ArchiveCase {
  const char* what;
  Bytes archive;
  int64_t available;  // -1: the whole array
  int head;           // CheckGgdArchive
  int directory;      // ReadMemberRecords over the directory within the array; -1: not run
  std::vector<Member> members;
};

const ArchiveCase kCases[] = {
    {"a single slot: accepted, but no member besides the end marker",
     {U16(16), NAME1('A'), I32(18), PAD8}, -1, kGgdOk, kGgdDamaged, {}},
    {"one member of 8 bytes",
     {U16(32), NAME1('A'), I32(34), NO_NAME, I32(42), NOTE8}, -1, kGgdOk, kGgdOk, {{"A", 34, 8}}},
    {"a name filling all 12 bytes, without a terminator",
     {U16(32), 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '.', 'X', 'Y', 'Z', I32(34), NO_NAME, I32(42), NOTE8},
     -1, kGgdOk, kGgdOk, {{"ABCDEFGH.XYZ", 34, 8}}},
    {"double-byte name bytes above 0x7F",
     {U16(32), 0x82, 0xA0, 0x82, 0xA2, 0, 0, 0, 0, 0, 0, 0, 0, I32(34), NO_NAME, I32(42), NOTE8},
     -1, kGgdOk, kGgdOk, {{"\x82\xA0\x82\xA2", 34, 8}}},
    {"a head of 25 bytes", {U16(32), NAME1('A'), I32(34), 0, 0, 0, 0, 0, 0, 0}, -1, kGgdNotArchive, -1, {}},
    {"D not a multiple of 16", {U16(0x18), NAME1('A'), I32(26), PAD8, PAD8}, -1, kGgdNotArchive, -1, {}},
    {"D of 0x8000 or more, negative as a signed 16-bit value",
     {U16(0xFFF0), NAME1('A'), I32(-14), PAD8}, -1, kGgdNotArchive, -1, {}},
    {"a first name byte of 0x20", {U16(32), NAME1(' '), I32(34), NO_NAME, I32(42), NOTE8}, -1, kGgdNotArchive, -1, {}},
    {"a first name byte of 0xFF", {U16(32), NAME1(0xFF), I32(34), NO_NAME, I32(42), NOTE8}, -1, kGgdNotArchive, -1, {}},
    {"a first start other than D + 2", {U16(32), NAME1('A'), I32(36), NO_NAME, I32(42), NOTE8}, -1, kGgdNotArchive, -1, {}},
    {"a scanned name holding a blank",
     {U16(48), NAME1('A'), I32(50), 'B', ' ', 'C', 0, 0, 0, 0, 0, 0, 0, 0, 0, I32(58), NO_NAME, I32(66), NOTE8, NOTE8},
     -1, kGgdNotArchive, -1, {}},
    // Only 34 bytes are at hand: slots 0 and 1 are scanned, slot 2 is not.
    {"a blank in a slot beyond the available head is cut by the reader",
     {U16(64), NAME1('A'), I32(66), NAME1('B'), I32(74), 'C', ' ', 'D', 0, 0, 0, 0, 0, 0, 0, 0, 0, I32(82), NO_NAME,
      I32(90), NOTE8, NOTE8, NOTE8},
     34, kGgdOk, kGgdOk, {{"A", 66, 8}, {"B", 74, 8}, {"C", 82, 8}}},
    {"scanned neighbours with equal starts",
     {U16(48), NAME1('A'), I32(50), NAME1('B'), I32(50), NO_NAME, I32(58), NOTE8}, -1, kGgdNotArchive, -1, {}},
    {"a start below 34 + 16 j", {U16(48), NAME1('A'), I32(50), NAME1('B'), I32(40), NO_NAME, I32(58), NOTE8},
     -1, kGgdNotArchive, -1, {}},
    // The unsigned difference of a start that goes down is large: the check lets it pass.
    {"starts going down", {U16(64), NAME1('A'), I32(66), NAME1('B'), I32(200), NAME1('C'), I32(100), NO_NAME, I32(300)},
     -1, kGgdOk, kGgdDamaged, {}},
    {"an end marker below the last start", {U16(48), NAME1('A'), I32(50), NAME1('B'), I32(58), NO_NAME, I32(54), NOTE8},
     -1, kGgdOk, kGgdDamaged, {}},
    {"a member running past the end marker",
     {U16(48), NAME1('A'), I32(50), NAME1('B'), I32(300), NO_NAME, I32(158), NOTE8}, -1, kGgdOk, kGgdDamaged, {}},
    // In 32 bits the size 0x8000000A - 34 wraps to a positive value and start + size wraps
    // back to the end marker: a 2 GiB member that is not there.
    {"sizes that overflow 32 bits", {U16(32), NAME1('A'), I32(34), NO_NAME, I32(0x8000000A)},
     -1, kGgdOk, kGgdDamaged, {}},
    {"an empty last member", {U16(48), NAME1('A'), I32(50), NAME1('B'), I32(58), NO_NAME, I32(58), NOTE8},
     -1, kGgdOk, kGgdOk, {{"A", 50, 8}, {"B", 58, 0}}},
    {"a directory cut short", {U16(64), NAME1('A'), I32(66), NAME1('B'), I32(74), PAD8}, -1, kGgdOk, kGgdDamaged, {}},
};

TEST(GgdFormat, HeadCheckAndDirectory) {
  for (const ArchiveCase& c : kCases) {
    SCOPED_TRACE(c.what);
    const int64_t available = c.available < 0 ? static_cast<int64_t>(c.archive.size()) : c.available;
    int d = -1;
    ASSERT_EQ(CheckGgdArchive(c.archive.data(), available, &d), c.head);
    if (c.directory < 0) continue;
    const long before = felbrin_test::liveLocalBlocks();
    const int64_t held = static_cast<int64_t>(c.archive.size()) - 2;
    MemberRecord* records = nullptr;
    int count = -1;
    ASSERT_EQ(ReadMemberRecords(c.archive.data() + 2, held < d ? held : d, d, &records, &count), c.directory);
    if (c.directory != kGgdOk) {
      EXPECT_EQ(records, nullptr);
      EXPECT_EQ(felbrin_test::liveLocalBlocks(), before);
      continue;
    }
    ASSERT_EQ(count, static_cast<int>(c.members.size()));
    for (int j = 0; j < count; ++j) {
      EXPECT_EQ(records[j].name, c.members[j].name);
      EXPECT_EQ(records[j].start, c.members[j].start);
      EXPECT_EQ(records[j].size, c.members[j].size);
    }
    LocalFree(records);
  }
}

TEST(GgdFormat, CheckNeverReadsPastTheAvailableBytes) {
  // Every prefix of a valid archive, copied to a block of exactly that size (ASan watches).
  const Bytes archive = {U16(64), NAME1('A'), I32(66), NAME1('B'), I32(74), NAME1('C'), I32(82), NO_NAME, I32(90),
                         NOTE8, NOTE8, NOTE8};
  for (size_t size = 0; size <= archive.size(); ++size) {
    std::vector<uint8_t> prefix(archive.begin(), archive.begin() + static_cast<long>(size));
    int d = 0;
    EXPECT_EQ(CheckGgdArchive(prefix.data(), static_cast<int64_t>(size), &d), size >= 26 ? kGgdOk : kGgdNotArchive)
        << size;
  }
}

using Wide = std::basic_string<spi::WideChar>;

Wide W(const char16_t* text) {
  Wide wide;
  for (; *text != 0; ++text) wide.push_back(static_cast<spi::WideChar>(*text));
  return wide;
}

TEST(GgdNames, ComparisonInBothFamilies) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    bool sameIgnoringCase;
    bool same;
  } cases[] = {
      {u"A.BMP", u"a.bmp", true, false},
      {u"A.BMP", u"A.BMP", true, true},
      {u"AB", u"ABC", false, false},          // the terminator takes part
      {u"[", u"{", false, false},             // only a-z fold, not the other bytes 0x20 apart
      {u"\u00C9", u"\u00E9", false, false},  // nor letters beyond ASCII
      {u"\u0161", u"\u0141", false, false},  // units whose low byte is a-z compare whole
  };
  for (const Case& c : cases) {
    const Wide a = W(c.a), b = W(c.b);
    EXPECT_EQ(spi::sameMemberName(a.c_str(), b.c_str(), true), c.sameIgnoringCase);
    EXPECT_EQ(spi::sameMemberName(a.c_str(), b.c_str(), false), c.same);
    if (a[0] >= 0x80) continue;  // the ASCII cases read the same in bytes
    const std::string narrowA(a.begin(), a.end()), narrowB(b.begin(), b.end());
    EXPECT_EQ(spi::sameMemberName(narrowA.c_str(), narrowB.c_str(), true), c.sameIgnoringCase);
    EXPECT_EQ(spi::sameMemberName(narrowA.c_str(), narrowB.c_str(), false), c.same);
  }
  EXPECT_FALSE(spi::sameMemberName("\x82\xA0", "\x82\xA1", true));  // double-byte characters compare exactly
}

TEST(GgdNames, WidenedNamesAreTerminatedAndNeverShorter) {
  struct Case {
    const char* name;
    size_t capacity;
    size_t length;
  } cases[] = {
      {"A.BMP", 200, 5},
      {"\x82\xA0X", 200, 0},   // see kDoubleByteName below
      {"\xC0\x80X", 200, 3},   // an overlong UTF-8 NUL must not end the name early
      {"ABCDEFGH", 4, 3},      // cut to the room, still terminated
  };
  // In the Japanese code page "\x82\xA0" is one character; where the code page refuses it
  // (UTF-8) or reads it byte by byte, each byte stands for itself.
  const size_t kDoubleByteName =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\x82\xA0X", 3, nullptr, 0) == 2 ? 2 : 3;
  for (const Case& c : cases) {
    spi::WideChar out[200];
    spi::widenMemberName(c.name, out, c.capacity);
    EXPECT_EQ(Wide(out).size(), c.length != 0 ? c.length : kDoubleByteName) << c.name;
  }
}

template <typename Char>
std::basic_string<Char> Same(const std::string& ascii) {
  return std::basic_string<Char>(ascii.begin(), ascii.end());
}

template <typename Char>
void ExpectOutputPathGuard() {
  const std::basic_string<Char> name(5, static_cast<Char>('n'));
  for (size_t folderLength : {254, 255}) {  // with the name and a terminator: 260, 261
    const std::basic_string<Char> folder = std::basic_string<Char>(folderLength - 1, static_cast<Char>('F')) + Same<Char>("\\");
    Char path[kOutputPathChars];
    path[0] = static_cast<Char>('#');
    const bool fits = folderLength == 254;
    ASSERT_EQ(JoinOutputPath<Char>(folder.c_str(), name.c_str(), path), fits) << folderLength;
    if (fits) {
      EXPECT_EQ(std::basic_string<Char>(path), folder + name);
    } else {
      EXPECT_EQ(path[0], static_cast<Char>('#'));  // nothing stored
    }
  }
  // A folder without a separator at its end gets one, which counts.
  const std::basic_string<Char> bare(253, static_cast<Char>('F'));
  Char path[kOutputPathChars];
  EXPECT_TRUE(JoinOutputPath<Char>(bare.c_str(), name.c_str(), path));
  EXPECT_FALSE(JoinOutputPath<Char>((bare + Same<Char>("F")).c_str(), name.c_str(), path));
}

TEST(GgdNames, OutputPathGuardCountsCharacters) {
  ExpectOutputPathGuard<char>();
  ExpectOutputPathGuard<spi::WideChar>();
}

template <typename Char>
void ExpectSeparatorInserted() {
  const std::string sep(1, kFolderSeparator);
  const struct {
    const char* folder;
    std::string path;
  } cases[] = {
      {"out\\", "out\\B"}, {"out/", "out/B"}, {"out", "out" + sep + "B"},
      {"C:\\a b\\", "C:\\a b\\B"}, {"", "B"},  // an empty folder is the current one, never the root
  };
  for (const auto& c : cases) {
    Char path[kOutputPathChars];
    ASSERT_TRUE(JoinOutputPath<Char>(Same<Char>(c.folder).c_str(), Same<Char>("B").c_str(), path));
    EXPECT_EQ(std::basic_string<Char>(path), Same<Char>(c.path)) << c.folder;
  }
}

TEST(GgdNames, FolderGetsOneSeparator) {
  ExpectSeparatorInserted<char>();
  ExpectSeparatorInserted<spi::WideChar>();
}

// Which member names may become a file in the host's folder, in both families.
TEST(GgdNames, PlainFileNames) {
  const struct {
    const char* name;
    bool plain;
  } cases[] = {
      {"A.BMP", true}, {"B", true}, {"photo.ggd", true}, {".hidden", true}, {"a..b", true},
      {"CONX", true}, {"COM10", true}, {"LPT", true}, {"NULL.TXT", true}, {"xCON", true}, {"AUX_1", true},
      {"COMA.TXT", true}, {"CON$", true}, {"~$!#%&'()+,;=@[]^`{}", true},
      // other folders and drives
      {"..\\..\\PWN1", false}, {"../../PWN2", false}, {"a\\b", false}, {"a/b", false}, {"\\x", false},
      {"/x", false}, {"x\\", false}, {"C:\\x", false}, {"Z:x", false}, {"a:b", false}, {"C:", false},
      // names Windows changes or refuses
      {"", false}, {".", false}, {"..", false}, {"...", false}, {"A.", false}, {"A ", false}, {"A. ", false},
      {"a*", false}, {"a?", false}, {"a\"b", false}, {"a<b", false}, {"a>b", false}, {"a|b", false},
      {"a\tb", false}, {"a\x01", false}, {"\x1F", false}, {"a\x7F", false},
      // devices, in any case and with any extension
      {"CON", false}, {"con", false}, {"Prn", false}, {"AUX", false}, {"NUL", false}, {"nul.txt", false},
      {"Com1.gg0", false}, {"COM9", false}, {"com0", false}, {"LPT1", false}, {"lpt9.a.b", false},
      {"NUL ", false}, {"NUL .txt", false}, {"CONIN$", false}, {"conout$.x", false}, {"AUX.", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPlainFileName(c.name), c.plain) << c.name;
    EXPECT_EQ(IsPlainFileName(Same<spi::WideChar>(c.name).c_str()), c.plain) << c.name;
  }
  // The superscript ports Windows reserves too; C1 characters, which Windows stores, pass.
  EXPECT_TRUE(IsPlainFileName(W(u"a\u0085").c_str()));
  EXPECT_FALSE(IsPlainFileName(W(u"COM\u00B9").c_str()));
  EXPECT_FALSE(IsPlainFileName(W(u"lpt\u00B3.txt").c_str()));
  EXPECT_TRUE(IsPlainFileName(W(u"\u8868\u793A.gg0").c_str()));  // the characters 表示
  EXPECT_TRUE(IsPlainFileName(W(u"COM\u00B4").c_str()));
  // In the Japanese code page the second byte of 表 is 0x5C, the byte of '\': judged as the
  // character the system makes of it, the name is plain.
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\x95\x5C", 2, nullptr, 0) == 1) {
    EXPECT_TRUE(IsPlainFileName("\x95\x5C.gg0"));
    EXPECT_TRUE(EndsWithSeparator("C:\\x\\"));
    EXPECT_FALSE(EndsWithSeparator("C:\\\x95\x5C"));
  }
}

}  // namespace
