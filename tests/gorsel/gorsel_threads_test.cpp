// Gorsel's exports called from eight threads at once, as thumbnail viewers call them: the
// same file and different files, both families, file and memory input, callbacks that stop
// and callbacks that never do. Every call must give what the same call gives alone, and every
// report must reach the callback and user value of the call that made it. Runs natively, under
// ASan and ThreadSanitizer, and in the Windows builds under wine.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32.h"
#include "tests/common/live_blocks.h"
#include "tests/common/temp_folder.h"
#include "tests/gorsel/gorsel_test_support.h"
#include "tests/support/wide_text.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using namespace gorsel_test;
using ggd_picture_writer::SamplePattern;
using testing_support::liveLocalBlocks;
using testing_support::widen;

namespace {

constexpr int kThreads = 8;
constexpr int kCallsPerThread = 64;

typedef std::vector<std::pair<int, int>> Reports;

// One thread's listener: the callback finds it through the user value and checks that it
// is being called on the thread that owns it.
struct Listener {
  std::thread::id owner;
  Reports reports;
  int stopAtReport = -1;  // the 0-based report answered with "stop", -1 for none
  int strangers = 0;      // reports that arrived on another thread
};

int SPI_CALL listen(int num, int denom, spi::UserData user) {
  Listener* listener = reinterpret_cast<Listener*>(user);
  if (listener->owner != std::this_thread::get_id()) ++listener->strangers;
  listener->reports.emplace_back(num, denom);
  // A host that repaints between reports lets the other threads run meanwhile.
  std::this_thread::yield();
  return static_cast<int>(listener->reports.size()) - 1 == listener->stopAtReport ? 1 : 0;
}

// A picture on disk (at an offset) and in memory, with what a call on it gives when alone.
struct Picture {
  std::string name;
  intptr_t offset = 0;
  Bytes file;  // the picture's own bytes
  std::string path;
  testing_support::WideString widePath;
  Bytes head;  // a host's 2048-byte head buffer
  int width = 0, height = 0;
  Bytes bits;
  Reports reports;  // from file input and from memory input alike
};

Picture makePicture(const testing_support::TempFolder& folder, const char* name, SamplePattern pattern, int width,
                    int height, intptr_t offset) {
  Picture p;
  p.name = name;
  p.offset = offset;
  p.width = width;
  p.height = height;
  const Bytes pixels = ggd_picture_writer::makeSamplePicture(pattern, width, height, 7);
  p.file = ggd_picture_writer::encodeGgdPicture(width, height, pixels.data());
  p.bits = bottomUp(width, height, pixels.data());
  folder.write(name, asString(Bytes(static_cast<size_t>(offset), 0x5A) + p.file));
  p.path = folder.path(name);
  p.widePath = widen(p.path);
  p.head = p.file;
  p.head.resize(2048, 0);
  return p;
}

Bytes takeBits(void* info, void* bits) {
  LocalFree(info);
  return takeBlock(bits);
}

// The calls a thread makes, in turn.
enum Call {
  kProbeAddress,
  kProbeHandle,
  kInfoFile,
  kInfoMemory,
  kPictureFile,
  kPictureMemory,
  kPictureStopped,
  kPictureNoCallback,
  kCallKinds
};

class GorselThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gorsel.complete());
    liveBefore = liveLocalBlocks();
    pictures.push_back(makePicture(folder, "photo.ggd", SamplePattern::kPhoto, 320, 200, 0));
    pictures.push_back(makePicture(folder, "flat.ggd", SamplePattern::kFlat, 301, 157, 5));
    // What each picture gives to a call alone, before any thread starts.
    for (Picture& p : pictures) {
      Listener alone;
      alone.owner = std::this_thread::get_id();
      void* info = nullptr;
      void* bits = nullptr;
      ASSERT_EQ(gorsel.getPicture(p.path.c_str(), p.offset, 0, &info, &bits, listen,
                                  reinterpret_cast<intptr_t>(&alone)),
                0);
      ASSERT_EQ(takeBits(info, bits), p.bits);
      ASSERT_GE(alone.reports.size(), 3u);
      p.reports = alone.reports;
    }
  }
  void TearDown() override { EXPECT_EQ(liveLocalBlocks(), liveBefore) << "local blocks left behind"; }

  // One call of the given kind on picture p; an empty string when it gave what it gives alone.
  std::string callOnce(Call call, const Picture& p, bool wide, int serial, Listener& listener) {
    listener.reports.clear();
    listener.stopAtReport = -1;
    const intptr_t user = reinterpret_cast<intptr_t>(&listener);
    const char* memory = reinterpret_cast<const char*>(p.file.data());
    const intptr_t size = static_cast<intptr_t>(p.file.size());
    switch (call) {
      case kProbeAddress: {
        const uintptr_t dw = reinterpret_cast<uintptr_t>(p.head.data());
        return (wide ? gorsel.isSupportedW(nullptr, dw) : gorsel.isSupported(nullptr, dw)) == 1 ? "" : "probe";
      }
      case kProbeHandle: {
        HANDLE file = CreateFileA(p.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "open for the probe";
        SetFilePointer(file, static_cast<LONG>(p.offset), nullptr, FILE_BEGIN);
        const uintptr_t dw = reinterpret_cast<uintptr_t>(file);
        // A handle above 0xFFFF would be taken for an address: such a host cannot probe so.
        const int answer = dw > 0xFFFF ? 1 : wide ? gorsel.isSupportedW(nullptr, dw) : gorsel.isSupported(nullptr, dw);
        CloseHandle(file);
        return answer == 1 ? "" : "probe through a handle";
      }
      case kInfoFile:
      case kInfoMemory: {
        spi::PictureInfo record{};
        int code = 0;
        if (call == kInfoMemory) {
          code = gorsel.getPictureInfo(memory, size, spi::kInputMemory, &record);
        } else if (wide) {
          code = gorsel.getPictureInfoW(p.widePath.c_str(), p.offset, 0, &record);
        } else {
          code = gorsel.getPictureInfo(p.path.c_str(), p.offset, 0, &record);
        }
        const bool same = code == 0 && record.width == p.width && record.height == p.height && record.colorDepth == 24;
        return same ? "" : "picture info";
      }
      default:
        break;
    }
    // GetPicture: stopped calls stop at a report that moves with the serial number.
    const bool fromFile = call == kPictureFile || (call != kPictureMemory && serial % 2 == 0);
    spi::ProgressCallback callback = call == kPictureNoCallback ? nullptr : listen;
    Reports expected = call == kPictureNoCallback ? Reports{} : p.reports;
    int expectedCode = 0;
    if (call == kPictureStopped) {
      listener.stopAtReport = serial % static_cast<int>(p.reports.size());
      expected.resize(static_cast<size_t>(listener.stopAtReport) + 1);
      expectedCode = spi::kAborted;
    }
    void* info = nullptr;
    void* bits = nullptr;
    int code = 0;
    if (!fromFile) {
      code = wide ? gorsel.getPictureW(reinterpret_cast<const spi::WideChar*>(p.file.data()), size, 1, &info, &bits,
                                       callback, user)
                  : gorsel.getPicture(memory, size, 1, &info, &bits, callback, user);
    } else if (wide) {
      code = gorsel.getPictureW(p.widePath.c_str(), p.offset, 0, &info, &bits, callback, user);
    } else {
      code = gorsel.getPicture(p.path.c_str(), p.offset, 0, &info, &bits, callback, user);
    }
    if (code != expectedCode) return "GetPicture code " + std::to_string(code);
    if (listener.reports != expected) return "reports";
    if (code == 0 && takeBits(info, bits) != p.bits) return "pixels";
    return "";
  }

  Gorsel gorsel;
  testing_support::TempFolder folder;
  std::vector<Picture> pictures;
  long liveBefore = 0;
};

}  // namespace

TEST_F(GorselThreads, EveryCallGivesWhatItGivesAlone) {
  std::vector<std::vector<std::string>> faults(kThreads);
  std::vector<int> strangers(kThreads, 0);
  std::vector<std::thread> threads;
  std::atomic<int> waiting{kThreads};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Listener listener;
      listener.owner = std::this_thread::get_id();
      // All start together, so that the calls really overlap.
      --waiting;
      while (waiting.load() > 0) std::this_thread::yield();
      for (int i = 0; i < kCallsPerThread; ++i) {
        // Neighbouring threads make different calls on the same picture at the same moment.
        const Call call = static_cast<Call>((t + i) % kCallKinds);
        const Picture& p = pictures[static_cast<size_t>((t / 2 + i) % 2)];
        const bool wide = (t + i / kCallKinds) % 2 == 1;
        std::string fault = callOnce(call, p, wide, t * kCallsPerThread + i, listener);
        if (!fault.empty()) faults[t].push_back(p.name + " call " + std::to_string(i) + ": " + fault);
      }
      strangers[t] = listener.strangers;
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE(::testing::Message() << "thread " << t);
    EXPECT_EQ(strangers[t], 0) << "reports heard on another thread";
    for (const std::string& fault : faults[t]) ADD_FAILURE() << fault;
  }
}
