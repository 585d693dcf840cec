// gga_write: encodes a picture as a GGA file.
//
//   gga_write IMAGE OUT.gg0                    a PNG, JPEG or BMP picture
//   gga_write raw <pixels.raw> <width> <height> <out.gg0>
//   gga_write test <noise|gradient|flat|rows|photo|mixed> <width> <height> <out.gg0> [seed]
//
// A raw picture is width x height pixels of 4 bytes (blue, green, red, fourth byte), top
// row first, with nothing else in the file.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli/exit_codes.h"
#include "tools/cli/files.h"
#include "tools/cli/picture_input.h"
#include "tools/cli/tool_main.h"
#include "tools/gga_writer/gga_writer.h"
#include "tools/gga_writer/test_pictures.h"

namespace {

const cli::ToolInfo kInfo = {
    "gga_write",
    "gga_write: writes a GGA picture (.gg0), the format Oslin reads.\n"
    "\n"
    "usage:\n"
    "  gga_write IMAGE OUT.gg0        from a PNG, JPEG or BMP picture (its alpha kept as the\n"
    "                                 fourth byte)\n"
    "  gga_write raw PIXELS WIDTH HEIGHT OUT.gg0\n"
    "                                 from raw pixels: 4 bytes each (blue, green, red, fourth\n"
    "                                 byte), top row first\n"
    "  gga_write test noise|gradient|flat|rows|photo|mixed WIDTH HEIGHT OUT.gg0 [SEED]\n"
    "                                 a generated test picture\n"
    "  gga_write --version | --help\n"
    "\n"
    "Width and height run from 1 to 65535. Exit codes: 0 done, 1 bad command line, 4 a file\n"
    "cannot be read, understood or written.\n"};

bool parseDimension(const std::string& text, uint32_t& value) {
  char* end = nullptr;
  unsigned long v = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v == 0 || v > gga_writer::kMaxDimension) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

void printCounts(const gga_writer::CodeCounts& counts) {
  std::cout << "codes:";
  for (int code = 0; code <= 11; ++code) std::cout << " " << code << ":" << counts.perCode[code];
  std::cout << " literal:" << counts.literals() << "\n";
}

int encodeAndWrite(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, const std::string& out) {
  std::vector<uint8_t> file;
  gga_writer::CodeCounts counts;
  if (!gga_writer::encodeGga(pixels.data(), width, height, file, {}, &counts)) {
    return cli::fileError(kInfo, "a " + std::to_string(width) + " x " + std::to_string(height) +
                                     " picture does not fit a GGA file (sides of 1 to 65535)");
  }
  std::string error;
  if (!cli::writeFileSafely(out, file.data(), file.size(), true, error)) return cli::fileError(kInfo, error);
  std::cout << out << ": " << width << " x " << height << ", " << pixels.size() << " bytes of pixels in "
            << file.size() << " bytes\n";
  printCounts(counts);
  return cli::kExitOk;
}

int fromPicture(const std::vector<std::string>& args) {
  cli::Picture picture;
  std::string error;
  if (!cli::readPicture(args[0], picture, error)) return cli::fileError(kInfo, error);
  return encodeAndWrite(picture.bgra, picture.width, picture.height, args[1]);
}

int fromRaw(const std::vector<std::string>& args) {
  uint32_t width = 0, height = 0;
  if (!parseDimension(args[2], width) || !parseDimension(args[3], height)) {
    return cli::usageError(kInfo, "width and height run from 1 to 65535");
  }
  std::vector<uint8_t> pixels;
  std::string error;
  uint64_t expected = static_cast<uint64_t>(width) * height * 4;
  if (!cli::readWholeFile(args[1], expected, pixels, error)) return cli::fileError(kInfo, error);
  if (pixels.size() != expected) {
    return cli::fileError(kInfo, args[1] + " holds " + std::to_string(pixels.size()) + " bytes, not " +
                                     std::to_string(width) + " x " + std::to_string(height) + " x 4");
  }
  return encodeAndWrite(pixels, width, height, args[4]);
}

int fromTest(const std::vector<std::string>& args) {
  uint32_t width = 0, height = 0;
  gga_writer::TestPattern pattern;
  if (!gga_writer::parseTestPattern(args[1], pattern)) return cli::usageError(kInfo, "unknown pattern " + args[1]);
  if (!parseDimension(args[2], width) || !parseDimension(args[3], height)) {
    return cli::usageError(kInfo, "width and height run from 1 to 65535");
  }
  uint32_t seed = args.size() == 6 ? static_cast<uint32_t>(std::strtoul(args[5].c_str(), nullptr, 10)) : 1;
  return encodeAndWrite(gga_writer::makeTestPicture(pattern, width, height, seed), width, height, args[4]);
}

int run(const cli::ToolInfo&, const std::vector<std::string>& args) {
  if (args.size() == 2) return fromPicture(args);
  if (args.size() == 5 && args[0] == "raw") return fromRaw(args);
  if ((args.size() == 5 || args.size() == 6) && args[0] == "test") return fromTest(args);
  return cli::usageError(kInfo, args.empty() ? "no picture given" : "unknown command line");
}

}  // namespace

int main(int argc, char** argv) { return cli::runTool(argc, argv, kInfo, run); }
