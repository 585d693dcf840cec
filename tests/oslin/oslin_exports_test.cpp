// Oslin's exports as a host calls them: inputs, codes, the blocks handed over, and what
// stays untouched or freed when a call fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/temp_folder.h"
#include "tests/oslin/gga_test_data.h"
#include "tests/oslin/oslin_plugin.h"
#ifndef _WIN32
#include "platform/testing.h"
#endif

namespace {

using namespace gga_test;
using namespace oslin_test;
using testing_support::TempFolder;

// A 3 x 2 picture: rows (A B C) and (D A B).
const Bytes kSmall = ggaFile(3, 2, {14, PA, PB, PC, 12, PD, 4, 4, 2});
const Bytes kSmallBottomUp = {PD, PA, PB, PA, PB, PC};

std::string asText(const Bytes& b) { return std::string(b.begin(), b.end()); }

class OslinExports : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plugin.complete()) << "Oslin is not built beside the tests";
    folder.write("small.gg0", asText(kSmall));
    folder.write("text.txt", "this is not a picture, though it is long enough to hold a header");
    folder.write("empty.gg0", "");
#ifndef _WIN32
    liveBefore = platformLiveLocalBlocks();
#endif
  }
  void TearDown() override {
#ifndef _WIN32
    platformFailAllocationsAfter(-1);
#endif
  }
  // Every block of a failed call has been freed (checked natively, where blocks are counted).
  void expectNothingLeft() {
#ifndef _WIN32
    EXPECT_EQ(platformLiveLocalBlocks(), liveBefore);
#endif
  }

  Oslin plugin;
  TempFolder folder;
  long liveBefore = 0;
};

TEST_F(OslinExports, GetPluginInfoCopiesAndAlwaysTerminates) {
  struct Case {
    int infono, buflen;
    const char* stored;  // null: nothing stored
    int result;
  };
  const Case cases[] = {
      {0, 256, "00IN", 5},         {0, 5, "00IN", 5},         {0, 3, "00", 3},
      {0, 1, "", 1},               {2, 256, "*.gg0;*.gg1", 12}, {3, 256, "GGA file", 9},
      {3, 4, "GGA", 4},            {4, 256, nullptr, 0},      {5, 256, nullptr, 0},
      {-1, 256, nullptr, 0},       {0, 0, nullptr, 0},        {0, -5, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "infono " << c.infono << " buflen " << c.buflen);
    char buf[300];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(plugin.getPluginInfo(c.infono, buf, c.buflen), c.result);
    if (c.stored != nullptr) {
      EXPECT_STREQ(buf, c.stored);
    }
    size_t touched = c.stored ? std::strlen(c.stored) + 1 : 0;
    for (size_t i = touched; i < sizeof buf; ++i) ASSERT_EQ(buf[i], 'x') << i;
  }
  char description[300];
  ASSERT_GT(plugin.getPluginInfo(1, description, sizeof description), 0);
  EXPECT_EQ(std::string(description).rfind("GGA import plug-in ver.0.01 ", 0), 0u) << description;
  EXPECT_EQ(plugin.getPluginInfo(0, nullptr, 10), 0);
}

TEST_F(OslinExports, IsSupportedThroughAHostFileHandle) {
  struct Case {
    const char* file;
    int result;
  };
  for (const Case& c : {Case{"small.gg0", 1}, Case{"text.txt", 0}, Case{"empty.gg0", 0}}) {
    SCOPED_TRACE(c.file);
    HANDLE handle = CreateFileA(folder.path(c.file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    SetFilePointer(handle, 5, nullptr, FILE_BEGIN);  // the probe starts at 0 wherever the host left it
    EXPECT_EQ(plugin.isSupported(nullptr, reinterpret_cast<uintptr_t>(handle)), c.result);
    // The handle is still the host's and still open.
    EXPECT_NE(SetFilePointer(handle, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_TRUE(CloseHandle(handle));
  }
}

TEST_F(OslinExports, IsSupportedThroughAMemoryHead) {
  // The host passes the file's first bytes; only the header counts.
  std::vector<uint8_t> head(1024, 0xEE);
  std::memcpy(head.data(), kSmall.data(), 48);
  EXPECT_EQ(plugin.isSupported(textArg("x.gg0"), reinterpret_cast<uintptr_t>(head.data())), 1);
  head[14] = 24;
  EXPECT_EQ(plugin.isSupported(textArg("x.gg0"), reinterpret_cast<uintptr_t>(head.data())), 0);
  expectNothingLeft();
}

TEST_F(OslinExports, GetPictureInfoFromFileAndMemory) {
  const std::string path = folder.path("small.gg0");
  struct Case {
    const char* what;
    char* buf;
    intptr_t len;
    unsigned flag;
  };
  const Case cases[] = {
      {"file", textArg(path), 0, 0},
      {"file with a start offset: still read from the start", textArg(path), 100, 0},
      {"file, output bits set", textArg(path), 0, 0x100},
      {"memory", bytesArg(kSmall), static_cast<intptr_t>(kSmall.size()), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    spi::PictureInfo info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(plugin.getPictureInfo(c.buf, c.len, c.flag, &info), 0);
    spi::PictureInfo expected = {};
    expected.width = 3;
    expected.height = 2;
    expected.colorDepth = 32;
    EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);
  }
}

// Failures return Oslin's code and leave the host's record exactly as it was.
TEST_F(OslinExports, GetPictureInfoFailuresLeaveTheRecord) {
  const std::string missing = folder.path("missing.gg0");
  const std::string text = folder.path("text.txt");
  const std::string empty = folder.path("empty.gg0");
  const std::string small = folder.path("small.gg0");
  const std::string itself = folder.path();
  struct Case {
    const char* what;
    char* buf;
    intptr_t len;
    unsigned flag;
    int code;
  };
  const Case cases[] = {
      {"input kind 2", textArg(small), 0, 2, -1},
      {"input kind 7", textArg(small), 0, 7, -1},
      {"input kind 3 with output bits", textArg(small), 0, 0x103, -1},
      {"missing file", textArg(missing), 0, 0, 6},
      {"folder", textArg(itself), 0, 0, 6},
      {"not GGA", textArg(text), 0, 0, 4},
      {"empty file", textArg(empty), 0, 0, 4},
      {"memory shorter than a header", bytesArg(kSmall), 47, 1, 4},
      {"memory of size 0", bytesArg(kSmall), 0, 1, 4},
      {"null name", nullptr, 0, 0, -1},
      {"null memory", nullptr, 100, 1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    spi::PictureInfo info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(plugin.getPictureInfo(c.buf, c.len, c.flag, &info), c.code);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&info);
    for (size_t i = 0; i < sizeof info; ++i) ASSERT_EQ(raw[i], 0x5A) << i;
  }
  EXPECT_EQ(plugin.getPictureInfo(textArg(small), 0, 0, nullptr), -1);
  expectNothingLeft();
}

TEST_F(OslinExports, GetPictureHandsOverExactZeroFilledBlocks) {
  const std::string path = folder.path("small.gg0");
  struct Case {
    const char* what;
    char* buf;
    intptr_t len;
    unsigned flag;
  };
  const Case cases[] = {
      {"file", textArg(path), 0, 0},
      {"file with a start offset", textArg(path), 100, 0},
      {"memory", bytesArg(kSmall), static_cast<intptr_t>(kSmall.size()), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bitmap bitmap;
    ASSERT_EQ(plugin.getPicture(c.buf, c.len, c.flag, &bitmap.info, &bitmap.bits, nullptr, 0), 0);
    ASSERT_NE(bitmap.info, nullptr);
    ASSERT_NE(bitmap.bits, nullptr);
    EXPECT_EQ(LocalSize(bitmap.info), 44u);
    EXPECT_EQ(LocalSize(bitmap.bits), 2u * 3 * 4);
    // A fixed block: locking it gives its own address.
    EXPECT_EQ(LocalLock(bitmap.info), bitmap.info);
    LocalUnlock(bitmap.info);

    spi::BitmapInfoHeader expected = {};
    expected.biSize = 40;
    expected.biWidth = 3;
    expected.biHeight = 2;
    expected.biPlanes = 1;
    expected.biBitCount = 32;
    expected.biSizeImage = 24;
    EXPECT_EQ(std::memcmp(bitmap.info, &expected, sizeof expected), 0);
    const uint8_t* tail = static_cast<const uint8_t*>(bitmap.info) + 40;
    EXPECT_EQ(tail[0] | tail[1] | tail[2] | tail[3], 0);
    EXPECT_EQ(Bytes(bitmap.rows(), bitmap.rows() + 24), kSmallBottomUp);
  }
}

int SPI_CALL countCalls(int, int, spi::UserData user) {
  ++*reinterpret_cast<int*>(user);
  return 1;  // would ask to stop, if Oslin asked
}

TEST_F(OslinExports, GetPictureIgnoresTheProgressCallback) {
  int calls = 0;
  Bitmap bitmap;
  ASSERT_EQ(plugin.getPicture(textArg(folder.path("small.gg0")), 0, 0, &bitmap.info, &bitmap.bits, countCalls,
                              reinterpret_cast<intptr_t>(&calls)),
            0);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Bytes(bitmap.rows(), bitmap.rows() + 24), kSmallBottomUp);
}

// A damaged picture still decodes what comes before the damage, and the rest is zero.
TEST_F(OslinExports, GetPictureKeepsWhatPrecedesDamage) {
  const Bytes damaged = ggaFile(2, 2, {13, PA, PB, 2, 7, 12, PC});  // distance 7 reaches nothing
  Bitmap bitmap;
  ASSERT_EQ(plugin.getPicture(bytesArg(damaged), static_cast<intptr_t>(damaged.size()), 1, &bitmap.info,
                              &bitmap.bits, nullptr, 0),
            0);
  const Bytes expected = {0, 0, 0, 0, 0, 0, 0, 0, PA, PB};
  EXPECT_EQ(Bytes(bitmap.rows(), bitmap.rows() + 16), expected);
}

TEST_F(OslinExports, GetPictureFailuresLeaveTheHandlesAndFreeEverything) {
  const std::string missing = folder.path("missing.gg0");
  const std::string text = folder.path("text.txt");
  const std::string small = folder.path("small.gg0");
  Bytes huge = kSmall;  // 65535 x 65535: far above what Oslin allocates
  putLe(huge, 8, 0xFFFF, 2);
  putLe(huge, 10, 0xFFFF, 2);
  char notGga[] = "GGA0000";
  struct Case {
    const char* what;
    char* buf;
    intptr_t len;
    unsigned flag;
    int code;
  };
  const Case cases[] = {
      {"input kind 2", textArg(small), 0, 2, -1},
      {"input kind 6", bytesArg(kSmall), static_cast<intptr_t>(kSmall.size()), 6, -1},
      {"missing file", textArg(missing), 0, 0, 6},
      {"not GGA", textArg(text), 0, 0, 4},
      {"not GGA in memory", notGga, 8, 1, 4},
      {"picture too large to allocate", bytesArg(huge), static_cast<intptr_t>(huge.size()), 1, 4},
      {"null name", nullptr, 0, 0, -1},
  };
  void* const untouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x1234));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    void* info = untouched;
    void* bits = untouched;
    EXPECT_EQ(plugin.getPicture(c.buf, c.len, c.flag, &info, &bits, nullptr, 0), c.code);
    EXPECT_EQ(info, untouched);
    EXPECT_EQ(bits, untouched);
    expectNothingLeft();
  }
  void* handle = untouched;
  EXPECT_EQ(plugin.getPicture(textArg(small), 0, 0, nullptr, &handle, nullptr, 0), -1);
  EXPECT_EQ(plugin.getPicture(textArg(small), 0, 0, &handle, nullptr, nullptr, 0), -1);
  EXPECT_EQ(handle, untouched);
  expectNothingLeft();
}

TEST_F(OslinExports, GetPreviewIsNotSupported) {
  void* info = nullptr;
  void* bits = nullptr;
  EXPECT_EQ(plugin.getPreview(textArg(folder.path("small.gg0")), 0, 0, &info, &bits, nullptr, 0), -1);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(plugin.getPreview(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), -1);
  const spi::WideChar name[] = {'a', '.', 'g', 'g', '0', 0};
  EXPECT_EQ(plugin.getPreviewW(name, 0, 0, &info, &bits, nullptr, 0), -1);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(plugin.getPreviewW(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), -1);
}

#ifndef _WIN32
// Either block failing to allocate gives 4, frees the other and hands nothing over.
TEST_F(OslinExports, GetPictureAllocationFailuresFreeEverything) {
  for (long allowed : {0L, 1L}) {
    SCOPED_TRACE(allowed);
    void* info = nullptr;
    void* bits = nullptr;
    platformFailAllocationsAfter(allowed);
    EXPECT_EQ(plugin.getPicture(bytesArg(kSmall), static_cast<intptr_t>(kSmall.size()), 1, &info, &bits, nullptr, 0),
              4);
    platformFailAllocationsAfter(-1);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
    expectNothingLeft();
  }
}
#endif

}  // namespace
