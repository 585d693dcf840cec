#include "tools/cli/picture_input.h"

#include <climits>

#include "tools/cli/files.h"

// Private to this file: the tests link stb_image of their own.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 32768
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include "stb_image.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace cli {

namespace {

// A picture file is read whole; the largest sensible PNG, JPEG or BMP stays below this.
constexpr uint64_t kMaxPictureFile = 1ull << 30;

}  // namespace

bool readPicture(const std::string& path, Picture& picture, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(path, kMaxPictureFile, bytes, error)) return false;
  if (bytes.size() > INT_MAX) {
    error = path + " is too large";
    return false;
  }
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels)) {
    error = path + " is no PNG, JPEG or BMP picture (" + stbi_failure_reason() + ")";
    return false;
  }
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPicturePixels) {
    error = path + " is too large: " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
    return false;
  }
  stbi_uc* rgba = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
  if (rgba == nullptr) {
    error = "cannot decode " + path + " (" + stbi_failure_reason() + ")";
    return false;
  }
  picture.width = static_cast<uint32_t>(width);
  picture.height = static_cast<uint32_t>(height);
  size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  picture.bgra.resize(count * 4);
  for (size_t i = 0; i < count; ++i) {
    picture.bgra[4 * i] = rgba[4 * i + 2];
    picture.bgra[4 * i + 1] = rgba[4 * i + 1];
    picture.bgra[4 * i + 2] = rgba[4 * i];
    picture.bgra[4 * i + 3] = rgba[4 * i + 3];
  }
  stbi_image_free(rgba);
  return true;
}

std::vector<uint8_t> bgrOf(const Picture& picture) {
  std::vector<uint8_t> bgr;
  bgr.reserve(picture.bgra.size() / 4 * 3);
  for (size_t i = 0; i + 3 < picture.bgra.size(); i += 4) {
    bgr.insert(bgr.end(), {picture.bgra[i], picture.bgra[i + 1], picture.bgra[i + 2]});
  }
  return bgr;
}

}  // namespace cli
