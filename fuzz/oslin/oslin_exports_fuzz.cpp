// Fuzz target for Oslin's exports as a host drives them, the export code compiled in (so the
// Windows build replays the corpus under wine too). The input is written to a file and
// handed over by name (at offset 0 and at another offset, which Oslin ignores), by an open
// handle to IsSupported, and in memory, through the ANSI exports and their Unicode twins.
// It checks what a host relies on: the same bytes give the same code, record and bitmap
// whichever way they arrive; a failure stores no handle and leaves the record untouched;
// the bitmap has the size GetPictureInfo announced; the callback is never called; every
// block the plug-in made is either handed over or freed; GetPreview touches nothing.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/image_plugin_exports.h"
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// Pictures whose bitmap would exceed this are only asked about, not decoded: zero-filling
// large blocks costs time and finds nothing that a small picture does not.
constexpr uint64_t kMaxFuzzBitmapBytes = 4u << 20;
constexpr size_t kHeaderBytes = 48;

void* const kUntouched = testing_support::untouchedHandle();

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "oslin_exports_fuzz: %s\n", what);
  __builtin_trap();
}

#ifdef _WIN32
unsigned long processId() { return GetCurrentProcessId(); }
#else
unsigned long processId() { return static_cast<unsigned long>(getpid()); }
#endif

using testing_support::kCountsLocalBlocks;
using testing_support::liveLocalBlocks;

int SPI_CALL neverCalled(int, int, spi::UserData) {
  check(false, "Oslin called the progress callback");
  return 1;
}

// The input's file, one per process, and its name in both families (the name is ASCII).
struct InputFile {
  InputFile() {
    path = (std::filesystem::temp_directory_path() / ("oslin-exports-fuzz-" + std::to_string(processId()) + ".gg0"))
               .string();
    for (char c : path) widePath.push_back(static_cast<spi::WideChar>(static_cast<unsigned char>(c)));
    widePath.push_back(0);
  }
  ~InputFile() { std::remove(path.c_str()); }
  void write(const uint8_t* data, size_t size) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::string path;
  std::vector<spi::WideChar> widePath;
};

// Everything a GetPicture call lets the host see.
struct Outcome {
  int code = -99;
  std::vector<uint8_t> info, bits;
  bool operator==(const Outcome& o) const { return code == o.code && info == o.info && bits == o.bits; }
};

std::vector<uint8_t> takeBlock(void* block) {
  std::vector<uint8_t> bytes;
  check(testing_support::takeLocalBlock(block, bytes), "a handed-over block does not lock or free");
  return bytes;
}

template <typename Call>
Outcome picture(Call call) {
  void* info = kUntouched;
  void* bits = kUntouched;
  const long before = liveLocalBlocks();
  Outcome out;
  out.code = call(&info, &bits);
  if (out.code == spi::kSuccess) {
    check(!kCountsLocalBlocks || liveLocalBlocks() == before + 2, "success hands over anything but two blocks");
    out.info = takeBlock(info);
    out.bits = takeBlock(bits);
  } else {
    check(info == kUntouched && bits == kUntouched, "a failure stored a handle");
    check(out.code == spi::kNoMemory || out.code == spi::kReadError, "an unexpected code");
  }
  check(liveLocalBlocks() == before, "blocks left behind");
  return out;
}

struct Info {
  int code = -99;
  spi::PictureInfo record;
  bool operator==(const Info& o) const {
    return code == o.code && std::memcmp(&record, &o.record, sizeof record) == 0;
  }
};

template <typename Call>
Info pictureInfo(Call call) {
  Info out;
  std::memset(&out.record, 0xAB, sizeof out.record);
  spi::PictureInfo untouched;
  std::memset(&untouched, 0xAB, sizeof untouched);
  out.code = call(&out.record);
  if (out.code != spi::kSuccess) {
    check(std::memcmp(&out.record, &untouched, sizeof untouched) == 0, "a failure wrote the record");
    check(out.code == spi::kNoMemory || out.code == spi::kReadError, "an unexpected code");
  }
  return out;
}

void checkProbes(const InputFile& input, const uint8_t* data, size_t size) {
  std::vector<uint8_t> head(spi::kHostHeadBytes, 0);
  std::memcpy(head.data(), data, std::min<size_t>(size, spi::kHostHeadBytes));
  const uintptr_t address = reinterpret_cast<uintptr_t>(head.data());
  const int fromMemory = IsSupported("x.gg0", address);
  check(fromMemory == IsSupportedW(nullptr, address), "the families probe a head differently");
  check(fromMemory == 0 || fromMemory == 1, "IsSupported answered neither 0 nor 1");

  HANDLE handle = CreateFileA(input.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  check(handle != INVALID_HANDLE_VALUE, "the input file does not open");
  const int fromHandle = IsSupported(nullptr, reinterpret_cast<uintptr_t>(handle));
  check(fromHandle == IsSupportedW(nullptr, reinterpret_cast<uintptr_t>(handle)),
        "the families probe a handle differently");
  check(SetFilePointer(handle, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER, "the host's handle was closed");
  CloseHandle(handle);
  // A head shorter than a header is padded with zeros in memory, not in the file.
  if (size >= kHeaderBytes) check(fromHandle == fromMemory, "a handle and the same head in memory disagree");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF) return 0;
  static const InputFile input;
  input.write(data, size);
  checkProbes(input, data, size);

  const char* name = input.path.c_str();
  const spi::WideChar* wideName = input.widePath.data();
  // GetPicture wants a block it can read whole; an empty input is still a valid address.
  std::vector<uint8_t> bytes(data, data + size);
  bytes.reserve(1);
  const char* memory = reinterpret_cast<const char*>(bytes.data());
  const intptr_t length = static_cast<intptr_t>(size);

  const Info info = pictureInfo([&](spi::PictureInfo* r) { return GetPictureInfo(name, 0, 0, r); });
  check(info == pictureInfo([&](spi::PictureInfo* r) { return GetPictureInfoW(wideName, 0, 0, r); }),
        "GetPictureInfoW differs");
  check(info == pictureInfo([&](spi::PictureInfo* r) { return GetPictureInfo(name, 100, 0, r); }),
        "a file offset changed GetPictureInfo");
  check(info == pictureInfo([&](spi::PictureInfo* r) { return GetPictureInfo(memory, length, 1, r); }),
        "GetPictureInfo from memory differs");
  check(info == pictureInfo([&](spi::PictureInfo* r) { return GetPictureInfoW(
                                reinterpret_cast<const spi::WideChar*>(memory), length, 1, r); }),
        "GetPictureInfoW from memory differs");

  void* previewInfo = kUntouched;
  void* previewBits = kUntouched;
  check(GetPreview(name, 0, 0, &previewInfo, &previewBits, nullptr, 0) == spi::kNotSupported &&
            GetPreviewW(wideName, 0, 0, &previewInfo, &previewBits, nullptr, 0) == spi::kNotSupported &&
            previewInfo == kUntouched && previewBits == kUntouched,
        "GetPreview did something");

  if (info.code == spi::kSuccess) {
    const uint64_t bitmapBytes =
        static_cast<uint64_t>(info.record.width) * static_cast<uint64_t>(info.record.height) * 4;
    if (bitmapBytes > kMaxFuzzBitmapBytes) return 0;
  }
  const Outcome outcome = picture([&](void** i, void** b) { return GetPicture(name, 0, 0, i, b, neverCalled, 7); });
  check(outcome.code == info.code, "GetPicture and GetPictureInfo answer differently");
  if (outcome.code == spi::kSuccess) {
    const auto* header = reinterpret_cast<const spi::BitmapInfoHeader*>(outcome.info.data());
    check(outcome.info.size() >= sizeof *header && header->biWidth == info.record.width &&
              header->biHeight == info.record.height && header->biBitCount == 32,
          "the bitmap header differs from GetPictureInfo's record");
    check(outcome.bits.size() == static_cast<size_t>(info.record.width) * info.record.height * 4,
          "the bits block has another size than the record announces");
  }
  check(outcome == picture([&](void** i, void** b) { return GetPictureW(wideName, 0, 0, i, b, nullptr, 0); }),
        "GetPictureW differs");
  check(outcome == picture([&](void** i, void** b) { return GetPicture(name, 100, 0, i, b, nullptr, 0); }),
        "a file offset changed GetPicture");
  check(outcome == picture([&](void** i, void** b) { return GetPicture(memory, length, 1, i, b, neverCalled, 9); }),
        "GetPicture from memory differs");
  check(outcome == picture([&](void** i, void** b) {
          return GetPictureW(reinterpret_cast<const spi::WideChar*>(memory), length, 1, i, b, nullptr, 0);
        }),
        "GetPictureW from memory differs");
  return 0;
}
