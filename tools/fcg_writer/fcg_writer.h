// Builds FCG containers (and simple GGA pictures to fill them) for fixtures, tests,
// benchmarks and the sample job.
//
// Container layout written here (u32 little-endian):
//   0   "FCG00000" (a marker of ours; the converter does not read bytes 0-7)
//   8   imageCount
//   12  20 zero bytes
//   32  imageCount entries: recordOffset, payloadOffset
//   then, per image: a record (4-byte tag, 48-byte GGA header) directly followed by the data,
//   so payloadOffset = recordOffset + 52.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fcg_writer {

constexpr uint32_t kContainerHeaderSize = 32;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kRecordTagSize = 4;
constexpr uint32_t kGgaHeaderSize = 48;
constexpr uint32_t kGgaDataSizeOffset = 20;
constexpr int kMaxLiteralRun = 244;  // pixels of the longest literal code (255)

struct Image {
  std::string header;  // 48 bytes
  std::string data;    // the bytes that the header's dataSize counts
};

void putU16(std::string& bytes, size_t offset, uint16_t value);
void putU32(std::string& bytes, size_t offset, uint32_t value);
uint32_t getU32(const std::string& bytes, size_t offset);

// The container bytes for these images, in this order.
std::string buildContainer(const std::vector<Image>& images);

// The image inside GGA file bytes: its 48-byte header and the dataSize bytes after it.
// False when the bytes are shorter than that.
bool imageFromGga(const std::string& gga, Image* image);

// A 48-byte GGA header of a 32-bit picture whose codes follow the header directly.
std::string ggaHeader(uint16_t width, uint16_t height, uint32_t dataSize);

// A whole 32-bit GGA picture (header and literal pixel codes): a colour gradient whose hue
// depends on seed.
std::string syntheticGga(uint16_t width, uint16_t height, uint32_t seed);

// An image whose data is dataSize opaque bytes (a pattern from seed) under a valid header.
Image opaqueImage(uint32_t dataSize, uint32_t seed);

bool readFile(const std::string& path, std::string* bytes);
bool writeFile(const std::string& path, const std::string& bytes);

}  // namespace fcg_writer
