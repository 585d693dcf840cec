// Pictures the writers take as input: PNG, JPEG or BMP files, decoded with stb_image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// The largest picture a writer reads: the writers' own formats stop well below it.
constexpr uint32_t kMaxPictureSide = 32768;
constexpr uint64_t kMaxPicturePixels = 256ull * 1024 * 1024;

struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgra;  // blue, green, red, alpha; top row first, rows unpadded
};

// Reads the picture file; false with `error` saying why ("x.jpg is no PNG, JPEG or BMP
// picture: ...").
bool readPicture(const std::string& path, Picture& picture, std::string& error);

// The pixels as blue, green, red bytes (the alpha left out).
std::vector<uint8_t> bgrOf(const Picture& picture);

}  // namespace cli
