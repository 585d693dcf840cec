// The texts Vantrel shows are code page 932 bytes: each constant must be exactly the
// conversion of its Japanese text.
#include <gtest/gtest.h>

#include "converter/messages.h"
#include "tests/converter/converter_testing.h"

namespace {

using converter_testing::cp932;
namespace m = vantrel::messages;

TEST(Messages, AreTheShiftJisBytesOfTheirText) {
  struct Case {
    const char* constant;
    const char* utf8;
  };
  const Case cases[] = {
      {m::kBannerVersion, u8"Vantrel version 0.01\r\n"},
      {m::kBannerCredit, u8"FCG コンテナ分割ツール  (c) Vantrel 開発チーム\r\n\r\n"},
      {m::kBannerPrompt, u8"ここにファイルをドロップ！\r\n"},
      {m::kInputHeader, u8"\r\n---\r\n入力ファイル名："},
      {m::kLineEnd, u8"\r\n"},
      {m::kInputOpenFailed, u8"入力ファイルを開けませんでした\r\n"},
      {m::kSizeLineFormat, u8"[%s]  サイズ：%llu\r\n"},
      {m::kTimingLineFormat, u8"処理時間：%lu.%03lu 秒\r\n"},
      {m::kHeaderTruncated, u8"ヘッダを読めません（ファイルが短すぎます）。入力ファイルの処理を中止しました\r\n"},
      {m::kTableOutsideFormat, u8"画像の一覧がファイルに収まりません（画像数 %lu）。入力ファイルの処理を中止しました\r\n"},
      {m::kTableNoMemoryFormat, u8"画像の一覧を読み込むメモリが足りません（画像数 %lu）。入力ファイルの処理を中止しました\r\n"},
      {m::kTableReadFailed, u8"画像の一覧を読み込めませんでした。入力ファイルの処理を中止しました\r\n"},
      {m::kRecordOutsideFormat, u8"画像 %lu のヘッダがファイルの外を指しています。入力ファイルの処理を中止しました\r\n"},
      {m::kDataOutsideFormat, u8"画像 %lu のデータがファイルの外を指しています。入力ファイルの処理を中止しました\r\n"},
      {m::kReadFailedFormat, u8"画像 %lu を読み込めませんでした。入力ファイルの処理を中止しました\r\n"},
      {m::kNamesExhausted, u8"出力ファイル名の空きがありません。入力ファイルの処理を中止しました\r\n"},
      {m::kCreateFailedFormat, u8"[%s]  出力ファイルを作成できませんでした。入力ファイルの処理を中止しました\r\n"},
      {m::kCopyFailedFormat, u8"[%s]  書き出しに失敗したため削除しました。入力ファイルの処理を中止しました\r\n"},
      {m::kPathTooLong, u8"パスが長すぎるため開けませんでした\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::string(c.constant), cp932(c.utf8)) << c.utf8;
  }
}

TEST(Messages, FixedTextsOfTheWindowAndTheSplitterAreByteExact) {
  // A few constants spelled out in bytes, so that a broken converter in the test cannot hide
  // a broken table.
  EXPECT_EQ(std::string(m::kInputOpenFailed),
            "\x93\xfc\x97\xcd\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\r\n");
  EXPECT_EQ(std::string(m::kSizeLineFormat), "[%s]  \x83T\x83" "C\x83Y\x81" "F%llu\r\n");
  EXPECT_EQ(std::string(m::kBannerPrompt),
            "\x82\xb1\x82\xb1\x82\xc9\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x83h\x83\x8d\x83" "b\x83v\x81I\r\n");
}

}  // namespace
