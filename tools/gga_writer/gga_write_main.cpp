// gga_write: encodes a raw picture or a generated test picture as a GGA file.
//
//   gga_write raw <pixels.raw> <width> <height> <out.gg0>
//   gga_write test <noise|gradient|flat|rows|photo|mixed> <width> <height> <out.gg0> [seed]
//
// A raw picture is width x height pixels of 4 bytes (blue, green, red, fourth byte), top
// row first, with nothing else in the file.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/test_pictures.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: gga_write raw <pixels.raw> <width> <height> <out.gg0>\n"
               "       gga_write test <noise|gradient|flat|rows|photo|mixed> <width> <height> <out.gg0> [seed]\n");
  return 2;
}

bool parseDimension(const char* text, uint32_t& value) {
  char* end = nullptr;
  unsigned long v = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || v == 0 || v > gga_writer::kMaxDimension) return false;
  value = static_cast<uint32_t>(v);
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

void printCounts(const gga_writer::CodeCounts& counts) {
  std::printf("codes:");
  for (int code = 0; code <= 11; ++code) std::printf(" %d:%llu", code, static_cast<unsigned long long>(counts.perCode[code]));
  std::printf(" literal:%llu\n", static_cast<unsigned long long>(counts.literals()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6 || argc > 7) return usage();
  const std::string mode = argv[1];
  uint32_t width = 0, height = 0;
  if (!parseDimension(argv[3], width) || !parseDimension(argv[4], height)) return usage();

  std::vector<uint8_t> pixels;
  if (mode == "raw" && argc == 6) {
    if (!readFile(argv[2], pixels)) {
      std::fprintf(stderr, "gga_write: cannot read %s\n", argv[2]);
      return 1;
    }
    if (pixels.size() != static_cast<uint64_t>(width) * height * 4) {
      std::fprintf(stderr, "gga_write: %s holds %zu bytes, not %u x %u x 4\n", argv[2], pixels.size(), width, height);
      return 1;
    }
  } else if (mode == "test") {
    gga_writer::TestPattern pattern;
    if (!gga_writer::parseTestPattern(argv[2], pattern)) return usage();
    uint32_t seed = argc == 7 ? static_cast<uint32_t>(std::strtoul(argv[6], nullptr, 10)) : 1;
    pixels = gga_writer::makeTestPicture(pattern, width, height, seed);
  } else {
    return usage();
  }

  std::vector<uint8_t> file;
  gga_writer::CodeCounts counts;
  if (!gga_writer::encodeGga(pixels.data(), width, height, file, {}, &counts) || !writeFile(argv[5], file)) {
    std::fprintf(stderr, "gga_write: cannot write %s\n", argv[5]);
    return 1;
  }
  std::printf("%s: %u x %u, %zu bytes of pixels in %zu bytes\n", argv[5], width, height, pixels.size(), file.size());
  printCounts(counts);
  return 0;
}
