#include "tools/spihost/host.h"

#include <cstring>

#include "tools/cli/files.h"
#include "tools/cli/text.h"
#include "tools/spihost/host_files.h"
#include "tools/spihost/plugin_folder.h"
#include "tools/spihost/verbs.h"

namespace spihost {

namespace {

constexpr int kInfoTextSize = 256;
// The head the host hands to IsSupported when it asks about a code.
constexpr size_t kHeadSize = 2048;

std::string infoText(const PluginExports& exports, int index) {
  if (exports.getPluginInfo == nullptr) return "";
  char text[kInfoTextSize] = {};
  int stored = exports.getPluginInfo(index, text, kInfoTextSize);
  if (stored <= 0 || stored > kInfoTextSize) return "";
  return cli::utf8FromAnsi(std::string(text, strnlen(text, static_cast<size_t>(stored))));
}

// What a warning about a switch may go by beside the plug-in's description: the command, and
// whether the plug-in has Unicode exports.
struct SwitchFacts {
  const Command& command;
  bool hasUnicodeExports;
};

bool offsetIntoFile(const SwitchFacts& facts) {
  const Command& command = facts.command;
  return command.offset != 0 && !command.memoryInput && command.inputBytes == nullptr;
}
bool stopCallbackGiven(const SwitchFacts& facts) { return facts.command.habits.stopCallback; }
bool nullCallbackGiven(const SwitchFacts& facts) { return facts.command.habits.nullCallback; }
bool noLockGiven(const SwitchFacts& facts) { return facts.command.habits.noLock; }
bool lengthFromSizeGiven(const SwitchFacts& facts) { return facts.command.habits.lengthFromSize; }
bool ansiWithoutUnicode(const SwitchFacts& facts) { return facts.command.ansiExports && !facts.hasUnicodeExports; }
bool overwriteOfNamedFile(const SwitchFacts& facts) {
  const Command& command = facts.command;
  return command.overwrite && command.destination == Destination::kMemory && command.selection != Selection::kAll;
}

// Plug-ins known by the start of their description.
constexpr const char* kAnyPlugin = "";
constexpr const char* kOslin = "GGA import plug-in";
constexpr const char* kGorsel = "Purple GGD to DIB filter";
constexpr const char* kDurnac = "MGX extract plug-in";

constexpr unsigned verbBit(Verb verb) { return 1u << static_cast<unsigned>(verb); }
constexpr unsigned kEveryVerb = ~0u;
constexpr unsigned kPictureInfoOnly = verbBit(Verb::kPictureInfo);
constexpr unsigned kPictureVerbs = verbBit(Verb::kPictureInfo) | verbBit(Verb::kDecode);
constexpr unsigned kArchiveVerbs = verbBit(Verb::kList) | verbBit(Verb::kExtract);

// Every switch that a plug-in, or the rest of the command, leaves without effect: the
// switch is accepted (it has an effect elsewhere) and the user is told.
struct IgnoredSwitch {
  bool (*given)(const SwitchFacts&);
  const char* plugin;  // the start of its description, or kAnyPlugin
  unsigned verbs;
  const char* note;
};

const IgnoredSwitch kIgnoredSwitches[] = {
    {offsetIntoFile, kOslin, kPictureVerbs,
     "this plug-in reads a picture file from its start and ignores --offset; add --memory to hand over the bytes "
     "from the offset on"},
    {offsetIntoFile, kDurnac, kArchiveVerbs, "this plug-in reads an archive file from its start and ignores --offset"},
    {stopCallbackGiven, kOslin, kEveryVerb,
     "this plug-in never calls the progress callback: --stop-callback has no effect"},
    {nullCallbackGiven, kOslin, kEveryVerb,
     "this plug-in never calls the progress callback: --null-callback has no effect"},
    {stopCallbackGiven, kDurnac, kEveryVerb,
     "this plug-in does not look at the progress callback's answer: --stop-callback cannot stop it"},
    {noLockGiven, kOslin, kPictureInfoOnly,
     "this plug-in hands over no comment block, the only block picinfo reads: --no-lock has no effect"},
    {noLockGiven, kGorsel, kPictureInfoOnly,
     "this plug-in hands over no comment block, the only block picinfo reads: --no-lock has no effect"},
    {lengthFromSizeGiven, kOslin, kPictureInfoOnly,
     "this plug-in hands over no comment block, the only block picinfo reads: --length-from-size has no effect"},
    {lengthFromSizeGiven, kGorsel, kPictureInfoOnly,
     "this plug-in hands over no comment block, the only block picinfo reads: --length-from-size has no effect"},
    {ansiWithoutUnicode, kAnyPlugin, kEveryVerb, "this plug-in has ANSI exports only: --ansi changes nothing"},
    {overwriteOfNamedFile, kAnyPlugin, verbBit(Verb::kExtract),
     "--to-memory OUT replaces OUT in any case: --overwrite changes nothing"},
};

}  // namespace

std::string explainCode(Call call, int code, const std::string& member) {
  bool picture = call == Call::kPictureInfo || call == Call::kPicture;
  const char* thing = picture ? "a picture" : "an archive";
  switch (code) {
    case spi::kNotSupported:
      switch (call) {
        case Call::kPictureInfo:
        case Call::kPicture:
        case Call::kArchiveInfo:
        case Call::kFileInfo:
          return "the plug-in does not take its input in this form (by name, or in memory with --memory): try "
                 "the other form";
        case Call::kFileToFolder:
          return "the plug-in writes no member " + member +
                 " into a folder: it extracts to memory only, has no such member, or cannot create the file";
        case Call::kFileToMemory: return "the plug-in has no member " + member + ", or does not extract to memory";
        case Call::kOther: break;
      }
      return "the plug-in does not support this call";
    case spi::kAborted: return "the plug-in stopped because the progress callback asked it to; nothing was kept";
    case spi::kUnknownFormat:
      if (call == Call::kFileInfo) return "the archive has no member " + member;
      return std::string("the file is not ") + thing + " in a format this plug-in knows";
    case spi::kDamaged:
      return picture ? "the picture is damaged: it is cut short or its sizes disagree"
                     : "the archive is damaged: its directory or a member runs past the end of the file";
    case spi::kNoMemory:
      return std::string("the plug-in ran out of memory: the file may claim ") + (picture ? "a picture" : "members") + " larger than it can hold";
    case spi::kLockFailed: return "the plug-in could not lock a memory block";
    case spi::kReadError: return "the plug-in cannot open or read the file";
    case spi::kInternalError:
      if (call == Call::kFileToFolder || call == Call::kFileToMemory) {
        return "the archive has no member " + member + ": the position lies outside it";
      }
      return "the plug-in could not learn the file's size";
    default: return "the plug-in answered a code the interface does not define";
  }
}

HostContext::HostContext(const Command& command, PluginModule& module, std::ostream& out, std::ostream& err,
                         const HostEnvironment& environment)
    : command(command), habits(command.habits), out(out), err(err), environment(environment), module_(module),
      exports_(lookUpExports(module, command.ansiExports)) {
  description_ = infoText(exports_, 1);
  hasUnicodeExports_ = command.ansiExports ? lookUpExports(module, false).unicode : exports_.unicode;
  typeName_ = infoText(exports_, 3);
}

bool HostContext::encodeName(const std::string& name, std::vector<char>& encoded) {
  if (!spihost::encodeName(name, exports_.unicode, encoded)) {
    fileError("the name " + name + " cannot be spelled in the system's ANSI code page, which the plug-in's " +
              (command.ansiExports ? "ANSI exports take: leave out --ansi" : "exports take (it has no Unicode ones)"));
    return false;
  }
  return true;
}

bool HostContext::prepareInput(PluginInput& input) {
  if (command.inputBytes != nullptr) {
    input.buf = reinterpret_cast<const char*>(command.inputBytes->data());
    input.len = static_cast<intptr_t>(command.inputBytes->size());
    input.flag = spi::kInputMemory;
    return true;
  }
  if (!command.memoryInput) {
    if (!encodeName(command.input, input.name)) return false;
    input.buf = input.name.data();
    input.len = static_cast<intptr_t>(command.offset);
    input.flag = spi::kInputFile;
    return true;
  }
  std::string error;
  if (!readFileFrom(command.input, command.offset, input.bytes, error)) {
    fileError(error);
    return false;
  }
  input.buf = reinterpret_cast<const char*>(input.bytes.data());
  input.len = static_cast<intptr_t>(input.bytes.size());
  input.flag = spi::kInputMemory;
  return true;
}

void HostContext::warnIgnoredSwitches() {
  SwitchFacts facts{command, hasUnicodeExports_};
  for (const IgnoredSwitch& rule : kIgnoredSwitches) {
    if (!(rule.verbs & verbBit(command.verb)) || !rule.given(facts)) continue;
    if (description_.compare(0, std::strlen(rule.plugin), rule.plugin) == 0) {
      err << "spihost: note: " << rule.note << "\n";
    }
  }
}

void HostContext::unloadIfAsked() {
  if (!habits.freeLibraryFirst) return;
  module_.close();
  exports_ = PluginExports();
}

int HostContext::missingExport(const char* name) {
  err << "spihost: " << command.plugin << " has no export " << name << "\n";
  return kExitLibrary;
}

bool HostContext::takesInput() {
  if (exports_.isSupported == nullptr || command.inputBytes != nullptr || command.input.empty()) return true;
  std::vector<uint8_t> head;
  std::string error;
  std::vector<char> name;
  if (!readFileHead(command.input, kHeadSize, head, error) || !spihost::encodeName(command.input, exports_.unicode, name)) {
    return true;
  }
  return exports_.isSupported(name.data(), reinterpret_cast<uintptr_t>(head.data())) != 0;
}

std::string HostContext::memberWords() const {
  if (command.selection == Selection::kName) return "named " + command.memberName;
  if (command.selection == Selection::kPosition) return "at position " + std::to_string(command.position);
  return "at that position";
}

int HostContext::pluginError(const char* exportName, int code) {
  err << "spihost: " << exportName << " failed: " << describeResult(code) << "\n";
  static const struct {
    const char* name;
    Call call;
  } kCalls[] = {{"GetPictureInfo", Call::kPictureInfo}, {"GetPicture", Call::kPicture},
                {"GetArchiveInfo", Call::kArchiveInfo}, {"GetFileInfo", Call::kFileInfo}};
  Call call = Call::kOther;
  for (const auto& entry : kCalls) {
    if (std::strcmp(entry.name, exportName) == 0) call = entry.call;
  }
  if (std::strcmp(exportName, "GetFile") == 0) {
    call = command.destination == Destination::kFolder && !command.decodeMembers ? Call::kFileToFolder
                                                                                 : Call::kFileToMemory;
  }
  std::string subject = command.input.empty() ? "the input" : command.input;
  bool unknownPossible = code == spi::kUnknownFormat || code == spi::kNoMemory;
  if (unknownPossible && call != Call::kFileInfo && !command.habits.freeLibraryFirst && !takesInput()) {
    err << "spihost: " << subject << " is not a file this plug-in takes"
        << (typeName_.empty() ? std::string() : " (it reads: " + typeName_ + ")") << "\n";
  } else {
    err << "spihost: " << subject << ": " << explainCode(call, code, memberWords()) << "\n";
  }
  return kExitPluginError;
}

int HostContext::pluginFault(const std::string& what) {
  err << "spihost: plug-in fault: " << what << "\n";
  return kExitPluginFault;
}

int HostContext::fileError(const std::string& what) {
  err << "spihost: " << what << "\n";
  return kExitFileError;
}

int HostContext::expectRefusal(const std::string& call, int code) {
  if (code == spi::kSuccess) return pluginFault(call + " answered 0 (success)");
  out << call << ": refused with " << describeResult(code) << "\n";
  return kExitOk;
}

}  // namespace spihost
