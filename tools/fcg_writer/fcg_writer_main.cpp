// fcg_writer: builds an FCG container.
//
//   fcg_writer OUTPUT.fcg IMAGE.gga...          one entry per GGA file (header + its data)
//   fcg_writer --synthetic COUNT WxH OUTPUT.fcg COUNT gradient pictures of W x H pixels
//   fcg_writer --gga WxH SEED OUTPUT.gga        one gradient picture as a GGA file
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli/exit_codes.h"
#include "tools/cli/files.h"
#include "tools/cli/tool_main.h"
#include "tools/fcg_writer/fcg_writer.h"

namespace {

const cli::ToolInfo kInfo = {
    "fcg_writer",
    "fcg_writer: builds an FCG container, the file Vantrel splits into GGA pictures.\n"
    "\n"
    "usage:\n"
    "  fcg_writer OUTPUT.fcg IMAGE.gg0...       one entry per GGA file\n"
    "  fcg_writer --synthetic COUNT WxH OUTPUT.fcg\n"
    "                                           COUNT gradient pictures of W x H pixels\n"
    "  fcg_writer --gga WxH SEED OUTPUT.gg0     one gradient picture as a GGA file\n"
    "  fcg_writer --version | --help\n"
    "\n"
    "Exit codes: 0 done, 1 bad command line, 4 a file cannot be read, understood or written.\n"};

// A GGA file read whole is far below this.
constexpr uint64_t kMaxInput = 0xFFFFFFFFu;

bool parseSize(const std::string& text, uint16_t* width, uint16_t* height) {
  unsigned long w = 0, h = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%lux%lu%c", &w, &h, &tail) != 2 || w == 0 || h == 0 || w > 65535 || h > 65535) {
    return false;
  }
  *width = static_cast<uint16_t>(w);
  *height = static_cast<uint16_t>(h);
  return true;
}

int write(const std::string& path, const std::string& bytes, const char* what) {
  std::string error;
  if (!cli::writeFileSafely(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), true, error)) {
    return cli::fileError(kInfo, error);
  }
  std::cout << what << ": " << path << " (" << bytes.size() << " bytes)\n";
  return cli::kExitOk;
}

int synthetic(const std::vector<std::string>& args) {
  uint16_t width, height;
  char* end = nullptr;
  long count = args.size() == 4 ? std::strtol(args[1].c_str(), &end, 10) : -1;
  if (count < 0 || count > 100000 || *end != '\0' || !parseSize(args[2], &width, &height)) {
    return cli::usageError(kInfo, "--synthetic takes COUNT (0 to 100000), WxH and OUTPUT.fcg");
  }
  std::vector<fcg_writer::Image> images;
  for (long i = 0; i < count; ++i) {
    fcg_writer::Image image;
    fcg_writer::imageFromGga(fcg_writer::syntheticGga(width, height, static_cast<uint32_t>(i)), &image);
    images.push_back(image);
  }
  return write(args[3], fcg_writer::buildContainer(images), "container");
}

int gga(const std::vector<std::string>& args) {
  uint16_t width, height;
  if (args.size() != 4 || !parseSize(args[1], &width, &height)) {
    return cli::usageError(kInfo, "--gga takes WxH, SEED and OUTPUT.gg0");
  }
  uint32_t seed = static_cast<uint32_t>(std::strtoul(args[2].c_str(), nullptr, 10));
  return write(args[3], fcg_writer::syntheticGga(width, height, seed), "picture");
}

int run(const cli::ToolInfo& info, const std::vector<std::string>& args) {
  if (!args.empty() && args[0] == "--synthetic") return synthetic(args);
  if (!args.empty() && args[0] == "--gga") return gga(args);
  if (args.size() < 2) return cli::usageError(info, "give the container and at least one GGA file");
  std::vector<fcg_writer::Image> images;
  for (size_t i = 1; i < args.size(); ++i) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!cli::readWholeFile(args[i], kMaxInput, bytes, error)) return cli::fileError(info, error);
    fcg_writer::Image image;
    if (!fcg_writer::imageFromGga(std::string(bytes.begin(), bytes.end()), &image)) {
      return cli::fileError(info, args[i] + " is no readable GGA file (48-byte header + dataSize bytes)");
    }
    images.push_back(image);
  }
  return write(args[0], fcg_writer::buildContainer(images), "container");
}

}  // namespace

int main(int argc, char** argv) { return cli::runTool(argc, argv, kInfo, run); }
