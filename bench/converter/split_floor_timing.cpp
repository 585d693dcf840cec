// The least a program can do to write the files a split writes: for every image of the
// container, one new file holding its 48 header bytes and its data, copied with the splitter's
// own buffer and calls; no output names looked for, no log, no window. Timed beside Vantrel
// under wine (bench/converter/wine_split_timing.sh), it shows how much of a split's time the
// system's file calls take on their own.
//
//   split_floor_timing CONTAINER OUTPUT_FOLDER   (prints the milliseconds taken)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "converter/fcg_splitter.h"
#include "platform/win32.h"

namespace {

// Writes every image of the open container into folder; false on the first failure.
bool writeImages(HANDLE container, const std::string& folder) {
  using vantrel::readAt;
  using vantrel::readU32;
  uint8_t header[vantrel::kFcgHeaderSize];
  if (!readAt(container, 0, header, sizeof header)) return false;
  const uint32_t count = readU32(header + vantrel::kImageCountOffset);
  std::vector<uint8_t> table(static_cast<size_t>(count) * vantrel::kFcgEntrySize);
  if (count != 0 && !readAt(container, vantrel::kFcgHeaderSize, table.data(), static_cast<uint32_t>(table.size()))) {
    return false;
  }
  vantrel::CopyBuffer buffer;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = table.data() + static_cast<size_t>(i) * vantrel::kFcgEntrySize;
    vantrel::ImageCopy copy;
    if (!readAt(container, readU32(entry) + uint64_t{vantrel::kRecordPrefixSize}, copy.header, sizeof copy.header)) {
      return false;
    }
    copy.payloadOffset = readU32(entry + 4);
    copy.dataSize = readU32(copy.header + vantrel::kGgaDataSizeOffset);
    const std::string name = folder + "/" + std::to_string(i + 1) + vantrel::kOutputExtension;
    copy.output = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (copy.output == INVALID_HANDLE_VALUE || !vantrel::copyImage(copy, container, buffer)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: split_floor_timing CONTAINER OUTPUT_FOLDER\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  HANDLE container = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (container == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  const bool ok = writeImages(container, argv[2]);
  CloseHandle(container);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (!ok) {
    std::fprintf(stderr, "a read or write failed\n");
    return 1;
  }
  std::printf("%.3f\n", ms);
  return 0;
}
