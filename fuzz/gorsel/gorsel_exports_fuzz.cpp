// Fuzz target for Gorsel's exports as a host drives them: the input is written to a file and
// handed over by name (at offset 0 and at a small offset), by an open handle and in memory,
// through the ANSI exports and their Unicode twins. It checks what a host relies on: the
// same bytes give the same code, bitmap and progress reports whichever way they arrive; a
// failure stores no handle; every report carries the call's own user value; GetPictureInfo
// agrees with GetPicture; every block the plug-in made is either handed over or freed.
// The exports are compiled in, so the Windows build replays the corpus under wine as well.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ggd_image_plugin/ggd_picture.h"
#include "tests/common/image_plugin_exports.h"
#include "platform/win32.h"
#include "plugin_api/plugin_api.h"
#ifndef _WIN32
#include <unistd.h>

#include "platform/testing.h"
#endif

namespace {

// Pictures above this are only checked, not decoded, to keep runs fast.
constexpr uint64_t kMaxFuzzBitmapBytes = 16u << 20;

void* const kUntouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "gorsel_exports_fuzz: %s\n", what);
  __builtin_trap();
}

// The platform layer counts the live local blocks natively; on Windows nothing counts them.
#ifdef _WIN32
constexpr bool kCountsBlocks = false;
long liveBlocks() { return 0; }
#else
constexpr bool kCountsBlocks = true;
long liveBlocks() { return platformLiveLocalBlocks(); }
#endif

// One call's listener: the reports it heard, and after how many it asks to stop.
struct Listener {
  uint32_t magic = 0x6C697374;
  int stopAfter = -1;  // -1: never
  std::vector<std::pair<int, int>> reports;
};

int SPI_CALL listen(int num, int denom, spi::UserData user) {
  Listener* listener = reinterpret_cast<Listener*>(user);
  check(listener != nullptr && listener->magic == 0x6C697374, "a report with another call's user value");
  check(denom > 0 && num >= 0 && num <= denom, "a report outside 0..total");
  listener->reports.emplace_back(num, denom);
  return static_cast<int>(listener->reports.size()) - 1 == listener->stopAfter ? 1 : 0;
}

// Everything a GetPicture call lets the host see.
struct Outcome {
  int code = -99;
  std::vector<uint8_t> info, bits;
  std::vector<std::pair<int, int>> reports;
  bool operator==(const Outcome& o) const {
    return code == o.code && info == o.info && bits == o.bits && reports == o.reports;
  }
};

std::vector<uint8_t> takeBlock(void* block) {
  const uint8_t* at = static_cast<const uint8_t*>(LocalLock(block));
  check(at != nullptr, "a handed-over block does not lock");
  std::vector<uint8_t> bytes(at, at + LocalSize(block));
  LocalUnlock(block);
  check(LocalFree(block) == nullptr, "a handed-over block does not free");
  return bytes;
}

template <typename Call>
Outcome picture(Call call, int stopAfter) {
  Listener listener;
  listener.stopAfter = stopAfter;
  void* info = kUntouched;
  void* bits = kUntouched;
  const long before = liveBlocks();
  Outcome out;
  out.code = call(&info, &bits, listen, reinterpret_cast<intptr_t>(&listener));
  out.reports = listener.reports;
  if (out.code == 0) {
    check(!kCountsBlocks || liveBlocks() == before + 2, "success hands over anything but two blocks");
    out.info = takeBlock(info);
    out.bits = takeBlock(bits);
    check(out.info.size() == sizeof(spi::BitmapInfoHeader), "information block of the wrong size");
  } else {
    check(info == kUntouched && bits == kUntouched, "a failure stored a handle");
    check(out.code == spi::kAborted || out.code == spi::kUnknownFormat || out.code == spi::kDamaged ||
              out.code == spi::kNoMemory || out.code == spi::kReadError,
          "an unexpected code");
  }
  check(liveBlocks() == before, "blocks left behind");
  return out;
}

// The name of this process's input file, in both families' characters (the temporary
// folder's path is plain ASCII where fuzzing runs; otherwise the Unicode calls are skipped).
struct InputFile {
  std::string name;
  std::basic_string<spi::WideChar> wide;
  bool wideUsable = true;
  InputFile() {
    name = (std::filesystem::temp_directory_path() / ("gorsel-fuzz-" + std::to_string(processId()) + ".ggd")).string();
    for (char c : name) {
      wideUsable = wideUsable && static_cast<unsigned char>(c) < 0x80;
      wide.push_back(static_cast<spi::WideChar>(static_cast<unsigned char>(c)));
    }
  }
  ~InputFile() {
    std::error_code error;
    std::filesystem::remove(name, error);
  }
  static unsigned long processId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
  }
};

bool writeFile(const std::string& name, const uint8_t* data, size_t size) {
  HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool done = size == 0 || (WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
  return CloseHandle(file) && done;
}

// IsSupported through the host's head buffer and through a handle at `offset`.
void probe(const InputFile& file, const uint8_t* data, size_t size, intptr_t offset) {
  uint8_t head[spi::kHostHeadBytes] = {};
  const size_t from = std::min(size, static_cast<size_t>(offset));
  if (size > from) std::memcpy(head, data + from, std::min<size_t>(spi::kHostHeadBytes, size - from));
  const int byAddress = IsSupported(nullptr, reinterpret_cast<uintptr_t>(head));
  check(byAddress == 0 || byAddress == 1, "IsSupported answers neither 0 nor 1");
  check(IsSupportedW(nullptr, reinterpret_cast<uintptr_t>(head)) == byAddress, "IsSupportedW differs");

  HANDLE handle = CreateFileA(file.name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  check(handle != INVALID_HANDLE_VALUE, "the input file does not open");
  const uintptr_t dw = reinterpret_cast<uintptr_t>(handle);
  if (dw <= 0xFFFF) {
    SetFilePointer(handle, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    const int byHandle = IsSupported(nullptr, dw);
    // The handle yields only the file's own bytes, the buffer 2048 with zeros after them.
    check(byHandle == 0 || byHandle == byAddress, "IsSupported accepts a handle but not its head");
  }
  CloseHandle(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static InputFile file;
  // A copy of exactly `size` bytes, so that reading one past it is caught.
  const std::vector<uint8_t> input(data, data + size);
  if (!writeFile(file.name, input.data(), input.size())) return 0;
  const char* memory = reinterpret_cast<const char*>(input.data());
  const intptr_t length = static_cast<intptr_t>(input.size());

  // The picture at offset 0, and a second look at a small offset the first byte picks.
  const intptr_t offsets[2] = {0, size > 0 ? input[0] % 8 : 0};
  for (intptr_t offset : offsets) {
    if (offset > length) continue;
    probe(file, input.data(), input.size(), offset);

    const uint8_t* cursor = input.data() + offset;
    int64_t available = length - offset;
    gorsel::GgdPictureHeader header{};
    const bool accepted = gorsel::CheckGgdPicture(&cursor, &available, &header) == 0;
    uint64_t bitmapBytes = 0;
    // Bitmaps above the plug-in's limit are refused before anything is allocated.
    if (accepted && gorsel::GgdBitmapBytes(header, &bitmapBytes) && bitmapBytes > kMaxFuzzBitmapBytes) continue;

    // GetPictureInfo: by name in both families, and from memory.
    spi::PictureInfo byName{}, byWideName{}, fromMemory{};
    const int infoCode = GetPictureInfo(file.name.c_str(), offset, 0, &byName);
    check(infoCode == 0 || infoCode == spi::kUnknownFormat, "GetPictureInfo: an unexpected code");
    if (file.wideUsable) {
      check(GetPictureInfoW(file.wide.c_str(), offset, 0, &byWideName) == infoCode, "GetPictureInfoW differs");
      check(std::memcmp(&byName, &byWideName, sizeof byName) == 0, "GetPictureInfoW fills another record");
    }
    const int memoryInfoCode = GetPictureInfo(memory + offset, length - offset, spi::kInputMemory, &fromMemory);

    // GetPicture: a callback that stops after a number of reports the last byte picks (or
    // never), through every way in; all must agree.
    const int stopAfter = size > 0 ? (input[size - 1] & 0x0F) - 1 : -1;
    const Outcome fromFile = picture(
        [&](void** i, void** b, spi::ProgressCallback cb, intptr_t user) {
          return GetPicture(file.name.c_str(), offset, 0, i, b, cb, user);
        },
        stopAfter);
    const Outcome fromBlock = picture(
        [&](void** i, void** b, spi::ProgressCallback cb, intptr_t user) {
          return GetPicture(memory + offset, length - offset, spi::kInputMemory, i, b, cb, user);
        },
        stopAfter);
    check(fromFile == fromBlock, "file and memory input differ");
    if (file.wideUsable) {
      const Outcome fromWideName = picture(
          [&](void** i, void** b, spi::ProgressCallback cb, intptr_t user) {
            return GetPictureW(file.wide.c_str(), offset, 0, i, b, cb, user);
          },
          stopAfter);
      check(fromWideName == fromFile, "GetPictureW differs");
    }
    if (fromFile.code == 0) {
      check(infoCode == 0 && memoryInfoCode == 0, "a picture whose information was refused");
      check(byName.width == header.width && byName.height == header.height, "information of another size");
      check(fromFile.bits.size() == bitmapBytes, "a bits block of the wrong size");
    }
    if (!accepted) check(fromFile.code == spi::kUnknownFormat, "a refused header decoded");

    void* untouched = kUntouched;
    check(GetPreview(memory, length, spi::kInputMemory, &untouched, &untouched, listen, 0) == spi::kNotSupported,
          "GetPreview");
    check(GetPreviewW(file.wide.c_str(), 0, 0, &untouched, &untouched, listen, 0) == spi::kNotSupported,
          "GetPreviewW");
    check(untouched == kUntouched, "GetPreview stored a handle");
  }
  return 0;
}
