#include "tools/fcg_writer/fcg_writer.h"

#include <fstream>
#include <iterator>

namespace fcg_writer {

void putU16(std::string& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

void putU32(std::string& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t getU32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

std::string buildContainer(const std::vector<Image>& images) {
  std::string out(kContainerHeaderSize, '\0');
  out.replace(0, 8, "FCG00000");
  putU32(out, 8, static_cast<uint32_t>(images.size()));
  size_t tableOffset = out.size();
  out.resize(out.size() + images.size() * kEntrySize, '\0');
  for (size_t i = 0; i < images.size(); ++i) {
    uint32_t record = static_cast<uint32_t>(out.size());
    putU32(out, tableOffset + i * kEntrySize, record);
    putU32(out, tableOffset + i * kEntrySize + 4, record + kRecordTagSize + kGgaHeaderSize);
    std::string tag(kRecordTagSize, '\0');
    putU32(tag, 0, static_cast<uint32_t>(i));
    out += tag;
    std::string header = images[i].header;
    header.resize(kGgaHeaderSize, '\0');
    out += header;
    out += images[i].data;
  }
  return out;
}

bool imageFromGga(const std::string& gga, Image* image) {
  if (gga.size() < kGgaHeaderSize) return false;
  uint64_t dataSize = getU32(gga, kGgaDataSizeOffset);
  if (gga.size() - kGgaHeaderSize < dataSize) return false;
  image->header = gga.substr(0, kGgaHeaderSize);
  image->data = gga.substr(kGgaHeaderSize, static_cast<size_t>(dataSize));
  return true;
}

std::string ggaHeader(uint16_t width, uint16_t height, uint32_t dataSize) {
  std::string header(kGgaHeaderSize, '\0');
  header.replace(0, 8, "GGA00000");
  putU16(header, 8, width);
  putU16(header, 10, height);
  header[14] = 32;          // bits per pixel
  putU32(header, 16, 48);   // codeOffset
  putU32(header, 20, dataSize);
  putU32(header, 24, 48);   // auxOffset
  putU32(header, 28, 0);    // auxSize
  return header;
}

std::string syntheticGga(uint16_t width, uint16_t height, uint32_t seed) {
  std::string codes;
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  uint64_t written = 0;
  while (written < pixels) {
    int run = static_cast<int>(pixels - written < kMaxLiteralRun ? pixels - written : kMaxLiteralRun);
    codes += static_cast<char>(11 + run);  // literal code: 12 for one pixel .. 255 for 244
    for (int i = 0; i < run; ++i, ++written) {
      uint32_t x = static_cast<uint32_t>(written % width);
      uint32_t y = static_cast<uint32_t>(written / width);
      codes += static_cast<char>(x * 255 / (width > 1 ? width - 1 : 1));           // blue
      codes += static_cast<char>(y * 255 / (height > 1 ? height - 1 : 1));          // green
      codes += static_cast<char>((seed * 67 + (x ^ y)) & 0xFF);                     // red
      codes += static_cast<char>(0xFF);                                             // fourth
    }
  }
  return ggaHeader(width, height, static_cast<uint32_t>(codes.size())) + codes;
}

Image opaqueImage(uint32_t dataSize, uint32_t seed) {
  Image image;
  image.header = ggaHeader(1, 1, dataSize);
  image.data.resize(dataSize);
  uint32_t state = seed * 2654435761u + 1;
  for (uint32_t i = 0; i < dataSize; ++i) {
    state = state * 1664525u + 1013904223u;
    image.data[i] = static_cast<char>(state >> 24);
  }
  return image;
}

bool readFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace fcg_writer
