// fcg_writer: builds an FCG container.
//
//   fcg_writer OUTPUT.fcg IMAGE.gga...          one entry per GGA file (header + its data)
//   fcg_writer --synthetic COUNT WxH OUTPUT.fcg COUNT gradient pictures of W x H pixels
//   fcg_writer --gga WxH SEED OUTPUT.gga        one gradient picture as a GGA file
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/fcg_writer/fcg_writer.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: fcg_writer OUTPUT.fcg IMAGE.gga...\n"
               "       fcg_writer --synthetic COUNT WxH OUTPUT.fcg\n"
               "       fcg_writer --gga WxH SEED OUTPUT.gga\n");
  return 2;
}

bool parseSize(const char* text, uint16_t* width, uint16_t* height) {
  unsigned long w = 0, h = 0;
  if (std::sscanf(text, "%lux%lu", &w, &h) != 2 || w == 0 || h == 0 || w > 65535 || h > 65535) return false;
  *width = static_cast<uint16_t>(w);
  *height = static_cast<uint16_t>(h);
  return true;
}

int write(const std::string& path, const std::string& bytes, const char* what) {
  if (!fcg_writer::writeFile(path, bytes)) {
    std::fprintf(stderr, "fcg_writer: cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("%s: %s (%zu bytes)\n", what, path.c_str(), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--synthetic") == 0) {
    uint16_t width, height;
    long count = argc == 5 ? std::strtol(argv[2], nullptr, 10) : -1;
    if (count < 0 || count > 100000 || !parseSize(argv[3], &width, &height)) return usage();
    std::vector<fcg_writer::Image> images;
    for (long i = 0; i < count; ++i) {
      fcg_writer::Image image;
      fcg_writer::imageFromGga(fcg_writer::syntheticGga(width, height, static_cast<uint32_t>(i)), &image);
      images.push_back(image);
    }
    return write(argv[4], fcg_writer::buildContainer(images), "container");
  }
  if (argc >= 2 && std::strcmp(argv[1], "--gga") == 0) {
    uint16_t width, height;
    if (argc != 5 || !parseSize(argv[2], &width, &height)) return usage();
    uint32_t seed = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    return write(argv[4], fcg_writer::syntheticGga(width, height, seed), "picture");
  }
  if (argc < 3) return usage();
  std::vector<fcg_writer::Image> images;
  for (int i = 2; i < argc; ++i) {
    std::string bytes;
    fcg_writer::Image image;
    if (!fcg_writer::readFile(argv[i], &bytes) || !fcg_writer::imageFromGga(bytes, &image)) {
      std::fprintf(stderr, "fcg_writer: %s is no readable GGA file (48-byte header + dataSize bytes)\n", argv[i]);
      return 1;
    }
    images.push_back(image);
  }
  return write(argv[1], fcg_writer::buildContainer(images), "container");
}
