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
using converter_testing::WorkingFolder;
using vantrel::ArgumentList;

std::vector<std::string> words(const char* text) {
  ArgumentList list(text);
  std::vector<std::string> out;
  for (int i = 0; i < list.count(); ++i) out.push_back(list.word(i));
  EXPECT_EQ(list.word(list.count()), nullptr);
  EXPECT_EQ(list.word(-1), nullptr);
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
  folder.write("my box.fcg", fcg_writer::buildContainer({fcg_writer::opaqueImage(2, 1)}));
  folder.write("b.fcg", fcg_writer::buildContainer({fcg_writer::opaqueImage(3, 2), fcg_writer::opaqueImage(4, 3)}));
  CapturedLog log;
  FixedClock clock;
  vantrel::convertArgumentFiles("\"my box.fcg\"   missing.fcg b.fcg ", log, clock);
  std::string expected = cp932(u8"\r\n---\r\n入力ファイル名：my box.fcg\r\n[fcg_000001.gg0]  サイズ：50\r\n"
                               u8"処理時間：0.000 秒\r\n"
                               u8"\r\n---\r\n入力ファイル名：missing.fcg\r\n入力ファイルを開けませんでした\r\n"
                               u8"\r\n---\r\n入力ファイル名：b.fcg\r\n[fcg_000002.gg0]  サイズ：51\r\n"
                               u8"[fcg_000003.gg0]  サイズ：52\r\n処理時間：0.000 秒\r\n");
  EXPECT_EQ(log.text(), expected);
  EXPECT_TRUE(folder.exists("fcg_000003.gg0"));

  CapturedLog nothing;
  vantrel::convertArgumentFiles("   ", nothing, clock);
  vantrel::convertArgumentFiles(nullptr, nothing, clock);
  EXPECT_EQ(nothing.text(), "");
}

}  // namespace
