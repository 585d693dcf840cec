// Splitting containers: the files written, their bytes, and the log, for sound and damaged
// containers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "converter/fcg_splitter.h"
#include "tests/converter/converter_testing.h"
#include "tools/fcg_writer/fcg_writer.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using converter_testing::CapturedLog;
using converter_testing::cp932;
using converter_testing::FixedClock;
using converter_testing::WorkingFolder;
using fcg_writer::Image;

std::string sizeLine(const std::string& name, unsigned long long size) {
  return "[" + name + "]  " + cp932(u8"サイズ：") + std::to_string(size) + "\r\n";
}

std::string timingLine(const char* seconds) { return cp932(std::string(u8"処理時間：") + seconds + u8" 秒\r\n"); }

// An image whose header carries a recognisable pattern in every byte but dataSize.
Image image(uint32_t dataSize, char fill) {
  Image result = fcg_writer::opaqueImage(dataSize, static_cast<uint32_t>(fill));
  for (size_t i = 32; i < 48; ++i) result.header[i] = static_cast<char>(fill + i);
  return result;
}

// A container written by hand: header, table, then the given body at byte 32 + 8 * count.
std::string container(uint32_t imageCount, const std::vector<std::pair<uint32_t, uint32_t>>& entries,
                      const std::string& body = "") {
  std::string bytes(32, '\x5A');  // bytes 0-7 and 12-31 are not read: fill them with anything
  fcg_writer::putU32(bytes, 8, imageCount);
  for (const auto& entry : entries) {
    std::string record(8, '\0');
    fcg_writer::putU32(record, 0, entry.first);
    fcg_writer::putU32(record, 4, entry.second);
    bytes += record;
  }
  return bytes + body;
}

int split(const std::string& path, CapturedLog& log, FixedClock& clock) {
  return vantrel::splitFcgFile(path.c_str(), log, clock);
}

TEST(SplitFcgFile, WritesEveryImageInTableOrder) {
  WorkingFolder folder;
  // The third image spans several copy pieces.
  std::vector<Image> images = {image(100, 'a'), image(0, 'b'), image(2 * vantrel::kCopyBufferSize + 5, 'c')};
  folder.write("in.fcg", fcg_writer::buildContainer(images));
  CapturedLog log;
  FixedClock clock;
  clock.ticks = {5000, 6005};
  EXPECT_EQ(split("in.fcg", log, clock), 0);

  EXPECT_EQ(log.text(), sizeLine("fcg_000001.gg0", 148) + sizeLine("fcg_000002.gg0", 48) +
                            sizeLine("fcg_000003.gg0", 48 + 2 * vantrel::kCopyBufferSize + 5) + timingLine("1.005"));
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"fcg_000001.gg0", "fcg_000002.gg0", "fcg_000003.gg0", "in.fcg"}));
  for (int i = 0; i < 3; ++i) {
    std::string out = folder.read("fcg_00000" + std::to_string(i + 1) + ".gg0");
    EXPECT_EQ(out, images[i].header + images[i].data) << i;
  }
  // Every line is handed to the log on its own.
  EXPECT_EQ(log.pieces.size(), 4u);
}

// Large images go to a second thread while the next one is copied here: the files and the log
// are the same as when one thread writes them all, also when a damaged entry stops the split.
TEST(SplitFcgFile, LargeImagesAreWrittenWholeAndReportedInTableOrder) {
  WorkingFolder folder;
  const uint32_t large = vantrel::kLaneMinimumBytes;
  std::vector<Image> images = {image(large + 1, 'a'), image(3, 'b'),          image(large + 2, 'c'),
                               image(large + 3, 'd'), image(2 * large, 'e')};
  folder.write("in.fcg", fcg_writer::buildContainer(images));
  CapturedLog log;
  FixedClock clock;
  EXPECT_EQ(split("in.fcg", log, clock), 0);
  std::string expected;
  for (size_t i = 0; i < images.size(); ++i) {
    std::string name = "fcg_00000" + std::to_string(i + 1) + ".gg0";
    expected += sizeLine(name, 48 + images[i].data.size());
    EXPECT_EQ(folder.read(name), images[i].header + images[i].data) << name;
  }
  EXPECT_EQ(log.text(), expected + timingLine("0.000"));

  // Two large images, then an entry whose data lies outside the file.
  const std::string record = "TAG!" + fcg_writer::ggaHeader(1, 1, large + 5);
  folder.write("damaged.fcg", container(3, {{56, 108}, {56, 108}, {56, 0xFFFFFF00u}},
                                        record + std::string(large + 5, 'x')));
  CapturedLog damaged;
  EXPECT_EQ(split("damaged.fcg", damaged, clock), 1);
  EXPECT_EQ(damaged.text(), sizeLine("fcg_000006.gg0", large + 53) + sizeLine("fcg_000007.gg0", large + 53) +
                                cp932(u8"画像 3 のデータがファイルの外を指しています。入力ファイルの処理を中止しました\r\n") +
                                timingLine("0.000"));
  EXPECT_EQ(folder.read("fcg_000007.gg0"), record.substr(4) + std::string(large + 5, 'x'));
}

// The second thread may not have started an image yet when the split ends and takes it back
// (most likely just after the thread was made): every image is still written once, whole.
TEST(SplitFcgFile, ImagesTakenBackFromTheSecondThreadAreWrittenOnce) {
  const uint32_t large = vantrel::kLaneMinimumBytes;
  const std::vector<Image> images = {image(large, 'a'), image(large + 1, 'b')};
  const std::string bytes = fcg_writer::buildContainer(images);
  for (int round = 0; round < 10; ++round) {
    WorkingFolder folder;
    folder.write("in.fcg", bytes);
    CapturedLog log;
    FixedClock clock;
    EXPECT_EQ(split("in.fcg", log, clock), 0);
    EXPECT_EQ(log.text(), sizeLine("fcg_000001.gg0", large + 48) + sizeLine("fcg_000002.gg0", large + 49) +
                              timingLine("0.000"));
    EXPECT_EQ(folder.read("fcg_000002.gg0"), images[1].header + images[1].data);
    EXPECT_EQ(folder.entries().size(), 3u);
  }
}

TEST(SplitFcgFile, SecondContainerDoesNotOverwriteTheFirst) {
  WorkingFolder folder;
  folder.write("one.fcg", fcg_writer::buildContainer({image(10, 'a'), image(20, 'b'), image(30, 'c')}));
  folder.write("two.fcg", fcg_writer::buildContainer({image(40, 'd')}));
  folder.write("fcg_000005.txt", "taken");
  CapturedLog log;
  FixedClock clock;
  split("one.fcg", log, clock);
  CapturedLog second;
  split("two.fcg", second, clock);
  EXPECT_EQ(second.text(), sizeLine("fcg_000004.gg0", 88) + timingLine("0.000"));
  EXPECT_EQ(folder.read("fcg_000001.gg0").size(), 58u);
  CapturedLog third;
  split("two.fcg", third, clock);
  EXPECT_EQ(third.text(), sizeLine("fcg_000006.gg0", 88) + timingLine("0.000"));
}

TEST(SplitFcgFile, TakenNumberOfAnyExtensionIsSkipped) {
  WorkingFolder folder;
  folder.write("fcg_000001.txt", "");
  folder.write("in.fcg", fcg_writer::buildContainer({image(5, 'a')}));
  CapturedLog log;
  FixedClock clock;
  split("in.fcg", log, clock);
  EXPECT_EQ(log.text(), sizeLine("fcg_000002.gg0", 53) + timingLine("0.000"));
}

// A file that another program puts in the folder once the first image is written takes the
// name meant for the next image: that image goes under a free name instead, also when it is
// the second thread that finds the name taken (it takes the first large image). Which of the
// two large images then gets which name depends on when the thread finds out.
TEST(SplitFcgFile, FileThatAppearsDuringTheSplitIsNotReplaced) {
  class LogThatWritesAFile : public CapturedLog {
   public:
    explicit LogThatWritesAFile(WorkingFolder& folder) : folder_(folder) {}
    void append(const char* text) override {
      if (pieces.empty()) folder_.write("fcg_000002.gg0", "someone else's");
      CapturedLog::append(text);
    }

   private:
    WorkingFolder& folder_;
  };
  const uint32_t large = vantrel::kLaneMinimumBytes;
  const struct {
    std::vector<uint32_t> sizes;
    std::vector<std::vector<int>> numberings;  // the output numbers the images may get
  } cases[] = {
      {{5, 6}, {{1, 3}}},
      {{5, large, large + 1}, {{1, 3, 4}, {1, 4, 3}}},
  };
  for (const auto& c : cases) {
    WorkingFolder folder;
    std::vector<Image> images;
    for (uint32_t size : c.sizes) images.push_back(image(size, static_cast<char>('a' + images.size())));
    folder.write("in.fcg", fcg_writer::buildContainer(images));
    LogThatWritesAFile log(folder);
    FixedClock clock;
    EXPECT_EQ(split("in.fcg", log, clock), 0);
    bool matched = false;
    for (const std::vector<int>& numbers : c.numberings) {
      std::string expected;
      for (size_t i = 0; i < images.size(); ++i) {
        expected += sizeLine("fcg_00000" + std::to_string(numbers[i]) + ".gg0", 48 + images[i].data.size());
      }
      if (log.text() != expected + timingLine("0.000")) continue;
      matched = true;
      for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(folder.read("fcg_00000" + std::to_string(numbers[i]) + ".gg0"), images[i].header + images[i].data);
      }
    }
    EXPECT_TRUE(matched) << log.text();
    EXPECT_EQ(folder.read("fcg_000002.gg0"), "someone else's");
  }
}

TEST(SplitFcgFile, EmptyContainerLogsOnlyTheTime) {
  WorkingFolder folder;
  folder.write("in.fcg", container(0, {}));
  CapturedLog log;
  FixedClock clock;
  clock.ticks = {0, 7};
  EXPECT_EQ(split("in.fcg", log, clock), 0);
  EXPECT_EQ(log.text(), timingLine("0.007"));
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"in.fcg"});
}

TEST(SplitFcgFile, TimingLine) {
  struct Case {
    DWORD start, end;
    const char* shown;
  };
  const Case cases[] = {
      {1000, 2005, "1.005"},
      {0, 7, "0.007"},
      {0, 0, "0.000"},
      {100, 60100, "60.000"},
      {0xFFFFFFFFu, 6, "0.007"},                 // the tick count wraps
      {0, 0xFFFFFFFFu, "4294967.295"},
  };
  WorkingFolder folder;
  folder.write("in.fcg", container(0, {}));
  for (const Case& c : cases) {
    CapturedLog log;
    FixedClock clock;
    clock.ticks = {c.start, c.end};
    split("in.fcg", log, clock);
    EXPECT_EQ(log.text(), timingLine(c.shown)) << c.shown;
  }
}

TEST(SplitFcgFile, EntriesInAnyOrderOverlappingAndSharingData) {
  WorkingFolder folder;
  // Body at 48 (after a table of two entries): one record, its data right behind it.
  std::string header = fcg_writer::ggaHeader(2, 1, 8);
  header[40] = '\x77';
  std::string body = std::string("TAG!") + header + "12345678";
  const uint32_t record = 48, payload = 48 + 52;
  // The second entry shares the record and takes its data from the record itself.
  std::string bytes = container(2, {{record, payload}, {record, payload - 52}}, body);
  folder.write("in.fcg", bytes);
  CapturedLog log;
  FixedClock clock;
  EXPECT_EQ(split("in.fcg", log, clock), 0);
  EXPECT_EQ(folder.read("fcg_000001.gg0"), header + "12345678");
  EXPECT_EQ(folder.read("fcg_000002.gg0"), header + bytes.substr(48, 8));
}

TEST(SplitFcgFile, HeaderIsCopiedUnchangedWhateverItsCodeOffset) {
  WorkingFolder folder;
  Image withAux = image(16, 'q');
  fcg_writer::putU32(withAux.header, 16, 60);  // codeOffset
  fcg_writer::putU32(withAux.header, 28, 12);  // auxSize
  std::string bytes = fcg_writer::buildContainer({withAux});
  bytes[0] = '\x01';  // the parts that are not read may hold anything
  bytes[13] = '\x7F';
  folder.write("in.fcg", bytes);
  CapturedLog log;
  FixedClock clock;
  split("in.fcg", log, clock);
  std::string out = folder.read("fcg_000001.gg0");
  EXPECT_EQ(out, withAux.header + withAux.data);  // the data follows at byte 48
}

TEST(SplitFcgFile, MissingInputIsReportedAlone) {
  WorkingFolder folder;
  folder.makeFolder("a folder");
  for (const char* path : {"missing.fcg", "a folder", ""}) {
    CapturedLog log;
    FixedClock clock;
    EXPECT_EQ(split(path, log, clock), 1) << path;
    EXPECT_EQ(log.text(), cp932(u8"入力ファイルを開けませんでした\r\n")) << path;
  }
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"a folder"});
}

TEST(SplitFcgFile, DamagedContainersStopWithALineAndLeaveNoPartialFile) {
  const std::string record = "TAG!" + fcg_writer::ggaHeader(1, 1, 20);
  const std::string good = record + std::string(20, 'd');  // 72 bytes
  const std::string stop = u8"。入力ファイルの処理を中止しました\r\n";
  struct Case {
    const char* what;
    std::string bytes;
    int filesWritten;
    std::string message;  // UTF-8
  };
  const Case cases[] = {
      {"empty file", "", 0, u8"ヘッダを読めません（ファイルが短すぎます）" + stop},
      {"31 bytes", std::string(31, '\0'), 0, u8"ヘッダを読めません（ファイルが短すぎます）" + stop},
      {"huge image count", container(0xFFFFFFFFu, {{40, 92}}), 0,
       u8"画像の一覧がファイルに収まりません（画像数 4294967295）" + stop},
      {"table one entry short", container(2, {{48, 48 + 52}}, std::string(4, '\0')), 0,
       u8"画像の一覧がファイルに収まりません（画像数 2）" + stop},
      {"record past the end", container(1, {{5000, 40}}, good), 0,
       u8"画像 1 のヘッダがファイルの外を指しています" + stop},
      {"record cut by the end", container(1, {{70, 40}}, good), 0,
       u8"画像 1 のヘッダがファイルの外を指しています" + stop},
      {"record offset near 2^32", container(1, {{0xFFFFFFF0u, 40}}, good), 0,
       u8"画像 1 のヘッダがファイルの外を指しています" + stop},
      {"data past the end", container(1, {{40, 100}}, good), 0,
       u8"画像 1 のデータがファイルの外を指しています" + stop},
      {"data offset and size wrap 2^32", container(1, {{40, 0xFFFFFFF0u}}, good), 0,
       u8"画像 1 のデータがファイルの外を指しています" + stop},
      {"second image broken", container(2, {{48, 100}, {48, 101}}, good), 1,
       u8"画像 2 のデータがファイルの外を指しています" + stop},
  };
  for (const Case& c : cases) {
    WorkingFolder folder;
    folder.write("in.fcg", c.bytes);
    CapturedLog log;
    FixedClock clock;
    EXPECT_EQ(split("in.fcg", log, clock), 1) << c.what;
    std::string expected = c.filesWritten ? sizeLine("fcg_000001.gg0", 68) : "";
    expected += cp932(c.message) + timingLine("0.000");
    EXPECT_EQ(log.text(), expected) << c.what;
    EXPECT_EQ(folder.entries().size(), 1u + c.filesWritten) << c.what;
  }
}

TEST(SplitFcgFile, HugeDataSizeClaimIsRefusedBeforeAnyFileExists) {
  WorkingFolder folder;
  std::string record = "TAG!" + fcg_writer::ggaHeader(1, 1, 0xFFFFFFFFu);
  folder.write("in.fcg", container(1, {{40, 92}}, record + "data"));
  CapturedLog log;
  FixedClock clock;
  EXPECT_EQ(split("in.fcg", log, clock), 1);
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"in.fcg"});
}

TEST(CopyBytes, WritesTheLeadThenTheInputAcrossBufferBoundariesAndReportsShortInput) {
  WorkingFolder folder;
  const uint32_t large = vantrel::kCopyBufferSize;
  std::string data;
  for (uint32_t i = 0; i < 2 * large + 3; ++i) data += static_cast<char>(i * 7 + i / 251);
  folder.write("in", data);
  const std::string lead(48, 'h');
  struct Case {
    uint32_t leadLength;
    uint32_t length;
    int result;
  };
  const Case cases[] = {
      // the buffer inside, then a larger one; pieces of at most the buffer's size
      {0, 0, 0}, {0, 1, 0}, {0, 4095, 0}, {0, 4096, 0}, {0, 4097, 0},
      {0, large - 1, 0}, {0, large, 0}, {0, large + 1, 0}, {0, 2 * large + 3, 0},
      // the lead shares the buffer, and the first write, with the first bytes read
      {48, 0, 0}, {48, 4048, 0}, {48, 4049, 0}, {48, large - 48, 0}, {48, large - 47, 0}, {48, 2 * large + 3, 0},
      // one byte more than there is
      {0, 2 * large + 4, 1}, {48, 2 * large + 4, 1},
  };
  for (const Case& c : cases) {
    const std::string what = std::to_string(c.leadLength) + " + " + std::to_string(c.length);
    HANDLE in = CreateFileA("in", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE out = CreateFileA("out", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(in, INVALID_HANDLE_VALUE);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    vantrel::CopyBuffer buffer;
    const auto* leadBytes = reinterpret_cast<const uint8_t*>(lead.data());
    EXPECT_EQ(vantrel::copyBytes(out, leadBytes, c.leadLength, in, c.length, buffer), c.result) << what;
    EXPECT_EQ(buffer.size(), std::max(std::min(c.leadLength + c.length, large), vantrel::kSmallCopyBufferSize)) << what;
    CloseHandle(in);
    CloseHandle(out);
    if (c.result == 0) {
      EXPECT_EQ(folder.read("out"), lead.substr(0, c.leadLength) + data.substr(0, c.length)) << what;
    }
  }
}

TEST(ConvertInputFile, LogsTheHeaderThenTheSplit) {
  WorkingFolder folder;
  folder.write("in.fcg", fcg_writer::buildContainer({image(1, 'a')}));
  CapturedLog log;
  FixedClock clock;
  vantrel::convertInputFile(converter_testing::wide("in.fcg").c_str(), log, clock);
  EXPECT_EQ(log.text(), cp932(u8"\r\n---\r\n入力ファイル名：in.fcg\r\n") + sizeLine("fcg_000001.gg0", 49) +
                            timingLine("0.000"));
}

#ifndef _WIN32
// Failures that only the system can cause, made on purpose natively.

TEST(SplitFcgFile, OutputThatCannotBeCreatedStopsTheContainer) {
  WorkingFolder folder;
  folder.write("in.fcg", fcg_writer::buildContainer({image(3, 'a')}));
  std::string path = folder.path("in.fcg");
  folder.makeFolder("gone");
  std::filesystem::current_path(folder.path("gone"));
  std::filesystem::remove(folder.path("gone"));  // the working directory no longer exists
  CapturedLog log;
  FixedClock clock;
  EXPECT_EQ(split(path, log, clock), 1);
  EXPECT_EQ(log.text(), "[fcg_000001.gg0]  " +
                            cp932(u8"出力ファイルを作成できませんでした。入力ファイルの処理を中止しました\r\n") +
                            timingLine("0.000"));
}

// A write that fails (files may grow to `limit` bytes) deletes the partial file and ends the
// split there, also when it fails in one of two large images copied at once: the images
// before it are kept and reported, nothing after it is left.
TEST(SplitFcgFile, FailedWriteDeletesThePartialFileAndEndsTheSplitThere) {
  const uint32_t large = vantrel::kLaneMinimumBytes;
  const std::string failed = cp932(u8"書き出しに失敗したため削除しました。入力ファイルの処理を中止しました\r\n");
  struct Case {
    uint32_t first, second;  // data sizes
    rlim_t limit;
    std::string log;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {10, 5000, 2000, sizeLine("fcg_000001.gg0", 58) + "[fcg_000002.gg0]  " + failed, {"fcg_000001.gg0", "in.fcg"}},
      {2 * large, large + 1, large + large / 2, "[fcg_000001.gg0]  " + failed, {"in.fcg"}},
      {large + 1, 2 * large, large + large / 2, sizeLine("fcg_000001.gg0", large + 49) + "[fcg_000002.gg0]  " + failed,
       {"fcg_000001.gg0", "in.fcg"}},
  };
  for (const Case& c : cases) {
    WorkingFolder folder;
    folder.write("in.fcg", fcg_writer::buildContainer({image(c.first, 'a'), image(c.second, 'b')}));
    signal(SIGXFSZ, SIG_IGN);
    rlimit previous;
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = c.limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    CapturedLog log;
    FixedClock clock;
    int result = split("in.fcg", log, clock);
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(result, 1) << c.first;
    EXPECT_EQ(log.text(), c.log + timingLine("0.000")) << c.first;
    EXPECT_EQ(folder.entries(), c.entries) << c.first;
  }
}
#endif

}  // namespace
