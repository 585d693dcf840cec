// The host's top level: the plug-in named on the command line or chosen from the plug-in
// folder for each file, and batches of files.
#include <memory>
#include <set>
#include <sstream>

#include "platform/win32.h"
#include "tools/cli/files.h"
#include "tools/cli/stop.h"
#include "tools/spihost/host.h"
#include "tools/spihost/host_memory.h"
#include "tools/spihost/plugin_folder.h"
#include "tools/spihost/verbs.h"

namespace spihost {

namespace {

// A batch shows which file it is at once it has run this long.
constexpr uint32_t kBatchQuietMilliseconds = 1000;

std::string kindWords(const std::string& kind) { return kind == kImageKind ? "picture" : "archive"; }

// The host's own checks of an input, before any plug-in sees it.
int checkInput(const std::string& path, std::ostream& err) {
  switch (cli::pathKind(path)) {
    case cli::PathKind::kMissing: err << "spihost: cannot open " << path << ": no such file\n"; return kExitFileError;
    case cli::PathKind::kFolder: err << "spihost: " << path << " is a folder, not a file\n"; return kExitFileError;
    case cli::PathKind::kFile: break;
  }
  return kExitOk;
}

int runVerb(HostContext& context) {
  switch (context.command.verb) {
    case Verb::kInfo: return runInfo(context);
    case Verb::kProbe: return runProbe(context);
    case Verb::kPictureInfo: return runPictureInfo(context);
    case Verb::kDecode: return runDecode(context);
    case Verb::kList: return runList(context);
    case Verb::kExtract: return runExtract(context);
    case Verb::kHelp:
    case Verb::kVersion:
    case Verb::kWhich: break;
  }
  return kExitOk;
}

// "DIR/name.png" for "some/where/name.gg0"; a name already given to an earlier input of the
// batch keeps the input's extension ("name.gg1.png") instead of overwriting it.
std::string batchOutput(const Command& command, const std::string& input, std::vector<std::string>& taken) {
  std::string name = cli::fileNameOf(input);
  std::string extension = command.imageFormat == ImageFormat::kBmp ? ".bmp" : ".png";
  size_t dot = name.find_last_of('.');
  std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  std::string candidate = stem + extension;
  for (const std::string& used : taken) {
    if (used == candidate) candidate = name + extension;
  }
  taken.push_back(candidate);
  return cli::joinPath(command.outputFolder, candidate);
}

// On a terminal, once a batch has run for a second, each file's lines begin with
// "[3/120] name: ", so that the user sees how far it has come.
class BatchProgress {
 public:
  BatchProgress(std::ostream& err, bool show, size_t total)
      : err_(err), show_(show && total > 1), total_(total), start_(GetTickCount()) {}
  void at(size_t index, const std::string& name) {
    if (!show_ || GetTickCount() - start_ < kBatchQuietMilliseconds) return;
    err_ << "[" << index + 1 << "/" << total_ << "] " << name << ": " << std::flush;
  }

 private:
  std::ostream& err_;
  bool show_;
  size_t total_;
  uint32_t start_;
};

class Host {
 public:
  Host(const Command& command, std::ostream& out, std::ostream& err, const HostEnvironment& environment)
      : command_(command), out_(out), err_(err), environment_(environment) {}

  int run() {
    if (!command_.outputFolder.empty()) {
      std::string error;
      if (!cli::makeFolders(command_.outputFolder, error)) {
        err_ << "spihost: " << error << "\n";
        return kExitFileError;
      }
    }
    if (!command_.plugin.empty()) return runNamed();
    if (!folder_.load(folderPath(), command_.ansiExports, err_)) return kExitLibrary;
    if (command_.verb == Verb::kInfo) return describeFolder();
    if (command_.verb == Verb::kProbe) return probeFolder();
    return forEachInput([this](Command& command) { return runChosen(command); });
  }

 private:
  std::string folderPath() const {
    return command_.pluginFolder.empty() ? cli::programFolder() : command_.pluginFolder;
  }

  template <typename Work>
  int forEachInput(Work work) {
    int result = kExitOk;
    std::vector<std::string> taken;
    BatchProgress progress(err_, environment_.showProgress, command_.inputs.size());
    for (size_t i = 0; i < command_.inputs.size() && !cli::stopRequested(); ++i) {
      progress.at(i, command_.inputs[i]);
      Command command = command_;
      command.input = command_.inputs[i];
      if (!command_.outputFolder.empty()) command.output = batchOutput(command_, command.input, taken);
      int code = checkInput(command.input, err_);
      if (code == kExitOk) code = work(command);
      if (result == kExitOk) result = code;
    }
    return result;
  }

  int runNamed() {
    PluginModule module;
    std::string error;
    if (!module.open(command_.plugin, error)) {
      err_ << "spihost: cannot load plug-in library " << command_.plugin << ": " << error << "\n";
      return kExitLibrary;
    }
    if (command_.verb == Verb::kInfo) return runWith(command_, module);
    return forEachInput([&](Command& command) {
      if (!module.loaded() && !module.open(command.plugin, error)) {
        err_ << "spihost: cannot load plug-in library " << command.plugin << ": " << error << "\n";
        return static_cast<int>(kExitLibrary);
      }
      return runWith(command, module);
    });
  }

  int runWith(const Command& command, PluginModule& module) {
    HostContext context(command, module, out_, err_, environment_);
    context.decodeMember = [this](const Command& member, int& result) { return decodeMember(member, result); };
    // Once per plug-in, not once per file of a batch.
    if (warned_.insert(command.plugin).second) context.warnIgnoredSwitches();
    return runVerb(context);
  }

  std::vector<uint8_t> headOf(const std::string& path, int& result) {
    std::vector<uint8_t> head;
    std::string error;
    if (!cli::readFileHead(path, kProbeHeadSize, head, error)) {
      err_ << "spihost: " << error << "\n";
      result = kExitFileError;
    }
    return head;
  }

  int runChosen(Command& command) {
    int result = kExitOk;
    std::vector<uint8_t> head = headOf(command.input, result);
    if (result != kExitOk) return result;
    if (command.verb == Verb::kWhich) return which(command.input, head);
    std::string kind = command.verb == Verb::kPictureInfo || command.verb == Verb::kDecode ? kImageKind : kArchiveKind;
    FolderPlugin* plugin = folder_.choose(command.input, head, kind);
    if (plugin == nullptr) return notTaken(command.input, head, kind);
    command.plugin = plugin->path;
    return runWith(command, *plugin->module);
  }

  int notTaken(const std::string& input, const std::vector<uint8_t>& head, const std::string& kind) {
    FolderPlugin* other = folder_.choose(input, head, "");
    if (other != nullptr) {
      err_ << "spihost: " << input << " is " << other->typeName << " (" << other->fileName << "), not a "
           << kindWords(kind) << (kind == kImageKind ? ": extract its members with 'spihost extract'" : "") << "\n";
    } else {
      err_ << "spihost: " << input << ": no plug-in in " << folder_.folder() << " takes this file\n";
    }
    return kExitNotAccepted;
  }

  int which(const std::string& input, const std::vector<uint8_t>& head) {
    FolderPlugin* plugin = folder_.choose(input, head, "");
    if (plugin == nullptr) {
      out_ << input << ": no plug-in takes this file\n";
      return kExitNotAccepted;
    }
    out_ << input << ": " << plugin->typeName << " (" << plugin->fileName << ", " << kindWords(plugin->kind) << ")\n";
    return kExitOk;
  }

  int describeFolder() {
    for (const FolderPlugin& plugin : folder_.plugins()) {
      out_ << plugin.fileName << ": " << plugin.typeName << " (" << plugin.pattern << "), " << kindWords(plugin.kind)
           << " plug-in" << (plugin.exports.unicode ? ", Unicode exports" : "") << "\n  " << plugin.description
           << "\n";
    }
    return kExitOk;
  }

  int probeFolder() {
    int result = checkInput(command_.input, err_);
    if (result != kExitOk) return result;
    bool anyAccepted = false;
    for (FolderPlugin& plugin : folder_.plugins()) {
      Command command = command_;
      command.plugin = plugin.path;
      out_ << plugin.fileName << ":\n";
      int code = runWith(command, *plugin.module);
      if (code == kExitOk) anyAccepted = true;
      if (code != kExitOk && code != kExitNotAccepted) return code;
      if (!plugin.module->loaded()) plugin.module->open(plugin.path, errorSink_);
    }
    return anyAccepted ? kExitOk : kExitNotAccepted;
  }

  // A member of an archive that is a picture, decoded through the image plug-in that takes
  // it, into `member.output`. False when no image plug-in takes it.
  bool decodeMember(const Command& member, int& result) {
    if (!imagesLoaded_) {
      imagesLoaded_ = true;
      std::ostringstream quiet;
      imagesReady_ = command_.plugin.empty() ? true : images_.load(folderPath(), command_.ansiExports, quiet);
    }
    PluginFolder& images = command_.plugin.empty() ? folder_ : images_;
    if (!imagesReady_) return false;
    std::vector<uint8_t> head = probeHead(member.inputBytes->data(), member.inputBytes->size());
    FolderPlugin* plugin = images.choose(member.input, head, kImageKind);
    if (plugin == nullptr) return false;
    Command command = member;
    command.verb = Verb::kDecode;
    command.plugin = plugin->path;
    command.habits = HostHabits();
    HostContext context(command, *plugin->module, out_, err_, environment_);
    result = runDecode(context);
    return true;
  }

  const Command& command_;
  std::ostream& out_;
  std::ostream& err_;
  const HostEnvironment& environment_;
  PluginFolder folder_;
  PluginFolder images_;
  bool imagesLoaded_ = false;
  bool imagesReady_ = false;
  std::string errorSink_;
  std::set<std::string> warned_;  // plug-ins whose ignored switches have been noted
};

}  // namespace

int runHost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const HostEnvironment& environment) {
  ParseResult parsed = parseCommandLine(args);
  if (!parsed.ok) {
    err << "spihost: " << parsed.error << "\nrun 'spihost --help' for usage\n";
    return kExitUsage;
  }
  const Command& command = parsed.command;
  if (command.verb == Verb::kHelp) {
    out << usageText();
    return kExitOk;
  }
  if (command.verb == Verb::kVersion) {
    out << "spihost " << cli::kToolSetVersion << " (" << kHostWidth << "-bit, plug-ins " << kPluginExtension << ")\n";
    return kExitOk;
  }
  Host host(command, out, err, environment);
  int result = host.run();
  // Whatever the work was doing when Ctrl-C came, it has stopped at a safe point and removed
  // what it had only half written.
  if (cli::stopRequested()) {
    err << "spihost: stopped: files already in place are whole, the one being written was removed\n";
    return cli::kExitStopped;
  }
  return result;
}

}  // namespace spihost
