// The verbs every plug-in answers: its information table and IsSupported.
#include <cstring>
#include <vector>

#include "platform/win32.h"
#include "tools/cli/text.h"
#include "tools/spihost/host_files.h"
#include "tools/spihost/plugin_folder.h"
#include "tools/spihost/verbs.h"

namespace spihost {

namespace {

// The table has four entries in our plug-ins; a plug-in that never answers 0 is cut here.
constexpr int kMaxInfoEntries = 64;
constexpr int kInfoBufferSize = 256;

struct KindName {
  const char* tag;
  const char* kind;
};

const KindName kKinds[] = {{"00IN", "image plug-in"}, {"00AM", "archive plug-in"}};

const char* kindOf(const std::string& tag) {
  for (const KindName& kind : kKinds) {
    if (tag == kind.tag) return kind.kind;
  }
  return "unknown kind";
}

// Exports the kind promises and the library lacks, or empty.
std::string missingForKind(const std::string& tag, const PluginExports& exports) {
  std::string missing;
  auto need = [&missing](bool present, const char* name) {
    if (!present) missing += std::string(missing.empty() ? "" : " ") + name;
  };
  if (tag == "00IN") {
    need(exports.isSupported != nullptr, "IsSupported");
    need(exports.getPictureInfo != nullptr, "GetPictureInfo");
    need(exports.getPicture != nullptr, "GetPicture");
  } else if (tag == "00AM") {
    need(exports.isSupported != nullptr, "IsSupported");
    need(exports.getArchiveInfo != nullptr, "GetArchiveInfo");
    need(exports.getFileInfo != nullptr, "GetFileInfo");
    need(exports.getFile != nullptr, "GetFile");
  }
  return missing;
}

int refuseNullBuffers(HostContext& context) {
  for (int infono = 0; infono < kMaxInfoEntries; ++infono) {
    int stored = context.exports().getPluginInfo(infono, nullptr, kInfoBufferSize);
    if (stored != 0) {
      return context.pluginFault("GetPluginInfo(" + std::to_string(infono) + ") with a null buffer answered " +
                                 std::to_string(stored));
    }
  }
  context.unloadIfAsked();
  context.out << "GetPluginInfo with a null buffer: 0 for every index\n";
  return kExitOk;
}

std::string answerText(int answer) { return std::to_string(answer) + (answer ? " (accepted)" : " (not accepted)"); }

}  // namespace

int runInfo(HostContext& context) {
  GetPluginInfoFn getPluginInfo = context.exports().getPluginInfo;
  if (getPluginInfo == nullptr) return context.missingExport("GetPluginInfo");
  if (context.habits.nullOut) return refuseNullBuffers(context);
  std::vector<std::string> entries;
  for (int infono = 0; infono < kMaxInfoEntries; ++infono) {
    char buffer[kInfoBufferSize] = {};
    int stored = getPluginInfo(infono, buffer, kInfoBufferSize);
    if (stored == 0) break;
    if (stored < 0 || stored > kInfoBufferSize) {
      return context.pluginFault("GetPluginInfo(" + std::to_string(infono) + ") answered " + std::to_string(stored) +
                                 " for a buffer of " + std::to_string(kInfoBufferSize) + " bytes");
    }
    // A text cut to the buffer may lack its terminator; the count bounds it.
    entries.emplace_back(buffer, strnlen(buffer, static_cast<size_t>(stored)));
  }
  std::string exportNames = context.exports().names;
  std::string missing = entries.empty() ? "" : missingForKind(entries[0], context.exports());
  context.unloadIfAsked();
  if (entries.empty()) return context.pluginFault("GetPluginInfo(0) stored nothing: no kind tag");
  context.out << "kind: " << entries[0] << " (" << kindOf(entries[0]) << ")\n";
  for (size_t i = 0; i < entries.size(); ++i) context.out << i << ": " << entries[i] << "\n";
  context.out << "exports: " << exportNames << "\n";
  if (!missing.empty()) return context.pluginFault("a plug-in of kind " + entries[0] + " lacks " + missing);
  return kExitOk;
}

int runProbe(HostContext& context) {
  IsSupportedFn isSupported = context.exports().isSupported;
  if (isSupported == nullptr) return context.missingExport("IsSupported");
  const std::string& path = context.command.input;
  std::vector<char> name;
  if (!context.encodeName(path, name)) return kExitFileError;

  HANDLE file = CreateFileW(cli::wideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return context.fileError("cannot open " + path);
  uintptr_t handleValue = reinterpret_cast<uintptr_t>(file);
  // Plug-ins tell a handle from an address by its value alone.
  if (!spi::isProbeHandle(handleValue)) {
    CloseHandle(file);
    return context.fileError("the file handle is above 0xFFFF and would pass for an address");
  }
  int byHandle = isSupported(name.data(), handleValue);
  CloseHandle(file);

  std::vector<uint8_t> head;
  std::string error;
  if (!readFileHead(path, kProbeHeadSize, head, error)) return context.fileError(error);
  int byAddress = isSupported(name.data(), reinterpret_cast<uintptr_t>(head.data()));
  context.unloadIfAsked();

  context.out << "handle: " << answerText(byHandle) << "\n";
  context.out << "memory: " << answerText(byAddress) << "\n";
  return byHandle != 0 && byAddress != 0 ? kExitOk : kExitNotAccepted;
}

}  // namespace spihost
