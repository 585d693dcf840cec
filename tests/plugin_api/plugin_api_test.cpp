// The two GetPluginInfo copy rules and the table lookup they share, over the plug-ins' own
// tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "gga_plugin/oslin_info.h"
#include "ggd_archive_plugin/felbrin_info.h"
#include "ggd_image_plugin/gorsel_info.h"
#include "mgx_plugin/durnac_info.h"
#include "plugin_api/plugin_api.h"

namespace {

constexpr char kUntouched = '#';

struct CopyCase {
  const char* note;
  spi::InfoCopyRule rule;
  int infono;
  int buflen;
  int expectedResult;
  const char* expectedBytes;  // the first expectedResult bytes of buf
};

TEST(PluginInfo, CopyRulesAndIndexes) {
  const CopyCase cases[] = {
      {"terminated rule, cut to buflen-1 and terminated", spi::copyInfoString, 0, 3, 3, "00\0"},
      {"terminated rule, exact fit", spi::copyInfoString, 0, 5, 5, "00IN\0"},
      {"terminated rule, large buffer", spi::copyInfoString, 0, 256, 5, "00IN\0"},
      {"terminated rule, one byte holds only the NUL", spi::copyInfoString, 0, 1, 1, "\0"},
      {"prefix rule, cut without terminator", spi::copyInfoPrefix, 0, 3, 3, "00I"},
      {"prefix rule, text and NUL", spi::copyInfoPrefix, 0, 256, 5, "00IN\0"},
      {"pattern at index 2", spi::copyInfoString, 2, 256, 12, "*.gg0;*.gg1\0"},
      {"type at index 3", spi::copyInfoPrefix, 3, 256, 9, "GGA file\0"},
      {"index 4 is outside the table", spi::copyInfoString, 4, 256, 0, ""},
      {"negative index", spi::copyInfoPrefix, -1, 256, 0, ""},
      {"buflen 0", spi::copyInfoString, 0, 0, 0, ""},
      {"negative buflen", spi::copyInfoPrefix, 0, -5, 0, ""},
  };
  for (const CopyCase& c : cases) {
    char buf[300];
    std::memset(buf, kUntouched, sizeof buf);
    int result = spi::answerPluginInfo(oslin::kPluginInfo, c.rule, c.infono, buf, c.buflen);
    EXPECT_EQ(result, c.expectedResult) << c.note;
    EXPECT_EQ(std::string(buf, result), std::string(c.expectedBytes, c.expectedResult)) << c.note;
    EXPECT_EQ(buf[result], kUntouched) << c.note << ": nothing is stored past the count";
  }
}

TEST(PluginInfo, NullBufferStoresNothing) {
  EXPECT_EQ(spi::answerPluginInfo(gorsel::kPluginInfo, spi::copyInfoPrefix, 0, nullptr, 10), 0);
}

TEST(PluginInfo, DescriptionsStartWithTheNameAndCarryACredit) {
  const struct {
    const spi::PluginInfoTable* table;
    const char* kind;
    const char* start;
  } tables[] = {
      {&oslin::kPluginInfo, "00IN", "GGA import plug-in ver.0.01 "},
      {&durnac::kPluginInfo, "00AM", "MGX extract plug-in ver.0.01 "},
      {&felbrin::kPluginInfo, "00AM", "Purple GGD extract library Ver 1.00 by "},
      {&gorsel::kPluginInfo, "00IN", "Purple GGD to DIB filter Ver 1.00 by "},
  };
  for (const auto& t : tables) {
    EXPECT_STREQ(t.table->kind, t.kind);
    std::string description = t.table->description;
    EXPECT_EQ(description.rfind(t.start, 0), 0u) << description;
    EXPECT_GT(description.size(), std::strlen(t.start)) << "a maker credit follows";
  }
}

TEST(PluginApi, BitmapStrideRoundsRowsToWholeWords) {
  EXPECT_EQ(spi::bitmapStride(1, 24), 4u);
  EXPECT_EQ(spi::bitmapStride(3, 24), 12u);
  EXPECT_EQ(spi::bitmapStride(5, 24), 16u);
  EXPECT_EQ(spi::bitmapStride(7, 32), 28u);
  EXPECT_EQ(spi::bitmapStride(0xFFFFFFFFu, 32), 0x3FFFFFFFCull) << "no 32-bit wrap";
}

TEST(PluginApi, ProbeArgumentIsAHandleUpTo0xFFFF) {
  EXPECT_TRUE(spi::isProbeHandle(0x7F));
  EXPECT_TRUE(spi::isProbeHandle(0xFFFF));
  EXPECT_FALSE(spi::isProbeHandle(0x10000));
  if (sizeof(uintptr_t) == 8) {
    // An address whose bits 16-31 are zero is still an address.
    EXPECT_FALSE(spi::isProbeHandle(static_cast<uintptr_t>(0x100000000ull) | 0x1234));
  }
}

}  // namespace

namespace {

TEST(PluginInfo, WideCopiesCountCharacters) {
  spi::WideChar buf[8];
  std::fill(std::begin(buf), std::end(buf), spi::WideChar('#'));
  spi::InfoCopyRuleW terminated = spi::copyInfoStringW;
  EXPECT_EQ(spi::answerPluginInfoW(oslin::kPluginInfo, terminated, 0, buf, 3), 3);
  EXPECT_EQ(buf[0], spi::WideChar('0'));
  EXPECT_EQ(buf[2], spi::WideChar(0));
  EXPECT_EQ(buf[3], spi::WideChar('#'));
  spi::InfoCopyRuleW prefix = spi::copyInfoPrefixW;
  EXPECT_EQ(spi::answerPluginInfoW(gorsel::kPluginInfo, prefix, 0, buf, 3), 3);
  EXPECT_EQ(buf[2], spi::WideChar('I')) << "cut without a terminator";
  EXPECT_EQ(spi::answerPluginInfoW(gorsel::kPluginInfo, prefix, 0, buf, 8), 5);
  EXPECT_EQ(buf[4], spi::WideChar(0));
}

}  // namespace
