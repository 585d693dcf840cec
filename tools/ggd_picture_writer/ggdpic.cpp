// ggdpic: writes GGD pictures.
//
//   ggdpic encode <width> <height> <pixels.bgr> <out.ggd>
//       encodes raw pixels: blue, green, red bytes, top row first, width x 3 bytes a row
//   ggdpic sample <noise|gradient|flat|photo|mixed|landscape|portrait|street> <width> <height> <out.ggd> [seed]
//       encodes a generated picture
//
// It prints the operations used and the sizes; exit code 0 on success, 1 on failure.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using namespace ggd_picture_writer;

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: ggdpic encode <width> <height> <pixels.bgr> <out.ggd>\n"
               "       ggdpic sample <noise|gradient|flat|photo|mixed|landscape|portrait|street> <width> <height> <out.ggd> [seed]\n");
  return 1;
}

bool parseDimension(const char* text, int& value) {
  char* end = nullptr;
  long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < 1 || parsed > kMaxDimension) return false;
  value = static_cast<int>(parsed);
  return true;
}

bool readFile(const char* path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool writeFile(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int encodeAndWrite(int width, int height, const std::vector<uint8_t>& pixels, const char* outPath) {
  EncodeStats stats;
  std::vector<uint8_t> file = encodeGgdPicture(width, height, pixels.data(), &stats);
  if (file.empty()) {
    std::fprintf(stderr, "ggdpic: a %d x %d picture is too large to write\n", width, height);
    return 1;
  }
  if (!writeFile(outPath, file)) {
    std::fprintf(stderr, "ggdpic: cannot write %s\n", outPath);
    return 1;
  }
  static const char* const kNames[kOpKinds] = {"repeat", "copy near", "copy far", "copy 1 near", "copy 1 far",
                                               "literal"};
  std::printf("%s: %d x %d, bitmap %llu bytes, file %zu bytes\n", outPath, width, height,
              static_cast<unsigned long long>(bitmapBytes(width, height)), file.size());
  for (int k = 0; k < kOpKinds; ++k) {
    std::printf("  %-12s %10llu operations %12llu pixels\n", kNames[k],
                static_cast<unsigned long long>(stats.operations[k]), static_cast<unsigned long long>(stats.pixels[k]));
  }
  std::printf("  (%llu copies from distance 0)\n", static_cast<unsigned long long>(stats.blackCopies));
  return 0;
}

}  // namespace

int run(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string verb = argv[1];
  int width = 0, height = 0;
  if (verb == "encode" && argc == 6) {
    if (!parseDimension(argv[2], width) || !parseDimension(argv[3], height)) return usage();
    std::vector<uint8_t> pixels;
    if (!readFile(argv[4], pixels)) {
      std::fprintf(stderr, "ggdpic: cannot read %s\n", argv[4]);
      return 1;
    }
    if (pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
      std::fprintf(stderr, "ggdpic: %s holds %zu bytes, a %d x %d picture needs %zu\n", argv[4], pixels.size(), width,
                   height, static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
      return 1;
    }
    return encodeAndWrite(width, height, pixels, argv[5]);
  }
  if (verb == "sample" && (argc == 6 || argc == 7)) {
    SamplePattern pattern;
    if (!parseSamplePattern(argv[2], pattern) || !parseDimension(argv[3], width) ||
        !parseDimension(argv[4], height)) {
      return usage();
    }
    uint32_t seed = argc == 7 ? static_cast<uint32_t>(std::strtoul(argv[6], nullptr, 10)) : 1;
    return encodeAndWrite(width, height, makeSamplePicture(pattern, width, height, seed), argv[5]);
  }
  return usage();
}

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    // The encoder keeps the whole picture and its units in memory: about 7 bytes a pixel.
    std::fprintf(stderr, "ggdpic: not enough memory for this picture\n");
    return 1;
  }
}
