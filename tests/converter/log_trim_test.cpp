// Cutting the oldest log text at a character boundary of code page 932.
#include <gtest/gtest.h>

#include <string>

#include "converter/log_trim.h"

namespace {

using vantrel::characterBoundaryAtOrAfter;
using vantrel::characterCount;
using vantrel::isShiftJisLeadByte;
using vantrel::kLogCapacity;
using vantrel::oldestCharactersToDrop;

TEST(LogTrim, LeadBytes) {
  for (unsigned c : {0x81u, 0x9Fu, 0xE0u, 0xFCu}) EXPECT_TRUE(isShiftJisLeadByte(static_cast<unsigned char>(c))) << c;
  for (unsigned c : {0x00u, 0x41u, 0x5Cu, 0x80u, 0xA0u, 0xB1u, 0xDFu, 0xFDu, 0xFFu}) {
    EXPECT_FALSE(isShiftJisLeadByte(static_cast<unsigned char>(c))) << c;
  }
}

TEST(LogTrim, CutNeverSplitsADoubleByteCharacter) {
  // "a" "表" (0x95 0x5C: its trail byte is a backslash) "b" "ｱ" (0xB1, one byte) "サ" (0x83 0x54)
  const std::string text = "a\x95\x5c" "b\xb1\x83\x54";
  struct Case {
    size_t cut, expected;
  };
  const Case cases[] = {
      {0, 0}, {1, 1},
      {2, 3},   // inside the double-byte character: its trail byte goes too
      {3, 3}, {4, 4}, {5, 5},
      {6, 7},
      {7, 7}, {8, 7},  // past the end: everything
  };
  for (const Case& c : cases) {
    EXPECT_EQ(characterBoundaryAtOrAfter(text.data(), text.size(), c.cut, isShiftJisLeadByte), c.expected) << c.cut;
  }
  EXPECT_EQ(characterCount(text.data(), text.size(), isShiftJisLeadByte), 5u);
  EXPECT_EQ(characterCount(text.data(), 3, isShiftJisLeadByte), 2u);
  // A lead byte as the very last byte counts as one character.
  EXPECT_EQ(characterCount("\x83", 1, isShiftJisLeadByte), 1u);
  EXPECT_EQ(characterBoundaryAtOrAfter("a\x83", 2, 1, isShiftJisLeadByte), 1u);
}

TEST(LogTrim, TrailBytesThatLookLikeLeadBytesAreNotMisread) {
  // "ア" is 0x83 0x41 and "ー" is 0x81 0x5B; 0x83 0x83 is "ャ": a trail byte equal to a lead
  // byte value. Only walking from the start keeps the pairs right.
  const std::string text = "\x83\x83\x83\x83\x83\x41";  // ャャア
  EXPECT_EQ(characterBoundaryAtOrAfter(text.data(), text.size(), 1, isShiftJisLeadByte), 2u);
  EXPECT_EQ(characterBoundaryAtOrAfter(text.data(), text.size(), 3, isShiftJisLeadByte), 4u);
  EXPECT_EQ(characterCount(text.data(), text.size(), isShiftJisLeadByte), 3u);
}

TEST(LogTrim, OldestCharactersToDropCountsCodePage932Bytes) {
  // A full log: "ab", then double-byte "あ" (0x82 0xA0) 16382 times, then "c".
  std::string log = "ab";
  for (int i = 0; i < 16382; ++i) log += "\x82\xa0";
  log += "c";
  ASSERT_EQ(log.size(), kLogCapacity);
  struct Case {
    size_t incoming;
    size_t dropped;  // characters
  };
  const Case cases[] = {
      {0, 0},
      {1, 1},  // one byte over: "a"
      {2, 2},  // "ab"
      {3, 3},  // one byte of "あ" would be left: all of it goes
      {4, 3},
      {5, 4},
      {kLogCapacity, 16385},      // everything (2 + 16382 + 1 characters)
      {kLogCapacity + 9, 16385},  // more than an empty log holds: still everything
  };
  for (const Case& c : cases) EXPECT_EQ(oldestCharactersToDrop(log.data(), log.size(), c.incoming), c.dropped) << c.incoming;
  EXPECT_EQ(oldestCharactersToDrop("", 0, kLogCapacity), 0u);
  EXPECT_EQ(oldestCharactersToDrop("", 0, kLogCapacity + 1), 0u);
}

}  // namespace
