// The verbs of image plug-ins: GetPictureInfo and GetPicture.
#include <cstring>

#include "tools/cli/files.h"
#include "tools/cli/stop.h"
#include "tools/spihost/dib_image.h"
#include "tools/spihost/host_files.h"
#include "tools/spihost/host_memory.h"
#include "tools/spihost/progress.h"
#include "tools/spihost/verbs.h"

namespace spihost {

namespace {

std::string hex(uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

// The comment block that a PictureInfo may name. Its text ends at a NUL, or at the end of
// the block for hosts that go by its size.
int printComment(HostContext& context, spi::RecordHandle handle) {
  if (handle == 0) {
    context.out << "comment: none\n";
    return kExitOk;
  }
  if (sizeof(spi::RecordHandle) < sizeof(void*)) {
    // The record's field is narrower than an address here: whatever it holds cannot be a
    // block of this process, and following it would crash the host.
    context.out << "comment: handle " << hex(handle) << " (too narrow to follow on this platform)\n";
    return kExitOk;
  }
  HandedBlock block(reinterpret_cast<void*>(static_cast<uintptr_t>(handle)));
  BlockView view(block, !context.habits.noLock);
  if (!view.ok()) return context.pluginFault("comment block: " + view.problem());
  const char* text = reinterpret_cast<const char*>(view.data());
  size_t length = static_cast<size_t>(view.size());
  if (!context.habits.lengthFromSize) length = strnlen(text, length);
  context.out << "comment: " << std::string(text, length) << "\n";
  return kExitOk;
}

// What the host writes: PNG pixels, or the bitmap as it came in a BMP file.
bool convertBitmap(HostContext& context, const DibLayout& layout, const BlockView& info, const BlockView& bits,
                   uint64_t bitsLength, std::vector<uint8_t>& file, std::string& problem) {
  if (context.command.imageFormat == ImageFormat::kBmp) {
    file = makeBmpFile(layout, info.data(), bits.data(), bitsLength);
    if (file.empty()) problem = "the bitmap does not fit a BMP file";
    return !file.empty();
  }
  file = dibToPng(layout, info.data(), bits.data(), bitsLength, problem);
  return !file.empty();
}

// Reads the two handed-over blocks as the habits say and writes the image file.
int writePicture(HostContext& context, const HandedBlock& infoBlock, const HandedBlock& bitsBlock) {
  bool lengthFromSize = context.habits.lengthFromSize;
  BlockView info(infoBlock, !context.habits.noLock);
  BlockView bits(bitsBlock, !context.habits.noLock);
  if (!info.ok()) return context.pluginFault("information block: " + info.problem());
  if (!bits.ok()) return context.pluginFault("bits block: " + bits.problem());
  DibLayout layout;
  std::string problem;
  if (!readDibLayout(info.data(), info.size(), lengthFromSize, layout, problem)) return context.pluginFault(problem);
  if (layout.bitsBytes > bits.size()) {
    return context.pluginFault("bits block of " + std::to_string(bits.size()) + " bytes is shorter than the " +
                               std::to_string(layout.bitsBytes) + " bytes the header needs");
  }
  uint64_t bitsLength = lengthFromSize ? bits.size() : layout.bitsBytes;
  std::vector<uint8_t> file;
  if (!convertBitmap(context, layout, info, bits, bitsLength, file, problem)) return context.pluginFault(problem);
  std::string error;
  // Through a temporary name: a failed write leaves no partial picture under the name.
  if (!cli::writeFileSafely(context.command.output, file.data(), file.size(), true, error)) {
    return context.fileError(error);
  }
  context.out << "wrote " << context.command.output << ": " << layout.width << " x " << layout.height << ", "
              << layout.bitCount << " bits per pixel (information block " << info.size() << " bytes, bits block "
              << bits.size() << " bytes)\n";
  return kExitOk;
}

// A failed call must leave the host's handle variables as they were.
int failedPicture(HostContext& context, int code, void* infoHandle, void* bitsHandle) {
  if (infoHandle != nullptr || bitsHandle != nullptr) {
    context.pluginError("GetPicture", code);
    return context.pluginFault("GetPicture failed yet stored a handle");
  }
  return context.pluginError("GetPicture", code);
}

int progressFault(HostContext& context, const ProgressLog& progress) {
  return progress.anomaly().empty() ? kExitOk : context.pluginFault(progress.anomaly());
}

}  // namespace

int runPictureInfo(HostContext& context) {
  GetPictureInfoFn getPictureInfo = context.exports().getPictureInfo;
  if (getPictureInfo == nullptr) return context.missingExport("GetPictureInfo");
  PluginInput input;
  if (!context.prepareInput(input)) return kExitFileError;
  if (context.habits.nullOut) {
    int code = getPictureInfo(input.buf, input.len, input.flag, nullptr);
    context.unloadIfAsked();
    return context.expectRefusal("GetPictureInfo with a null record", code);
  }
  spi::PictureInfo info;
  std::memset(&info, 0, sizeof info);
  int code = getPictureInfo(input.buf, input.len, input.flag, &info);
  context.unloadIfAsked();
  if (code != spi::kSuccess) return context.pluginError("GetPictureInfo", code);
  context.out << "width: " << info.width << "\n"
              << "height: " << info.height << "\n"
              << "depth: " << info.colorDepth << " bits per pixel\n"
              << "position: " << info.left << ", " << info.top << "\n"
              << "density: " << info.x_density << " x " << info.y_density << "\n";
  return printComment(context, info.hInfo);
}

int runDecode(HostContext& context) {
  GetPictureFn getPicture = context.exports().getPicture;
  if (getPicture == nullptr) return context.missingExport("GetPicture");
  PluginInput input;
  if (!context.prepareInput(input)) return kExitFileError;
  ProgressLog progress(context.err, context.habits.stopCallback, context.environment.showProgress);
  spi::ProgressCallback callback = context.habits.nullCallback ? nullptr : ProgressLog::callback();
  spi::UserData userData = progress.userData();

  if (context.habits.nullOut) {
    int code = getPicture(input.buf, input.len, input.flag, nullptr, nullptr, callback, userData);
    progress.finish();
    context.unloadIfAsked();
    int result = context.expectRefusal("GetPicture with null handle pointers", code);
    return result != kExitOk ? result : progressFault(context, progress);
  }
  void* infoHandle = nullptr;
  void* bitsHandle = nullptr;
  int code = getPicture(input.buf, input.len, input.flag, &infoHandle, &bitsHandle, callback, userData);
  progress.finish();
  if (cli::stopRequested()) {
    // Ctrl-C: nothing is written; the handles are the host's to free.
    HandedBlock infoBlock(infoHandle), bitsBlock(bitsHandle);
    return cli::kExitStopped;
  }
  if (code != spi::kSuccess) {
    context.unloadIfAsked();
    return failedPicture(context, code, infoHandle, bitsHandle);
  }
  HandedBlock infoBlock(infoHandle);
  HandedBlock bitsBlock(bitsHandle);
  context.unloadIfAsked();
  if (infoBlock.empty() || bitsBlock.empty()) return context.pluginFault("GetPicture answered 0 without both handles");
  int result = progressFault(context, progress);
  if (result != kExitOk) return result;
  if (progress.stopsAsked() > 0) {
    context.err << "spihost: note: the plug-in went on although the callback asked it to stop\n";
  }
  return writePicture(context, infoBlock, bitsBlock);
}

}  // namespace spihost
