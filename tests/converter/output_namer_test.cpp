// Output names: fields, widths, taken names, invalid patterns and the fixed buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "converter/output_namer.h"
#include "tests/converter/converter_testing.h"

namespace {

using converter_testing::FixedClock;
using converter_testing::WorkingFolder;
using vantrel::OutputNamer;

std::string firstName(const char* pattern, const char* extension = "", uint32_t counter = 1) {
  FixedClock clock;
  OutputNamer namer(clock);
  namer.setExtension(extension);
  namer.setPattern(pattern);
  namer.setCounter(counter);
  const char* name = namer.nextName();
  return name ? name : "(none)";
}

TEST(FormatNumber, WidthsAndValues) {
  struct Case {
    int width;
    uint32_t value;
    const char* expected;
  };
  const Case cases[] = {
      {0, 0, "0"},                      // natural width: at least one digit
      {0, 123, "123"},
      {0, 4294967295u, "4294967295"},
      {1, 0, "0"},
      {3, 5, "005"},                    // leading zeros up to the width
      {3, 12345, "345"},                // a longer value keeps its low-order digits
      {6, 1234567, "234567"},
      {10, 7, "0000000007"},
      {10, 4294967295u, "4294967295"},
      {11, 1, "00000000001"},           // above 10: zeros in front of 10 digits
      {12, 5, "000000000005"},
      {12, 4294967295u, "004294967295"},
  };
  for (const Case& c : cases) {
    char out[64];
    std::memset(out, 'x', sizeof out);
    int written = vantrel::formatNumber(out, c.width, c.value);
    EXPECT_STREQ(out, c.expected) << "width " << c.width << " value " << c.value;
    EXPECT_EQ(written, static_cast<int>(std::strlen(c.expected)));
  }
}

TEST(PatternCharClasses, Codes) {
  vantrel::PatternCharClasses classes;
  EXPECT_EQ(classes.lookUp('0'), 1);
  EXPECT_EQ(classes.lookUp('9'), 1);
  EXPECT_EQ(classes.lookUp('%'), 2);
  const char letters[] = "ymdHMSn";
  for (int i = 0; i < 7; ++i) EXPECT_EQ(classes.lookUp(static_cast<unsigned char>(letters[i])), 3 + i);
  for (unsigned c : {0u, 0x61u, 0x59u, 0x4Eu, 0x80u, 0x82u, 0xFFu}) EXPECT_EQ(classes.lookUp(static_cast<unsigned char>(c)), 0) << c;
}

TEST(PatternTokenList, CompilesLiteralsAndFields) {
  vantrel::PatternTokenList list;
  ASSERT_EQ(list.compile("ab%%c%12n%y-"), 0);
  ASSERT_EQ(list.count(), 4);
  ASSERT_EQ(list.token(0)->kind, vantrel::PatternToken::kLiteral);
  EXPECT_EQ(static_cast<const vantrel::LiteralToken*>(list.token(0))->text, "ab%c");
  auto field = [&](int i) { return static_cast<const vantrel::FieldToken*>(list.token(i)); };
  ASSERT_EQ(list.token(1)->kind, vantrel::PatternToken::kField);
  EXPECT_EQ(field(1)->width, 12);
  EXPECT_EQ(field(1)->fieldCode, vantrel::kCounterField);
  EXPECT_EQ(field(2)->width, 0);
  EXPECT_EQ(field(2)->fieldCode, vantrel::kYearField);
  EXPECT_EQ(static_cast<const vantrel::LiteralToken*>(list.token(3))->text, "-");
  EXPECT_EQ(list.token(4), nullptr);
  EXPECT_EQ(list.token(-1), nullptr);

  // A failed pattern leaves nothing behind.
  EXPECT_EQ(list.compile("ab%q"), 1);
  EXPECT_EQ(list.count(), 0);
  // A run of digits cannot overflow the width.
  ASSERT_EQ(list.compile("%99999999999999n"), 0);
  EXPECT_EQ(field(0)->width, vantrel::kMaxFieldWidth);
}

TEST(OutputNamer, DateTimeAndCounterFields) {
  struct Case {
    const char* pattern;
    uint32_t counter;
    const char* expected;
  };
  const Case cases[] = {
      {"%y%2m%2d_%2H%2M%2S_%n", 1, "20020401_050607_1"},
      {"%y", 1, "2002"},
      {"%2y", 1, "02"},
      {"%m", 1, "4"},
      {"%d%H%M%S", 1, "1567"},
      {"%3M", 1, "006"},
      {"%12y", 1, "000000002002"},
      {"fcg_%6n", 1, "fcg_000001"},
      {"%6n", 1234567, "234567"},
      {"%12n", 5, "000000000005"},
      {"%n", 0, "0"},
      {"%n", 4294967295u, "4294967295"},
      {"%n_%n", 1, "1_2"},              // two counter fields take successive values
      {"%%", 1, "%"},
      {"%%%%", 1, "%%"},
      {"a%%n%n", 7, "a%n7"},
      {"cb_%6n", 1, "cb_000001"},
  };
  WorkingFolder folder;
  for (const Case& c : cases) EXPECT_EQ(firstName(c.pattern, "", c.counter), c.expected) << c.pattern;
}

TEST(OutputNamer, DefaultPatternAndSuccessiveNames) {
  WorkingFolder folder;
  FixedClock clock;
  OutputNamer namer(clock);
  EXPECT_STREQ(namer.nextName(), "cb_000001");
  namer.setPattern("%n_%n");
  EXPECT_STREQ(namer.nextName(), "2_3");
  EXPECT_STREQ(namer.nextName(), "4_5");
}

TEST(OutputNamer, InvalidPatternsFallBackToTheDefault) {
  std::string fields32, fields33, literalAnd32;
  for (int i = 0; i < 32; ++i) fields32 += "%S";
  fields33 = fields32 + "%S";
  literalAnd32 = "x" + fields32;
  const std::string cases[] = {
      "abc%q",     // unknown letter
      "abc%",      // "%" at the very end
      "%0n",       // a width may not start with 0
      "%06n",
      "%Y",        // letters are case-sensitive
      "%6",
      fields33,    // a 33rd token
      literalAnd32,
  };
  WorkingFolder folder;
  for (const std::string& pattern : cases) {
    EXPECT_EQ(firstName(pattern.c_str(), ".gg0"), "cb_000001.gg0") << pattern;
  }
  std::string expected32;
  for (int i = 0; i < 32; ++i) expected32 += "7";
  EXPECT_EQ(firstName(fields32.c_str()), expected32);  // 32 tokens are still fine
  FixedClock clock;
  OutputNamer namer(clock);
  namer.setPattern(nullptr);
  EXPECT_STREQ(namer.nextName(), "cb_000001");
}

TEST(OutputNamer, SkipsEveryTakenStemWhateverItsExtension) {
  struct Case {
    const char* taken;   // entries made in the folder first
    bool folder;
    const char* expected;
  };
  const Case cases[] = {
      {"fcg_000001.gg0", false, "fcg_000002.gg0"},
      {"fcg_000001.txt", false, "fcg_000002.gg0"},
      {"fcg_000001.bak", false, "fcg_000002.gg0"},
      {"fcg_000001", false, "fcg_000002.gg0"},           // the stem alone
      {"fcg_000001", true, "fcg_000002.gg0"},            // a directory counts too
      {"fcg_000001.a.b", false, "fcg_000002.gg0"},
      {"FCG_000001.GG0", false, "fcg_000002.gg0"},       // names compare ignoring case
      {"fcg_0000011.gg0", false, "fcg_000001.gg0"},      // another stem
      {"fcg_000001x.gg0", false, "fcg_000001.gg0"},
      {"xfcg_000001.gg0", false, "fcg_000001.gg0"},
  };
  for (const Case& c : cases) {
    WorkingFolder folder;
    if (c.folder) {
      folder.makeFolder(c.taken);
    } else {
      folder.write(c.taken, "x");
    }
    EXPECT_EQ(firstName("fcg_%6n", ".gg0"), c.expected) << c.taken;
  }
}

TEST(OutputNamer, ContinuesAfterTakenNumbers) {
  WorkingFolder folder;
  folder.write("fcg_000001.gg0", "");
  folder.write("fcg_000003.gg0", "");
  FixedClock clock;
  OutputNamer namer(clock);
  namer.setExtension(".gg0");
  namer.setPattern("fcg_%6n");
  EXPECT_STREQ(namer.nextName(), "fcg_000002.gg0");
  EXPECT_STREQ(namer.nextName(), "fcg_000004.gg0");
  EXPECT_EQ(namer.counter(), 5u);
}

// The namer lists a folder once and then counts the names it hands out as taken; a pattern
// with a folder part is looked up in that folder, and a stem with wildcard characters is
// searched for as the pattern it makes.
TEST(OutputNamer, LooksInThePatternsFolderAndCountsItsOwnNames) {
  WorkingFolder folder;
  folder.makeFolder("sub");
  folder.write("sub/fcg_000001.gg0", "");
  folder.write("sub/fcg_000002", "");
  folder.write("fcg_000003.gg0", "");  // not in the pattern's folder
  FixedClock clock;
  OutputNamer namer(clock);
  namer.setExtension(".gg0");
  namer.setPattern("sub/fcg_%6n");
  EXPECT_STREQ(namer.nextName(), "sub/fcg_000003.gg0");
  namer.setCounter(1);
  EXPECT_STREQ(namer.nextName(), "sub/fcg_000004.gg0");  // 3 was handed out

  folder.write("ab1.gg0", "");
  namer.setPattern("a?%n");
  namer.setCounter(1);
  EXPECT_STREQ(namer.nextName(), "a?2.gg0");
}

TEST(OutputNamer, WithoutCounterFieldNeverProbes) {
  WorkingFolder folder;
  folder.write("fixed.gg0", "");
  FixedClock clock;
  OutputNamer namer(clock);
  namer.setExtension(".gg0");
  namer.setPattern("fixed");
  EXPECT_STREQ(namer.nextName(), "fixed.gg0");
  EXPECT_STREQ(namer.nextName(), "fixed.gg0");
  EXPECT_EQ(clock.localTimeReads, 2);  // the time is read once per name
}

TEST(OutputNamer, StopsWhenEveryNameIsTaken) {
  WorkingFolder folder;
  for (int i = 0; i < 10; ++i) folder.write("x" + std::to_string(i) + ".gg0", "");
  FixedClock clock;
  OutputNamer namer(clock);
  namer.setExtension(".gg0");
  namer.setPattern("x%1n");
  EXPECT_EQ(namer.nextName(), nullptr);
  folder.write("pair12", "");
  folder.write("pair34", "");
  folder.write("pair56", "");
  folder.write("pair78", "");
  namer.setPattern("pair%1n%1n");  // names come round after five candidates: 12 34 56 78 90
  namer.setCounter(1);
  EXPECT_STREQ(namer.nextName(), "pair90.gg0");
  folder.write("pair90", "");
  namer.setCounter(1);
  EXPECT_EQ(namer.nextName(), nullptr);
}

TEST(OutputNamer, ExtensionIsCutTo32Characters) {
  WorkingFolder folder;
  std::string extension = "." + std::string(40, 'e');
  EXPECT_EQ(firstName("n", extension.c_str()), "n" + extension.substr(0, 32));
  EXPECT_EQ(firstName("n", ".gg0"), "n.gg0");
}

TEST(OutputNamer, NamesAreCutTo260Characters) {
  WorkingFolder folder;
  struct Case {
    std::string pattern;
    const char* extension;
    uint32_t counter;
    std::string expected;
  };
  const std::string a255(255, 'a');
  const Case cases[] = {
      {std::string(300, 'a'), ".gg0", 1, std::string(260, 'a')},           // literal and extension cut
      {std::string(258, 'a'), ".gg0", 1, std::string(258, 'a') + ".g"},
      {a255 + "%6n", ".gg0", 1, a255 + "00001"},                              // width narrowed to the room
      {a255 + "a%6n", ".gg0", 123, a255 + "a0123"},
      {a255 + "aaa%n", "", 12345, a255 + "aaa45"},                            // natural width keeps low digits
      {std::string(260, 'a') + "%6n", "", 1, std::string(260, 'a')},          // no room: the field writes nothing
      {std::string(259, 'a') + "%%%%", "", 1, std::string(259, 'a') + "%"},
  };
  for (const Case& c : cases) {
    std::string name = firstName(c.pattern.c_str(), c.extension, c.counter);
    EXPECT_EQ(name, c.expected) << c.pattern.size();
    EXPECT_LE(name.size(), 260u);
  }
}

}  // namespace
