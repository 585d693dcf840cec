// Oslin called from eight threads at once, as viewers that decode thumbnails on several
// threads do: every thread mixes the exports of both families over one file they all share
// and one of its own, from files and from memory, with callbacks that would stop and ones
// that would not, and checks each answer against the answer the same call gave when the
// calls were made one after another. Oslin keeps no state between calls, so nothing may
// differ; under ThreadSanitizer (the tsan preset) no access may race.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/temp_folder.h"
#include "tests/oslin/gga_test_data.h"
#include "tests/oslin/oslin_plugin.h"
#include "tests/support/wide_text.h"
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/photographs.h"

namespace {

using namespace oslin_test;
using testing_support::WideString;

constexpr int kThreads = 8;
constexpr int kRoundsPerThread = 24;

// One input: a file (by name, in both families) or its bytes in memory.
struct Source {
  std::string path;
  WideString widePath;
  std::vector<uint8_t> bytes;
};

// Everything a host sees of one call.
struct Answer {
  int code = -99;
  std::vector<uint8_t> record;  // GetPictureInfo's record
  std::vector<uint8_t> info, bits;
  bool operator==(const Answer& o) const {
    return code == o.code && record == o.record && info == o.info && bits == o.bits;
  }
};

// The calls a thread makes; each kind is made on every source.
enum class Call { kInfo, kInfoW, kPicture, kPictureW, kPictureMemory, kInfoMemory, kProbeHead, kProbeHandle, kPreview };
constexpr int kCallKinds = 9;

// What a callback saw: Oslin never reports progress, so any call is a fault; the value
// beside the callback must be the caller's own.
struct Listener {
  std::thread::id thread = std::this_thread::get_id();
  std::atomic<int> calls{0};
  std::atomic<int> foreign{0};
};

int hear(spi::UserData user, int answer) {
  Listener* listener = reinterpret_cast<Listener*>(user);
  ++listener->calls;
  if (listener->thread != std::this_thread::get_id()) ++listener->foreign;
  return answer;
}

int SPI_CALL stopAlways(int, int, spi::UserData user) { return hear(user, 1); }
int SPI_CALL stopNever(int, int, spi::UserData user) { return hear(user, 0); }

std::vector<uint8_t> take(void* block) {
  std::vector<uint8_t> bytes(static_cast<const uint8_t*>(block), static_cast<const uint8_t*>(block) + LocalSize(block));
  LocalFree(block);
  return bytes;
}

Answer makeCall(const Oslin& plugin, Call call, const Source& source, spi::ProgressCallback callback,
                Listener* listener) {
  Answer answer;
  void* info = nullptr;
  void* bits = nullptr;
  spi::PictureInfo record;
  const intptr_t user = reinterpret_cast<intptr_t>(listener);
  const char* memory = reinterpret_cast<const char*>(source.bytes.data());
  const intptr_t length = static_cast<intptr_t>(source.bytes.size());
  switch (call) {
    case Call::kInfo: answer.code = plugin.getPictureInfo(source.path.c_str(), 0, 0, &record); break;
    case Call::kInfoW: answer.code = plugin.getPictureInfoW(source.widePath.c_str(), 0, 0, &record); break;
    case Call::kInfoMemory: answer.code = plugin.getPictureInfo(memory, length, 1, &record); break;
    case Call::kPicture:
      answer.code = plugin.getPicture(source.path.c_str(), 0, 0, &info, &bits, callback, user);
      break;
    case Call::kPictureW:
      answer.code = plugin.getPictureW(source.widePath.c_str(), 0, 0, &info, &bits, callback, user);
      break;
    case Call::kPictureMemory: answer.code = plugin.getPicture(memory, length, 1, &info, &bits, callback, user); break;
    case Call::kProbeHead: {
      std::vector<uint8_t> head(1024, 0);
      std::memcpy(head.data(), source.bytes.data(), std::min<size_t>(head.size(), source.bytes.size()));
      answer.code = plugin.isSupported(nullptr, reinterpret_cast<uintptr_t>(head.data()));
      break;
    }
    case Call::kProbeHandle: {
      HANDLE handle = CreateFileA(source.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle == INVALID_HANDLE_VALUE) break;  // the missing file: nothing to lend
      answer.code = plugin.isSupported(nullptr, reinterpret_cast<uintptr_t>(handle));
      CloseHandle(handle);
      break;
    }
    case Call::kPreview:
      answer.code = plugin.getPreview(source.path.c_str(), 0, 0, &info, &bits, callback, user);
      break;
  }
  const bool recordCall = call == Call::kInfo || call == Call::kInfoW || call == Call::kInfoMemory;
  if (recordCall && answer.code == 0) {
    const uint8_t* at = reinterpret_cast<const uint8_t*>(&record);
    answer.record.assign(at, at + sizeof record);
  }
  const bool probeCall = call == Call::kProbeHead || call == Call::kProbeHandle;
  if (!recordCall && !probeCall && answer.code == 0) {
    answer.info = take(info);
    answer.bits = take(bits);
  }
  return answer;
}

class OslinThreads : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plugin.complete());
    addPicture("same.gg0", gga_writer::Scene::kLandscape, 120, 90, 1);  // every thread reads it
    for (int t = 0; t < kThreads; ++t)
      addPicture("own" + std::to_string(t) + ".gg0", static_cast<gga_writer::Scene>(t % gga_writer::kSceneCount),
                 60 + 7 * t, 40 + t, static_cast<uint32_t>(t + 2));
    // A picture whose codes turn damaged half-way: decoded in part, still 0.
    std::vector<uint8_t> damaged = sources.back().bytes;
    damaged[damaged.size() / 2] = 8;
    addFile("damaged.gg0", damaged);
    addFile("text.txt", std::vector<uint8_t>(200, 'x'));  // not a picture: 4
    Source missing;
    missing.path = folder.path("missing.gg0");  // 6
    missing.widePath = testing_support::widen(missing.path);
    missing.bytes.assign(10, 0);
    sources.push_back(missing);
  }

  void addPicture(const std::string& name, gga_writer::Scene scene, uint32_t width, uint32_t height, uint32_t seed) {
    const std::vector<uint32_t> pixels = gga_writer::makePhotograph(scene, width, height, seed);
    std::vector<uint8_t> file;
    ASSERT_TRUE(gga_writer::encodeGga(reinterpret_cast<const uint8_t*>(pixels.data()), width, height, file));
    addFile(name, file);
  }

  void addFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    folder.write(name, std::string(bytes.begin(), bytes.end()));
    Source source;
    source.path = folder.path(name);
    source.widePath = testing_support::widen(source.path);
    source.bytes = bytes;
    sources.push_back(source);
  }

  // The sources thread t uses: the shared picture, its own, and the three failing inputs.
  std::vector<size_t> sourcesOf(int t) const {
    return {0, static_cast<size_t>(1 + t), sources.size() - 3, sources.size() - 2, sources.size() - 1};
  }

  Oslin plugin;
  testing_support::TempFolder folder;
  std::vector<Source> sources;
};

TEST_F(OslinThreads, EightThreadsGetWhatOneThreadGets) {
  // The answers of every call made one after another.
  std::vector<std::vector<Answer>> expected(sources.size(), std::vector<Answer>(kCallKinds));
  for (size_t s = 0; s < sources.size(); ++s)
    for (int c = 0; c < kCallKinds; ++c) {
      Listener listener;
      expected[s][c] = makeCall(plugin, static_cast<Call>(c), sources[s], stopNever, &listener);
    }
  ASSERT_EQ(expected[0][static_cast<int>(Call::kPicture)].code, 0);
  ASSERT_EQ(expected[sources.size() - 3][static_cast<int>(Call::kPicture)].code, 0);  // damaged, kept in part
  ASSERT_EQ(expected[sources.size() - 2][static_cast<int>(Call::kPicture)].code, spi::kNoMemory);
  ASSERT_EQ(expected[sources.size() - 1][static_cast<int>(Call::kPicture)].code, spi::kReadError);

  std::vector<int> mismatches(kThreads, 0), callbackCalls(kThreads, 0), foreignValues(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      Listener listener;
      const spi::ProgressCallback callback = t % 2 == 0 ? stopAlways : stopNever;
      const std::vector<size_t> mine = sourcesOf(t);
      for (int round = 0; round < kRoundsPerThread; ++round)
        for (size_t i = 0; i < mine.size(); ++i) {
          // Each thread walks the calls in its own order, so different calls overlap.
          const int c = (round + t * 3 + static_cast<int>(i)) % kCallKinds;
          const size_t s = mine[(i + static_cast<size_t>(round)) % mine.size()];
          if (!(makeCall(plugin, static_cast<Call>(c), sources[s], callback, &listener) == expected[s][c]))
            ++mismatches[t];
        }
      callbackCalls[t] = listener.calls;
      foreignValues[t] = listener.foreign;
    });
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(mismatches[t], 0) << "thread " << t;
    EXPECT_EQ(callbackCalls[t], 0) << "thread " << t << ": Oslin reports no progress";
    EXPECT_EQ(foreignValues[t], 0) << "thread " << t;
  }
}

}  // namespace
