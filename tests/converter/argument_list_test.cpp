// The command line's word rules, and the files named on it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/argument_list.h"
#include "tests/converter/converter_testing.h"
#include "tools/fcg_writer/fcg_writer.h"

namespace {

using converter_testing::CapturedLog;
using converter_testing::cp932;
using converter_testing::FixedClock;
using converter_testing::utf8;
using converter_testing::wide;
using converter_testing::WideString;
using converter_testing::WorkingFolder;
using vantrel::ArgumentList;
using vantrel::WideArgumentList;

std::vector<std::string> words(const char* text) {
  ArgumentList list(text);
  std::vector<std::string> out;
  for (int i = 0; i < list.count(); ++i) out.push_back(list.word(i));
  EXPECT_EQ(list.word(list.count()), nullptr);
  EXPECT_EQ(list.word(-1), nullptr);
  return out;
}

// The same text split as UTF-16, the words given back as UTF-8.
std::vector<std::string> wideWords(const std::string& text) {
  WideString units = wide(text);
  WideArgumentList list(units.c_str());
  std::vector<std::string> out;
  for (int i = 0; i < list.count(); ++i) out.push_back(utf8(list.word(i)));
  EXPECT_EQ(list.word(list.count()), nullptr);
  return out;
}

using Words = std::vector<std::string>;

TEST(ArgumentList, WordRules) {
  struct Case {
    const char* text;
    Words expected;
  };
  const Case cases[] = {
      {"", {}},
      {"   ", {}},                                          // blanks only
      {"a", {"a"}},
      {"a   b", {"a", "b"}},                                // runs of blanks separate once
      {"  a  b  ", {"a", "b"}},
      {"\"C:\\x y\\a.fcg\"", {"C:\\x y\\a.fcg"}},           // a quoted path with blanks
      {"a\"b c\"d", {"ab cd"}},                             // quotes may stand anywhere
      {"\"a b\" c", {"a b", "c"}},
      {"\"\"", {}},                                         // empty quotes give no word
      {"a \"\" b", {"a", "b"}},
      {"x\"\"y", {"xy"}},
      {"\" \"", {" "}},                                     // a quoted blank is a word
      {"\\\"", {"\""}},                                     // backslash before a quote
      {"a\\\"b", {"a\"b"}},
      {"\\\"\"\"", {"\""}},                                 // further quotes rewrite the same place
      {"\\\" x", {"\"", "x"}},                              // ...and the quote state is unchanged
      {"\\\\\"", {"\\\""}},
      {"C:\\dir\\file.fcg", {"C:\\dir\\file.fcg"}},         // other backslashes stay
      {"\"C:\\dir\\\"", {"C:\\dir\""}},                     // a quoted text ending in a backslash
      {"\"open ended", {"open ended"}},                     // an unclosed quote runs to the end
      {"\"open  ended ", {"open  ended "}},
      {"a\tb c", {"a\tb", "c"}},                            // a tab stays inside the word
      {"\t", {"\t"}},
      {"\x83\x5c\x83\x5c x", {"\x83\x5c\x83\x5c", "x"}},    // bytes pass unchanged
  };
  for (const Case& c : cases) EXPECT_EQ(words(c.text), c.expected) << "[" << c.text << "]";
}

TEST(ArgumentList, UnicodeTextFollowsTheSameRules) {
  struct Case {
    const char* text;  // UTF-8
    Words expected;
  };
  const Case cases[] = {
      {u8"写真 ソ表", {u8"写真", u8"ソ表"}},  // characters whose ANSI forms hold a backslash byte
      {u8"\"C:\\写真 Ωμέγα\\사진 상자.fcg\" b", {u8"C:\\写真 Ωμέγα\\사진 상자.fcg", "b"}},
      {u8"ソ\\\"", {u8"ソ\""}},
      {u8"\"😀 x\"y", {u8"😀 xy"}},               // a character beyond one UTF-16 unit
      {"a\tb  c ", {"a\tb", "c"}},
  };
  for (const Case& c : cases) EXPECT_EQ(wideWords(c.text), c.expected) << c.text;
}

TEST(ArgumentList, ProgramNameIsSkippedAsTheStartUpDoes) {
  struct Case {
    const char* commandLine;
    const char* arguments;
  };
  const Case cases[] = {
      {"", ""},
      {"Vantrel.exe", ""},
      {"Vantrel.exe a.fcg", "a.fcg"},
      {"Vantrel.exe \t  a b ", "a b "},                     // every code from 0x01 to 0x20 goes
      {"\"C:\\Program Files\\Vantrel.exe\" a", "a"},        // a quoted name ends at its quote
      {"\"C:\\x y\\V.exe\"a", "a"},                         // ...even without a blank after it
      {"\"unclosed name", ""},
      {"C:\\x\"y z\" a", "z\" a"},                          // an unquoted name ends at a blank
      {u8"写真\\V.exe 사진.fcg", u8"사진.fcg"},
  };
  for (const Case& c : cases) {
    WideString line = wide(c.commandLine);
    EXPECT_EQ(utf8(vantrel::argumentsAfterProgramName(line.c_str())), c.arguments) << c.commandLine;
  }
  EXPECT_EQ(vantrel::argumentsAfterProgramName(nullptr), nullptr);
}

TEST(ArgumentList, EmptyAndNullListsHoldNothing) {
  ArgumentList none;
  EXPECT_EQ(none.count(), 0);
  EXPECT_EQ(none.word(0), nullptr);
  EXPECT_EQ(none.splitWords(), 0);
  ArgumentList blanks("    ");
  EXPECT_EQ(blanks.count(), 0);
  EXPECT_EQ(blanks.splitWords(), 0);  // no text was kept
  ArgumentList list("a b");
  list.assign("c");
  EXPECT_EQ(list.count(), 1);
  EXPECT_STREQ(list.word(0), "c");
  list.assign(nullptr);
  EXPECT_EQ(list.count(), 0);
  list.assign("d e");
  list.clear();
  EXPECT_EQ(list.word(0), nullptr);
}

TEST(ArgumentList, ManyAndLongWords) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += " w" + std::to_string(i) + (i % 3 ? "" : "  ");
  ArgumentList list(text.c_str());
  ASSERT_EQ(list.count(), 100000);
  EXPECT_STREQ(list.word(0), "w0");
  EXPECT_STREQ(list.word(99999), "w99999");
  std::string longWord(1000000, 'x');
  longWord[500000] = ' ';
  ArgumentList two(("\"" + longWord + "\" tail").c_str());
  ASSERT_EQ(two.count(), 2);
  EXPECT_EQ(std::string(two.word(0)), longWord);
  EXPECT_STREQ(two.word(1), "tail");
}

TEST(ConvertArgumentFiles, LogsAndSplitsEveryWordInOrder) {
  WorkingFolder folder;
  const std::string named = u8"写真 Ωμέγα 사진.fcg";  // Japanese, Greek and Korean
  folder.write("my box.fcg", fcg_writer::buildContainer({fcg_writer::opaqueImage(2, 1)}));
  ASSERT_TRUE(converter_testing::writeFileNamed(wide(named), fcg_writer::buildContainer({fcg_writer::opaqueImage(9, 4)})));
  folder.write("b.fcg", fcg_writer::buildContainer({fcg_writer::opaqueImage(3, 2), fcg_writer::opaqueImage(4, 3)}));
  CapturedLog log;
  FixedClock clock;
  vantrel::convertArgumentFiles(wide(u8"\"my box.fcg\"   missing.fcg \"" + named + u8"\" b.fcg ").c_str(), log, clock);
  const std::string header = cp932(u8"\r\n---\r\n入力ファイル名：");
  std::string expected = header + "my box.fcg" + cp932(u8"\r\n[fcg_000001.gg0]  サイズ：50\r\n処理時間：0.000 秒\r\n") +
                         header + "missing.fcg" + cp932(u8"\r\n入力ファイルを開けませんでした\r\n") +
                         header + named + cp932(u8"\r\n[fcg_000002.gg0]  サイズ：57\r\n処理時間：0.000 秒\r\n") +
                         header + "b.fcg" + cp932(u8"\r\n[fcg_000003.gg0]  サイズ：51\r\n"
                                                  u8"[fcg_000004.gg0]  サイズ：52\r\n処理時間：0.000 秒\r\n");
  EXPECT_EQ(log.text(), expected);
  EXPECT_TRUE(folder.exists("fcg_000004.gg0"));

  CapturedLog nothing;
  vantrel::convertArgumentFiles(wide("   ").c_str(), nothing, clock);
  vantrel::convertArgumentFiles(nullptr, nothing, clock);
  EXPECT_EQ(nothing.text(), "");
}

}  // namespace
