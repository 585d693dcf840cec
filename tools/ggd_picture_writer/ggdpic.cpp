// ggdpic: writes GGD pictures.
//
//   ggdpic IMAGE OUT.ggd                              a PNG, JPEG or BMP picture
//   ggdpic encode <width> <height> <pixels.bgr> <out.ggd>
//       encodes raw pixels: blue, green, red bytes, top row first, width x 3 bytes a row
//   ggdpic sample <noise|gradient|flat|photo|mixed> <width> <height> <out.ggd> [seed]
//       encodes a generated picture
//
// It prints the operations used and the sizes.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli/exit_codes.h"
#include "tools/cli/files.h"
#include "tools/cli/picture_input.h"
#include "tools/cli/tool_main.h"
#include "tools/ggd_picture_writer/ggd_picture_writer.h"
#include "tools/ggd_picture_writer/sample_pictures.h"

using namespace ggd_picture_writer;

namespace {

const cli::ToolInfo kInfo = {
    "ggdpic",
    "ggdpic: writes a GGD picture (.ggd), the format Gorsel reads.\n"
    "\n"
    "usage:\n"
    "  ggdpic IMAGE OUT.ggd           from a PNG, JPEG or BMP picture (alpha is dropped)\n"
    "  ggdpic encode WIDTH HEIGHT PIXELS OUT.ggd\n"
    "                                 from raw pixels: blue, green, red bytes, top row first\n"
    "  ggdpic sample noise|gradient|flat|photo|mixed WIDTH HEIGHT OUT.ggd [SEED]\n"
    "                                 a generated picture\n"
    "  ggdpic --version | --help\n"
    "\n"
    "Width and height run from 1 to 32767. Exit codes: 0 done, 1 bad command line, 4 a file\n"
    "cannot be read, understood or written.\n"};

bool parseDimension(const std::string& text, int& value) {
  char* end = nullptr;
  long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < 1 || parsed > kMaxDimension) return false;
  value = static_cast<int>(parsed);
  return true;
}

int encodeAndWrite(int width, int height, const std::vector<uint8_t>& pixels, const std::string& outPath) {
  EncodeStats stats;
  std::vector<uint8_t> file = encodeGgdPicture(width, height, pixels.data(), &stats);
  if (file.empty()) {
    return cli::fileError(kInfo, "a " + std::to_string(width) + " x " + std::to_string(height) +
                                     " picture is too large to write (sides of 1 to 32767)");
  }
  std::string error;
  if (!cli::writeFileSafely(outPath, file.data(), file.size(), true, error)) return cli::fileError(kInfo, error);
  static const char* const kNames[kOpKinds] = {"repeat", "copy near", "copy far", "copy 1 near", "copy 1 far",
                                               "literal"};
  std::cout << outPath << ": " << width << " x " << height << ", bitmap " << bitmapBytes(width, height)
            << " bytes, file " << file.size() << " bytes\n";
  for (int k = 0; k < kOpKinds; ++k) {
    char line[96];
    std::snprintf(line, sizeof line, "  %-12s %10llu operations %12llu pixels\n", kNames[k],
                  static_cast<unsigned long long>(stats.operations[k]),
                  static_cast<unsigned long long>(stats.pixels[k]));
    std::cout << line;
  }
  std::cout << "  (" << stats.blackCopies << " copies from distance 0)\n";
  return cli::kExitOk;
}

int fromPicture(const std::vector<std::string>& args) {
  cli::Picture picture;
  std::string error;
  if (!cli::readPicture(args[0], picture, error)) return cli::fileError(kInfo, error);
  if (picture.width > static_cast<uint32_t>(kMaxDimension) || picture.height > static_cast<uint32_t>(kMaxDimension)) {
    return cli::fileError(kInfo, args[0] + " is larger than 32767 pixels a side");
  }
  return encodeAndWrite(static_cast<int>(picture.width), static_cast<int>(picture.height), cli::bgrOf(picture),
                        args[1]);
}

int fromRaw(const std::vector<std::string>& args) {
  int width = 0, height = 0;
  if (!parseDimension(args[1], width) || !parseDimension(args[2], height)) {
    return cli::usageError(kInfo, "width and height run from 1 to 32767");
  }
  std::vector<uint8_t> pixels;
  std::string error;
  uint64_t expected = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3;
  if (!cli::readWholeFile(args[3], expected, pixels, error)) return cli::fileError(kInfo, error);
  if (pixels.size() != expected) {
    return cli::fileError(kInfo, args[3] + " holds " + std::to_string(pixels.size()) + " bytes, a " +
                                     std::to_string(width) + " x " + std::to_string(height) + " picture needs " +
                                     std::to_string(expected));
  }
  return encodeAndWrite(width, height, pixels, args[4]);
}

int fromSample(const std::vector<std::string>& args) {
  SamplePattern pattern;
  int width = 0, height = 0;
  if (!parseSamplePattern(args[1], pattern)) return cli::usageError(kInfo, "unknown pattern " + args[1]);
  if (!parseDimension(args[2], width) || !parseDimension(args[3], height)) {
    return cli::usageError(kInfo, "width and height run from 1 to 32767");
  }
  uint32_t seed = args.size() == 6 ? static_cast<uint32_t>(std::strtoul(args[5].c_str(), nullptr, 10)) : 1;
  return encodeAndWrite(width, height, makeSamplePicture(pattern, width, height, seed), args[4]);
}

int run(const cli::ToolInfo&, const std::vector<std::string>& args) {
  if (args.size() == 2) return fromPicture(args);
  if (args.size() == 5 && args[0] == "encode") return fromRaw(args);
  if ((args.size() == 5 || args.size() == 6) && args[0] == "sample") return fromSample(args);
  return cli::usageError(kInfo, args.empty() ? "no picture given" : "unknown command line");
}

}  // namespace

int main(int argc, char** argv) { return cli::runTool(argc, argv, kInfo, run); }
