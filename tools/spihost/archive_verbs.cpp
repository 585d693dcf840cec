// The verbs of archive plug-ins: GetArchiveInfo, GetFileInfo and GetFile.
#include <cstring>
#include <vector>

#include "tools/spihost/entry_list.h"
#include "tools/spihost/host_files.h"
#include "tools/spihost/host_memory.h"
#include "tools/spihost/progress.h"
#include "tools/spihost/verbs.h"

namespace spihost {

namespace {

// One member to extract. A --position that no listed member has is still handed to
// GetFile, to see how the plug-in answers; the host then knows no name or size for it.
struct Target {
  uint32_t position = 0;
  bool listed = false;
  spi::ArchiveEntryInfo record{};
};

std::string nameOf(const Target& target) {
  if (!target.listed) return "member at position " + std::to_string(target.position);
  return recordText(target.record.filename, sizeof target.record.filename);
}

// A member name the host may use as a file name of its own in the output folder.
bool isPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos;
}

// GetArchiveInfo with the habits. `mayUnload`: the list is the verb's result rather than a
// step towards GetFile, so --free-library-first applies to it.
int fetchEntryList(HostContext& context, bool mayUnload, std::vector<spi::ArchiveEntryInfo>& entries) {
  GetArchiveInfoFn getArchiveInfo = context.exports().getArchiveInfo;
  if (getArchiveInfo == nullptr) return context.missingExport("GetArchiveInfo");
  PluginInput input;
  if (!context.prepareInput(input)) return kExitFileError;
  void* handle = nullptr;
  int code = getArchiveInfo(input.buf, input.len, input.flag, &handle);
  if (mayUnload) context.unloadIfAsked();
  if (code != spi::kSuccess) {
    int result = context.pluginError("GetArchiveInfo", code);
    return handle != nullptr ? context.pluginFault("GetArchiveInfo failed yet stored a handle") : result;
  }
  HandedBlock block(handle);
  if (block.empty()) return context.pluginFault("GetArchiveInfo answered 0 without a handle");
  BlockView view(block, !context.habits.noLock);
  if (!view.ok()) return context.pluginFault("entry list: " + view.problem());
  std::string problem;
  if (!readEntryList(view.data(), view.size(), context.habits.lengthFromSize, entries, problem)) {
    return context.pluginFault(problem);
  }
  return kExitOk;
}

int findByName(HostContext& context, std::vector<Target>& targets) {
  GetFileInfoFn getFileInfo = context.exports().getFileInfo;
  if (getFileInfo == nullptr) return context.missingExport("GetFileInfo");
  const Command& command = context.command;
  unsigned flag = spi::kInputFile | (command.ignoreCase ? spi::kIgnoreCase : 0);
  intptr_t offset = static_cast<intptr_t>(command.offset);
  if (context.habits.nullOut) {
    int code = getFileInfo(command.input.c_str(), offset, command.memberName.c_str(), flag, nullptr);
    int result = context.expectRefusal("GetFileInfo with a null record", code);
    if (result != kExitOk) return result;
  }
  Target target;
  int code = getFileInfo(command.input.c_str(), offset, command.memberName.c_str(), flag, &target.record);
  if (code != spi::kSuccess) return context.pluginError("GetFileInfo", code);
  target.position = static_cast<uint32_t>(target.record.position);
  target.listed = true;
  targets.push_back(target);
  return kExitOk;
}

int findTargets(HostContext& context, std::vector<Target>& targets) {
  if (context.command.selection == Selection::kName) return findByName(context, targets);
  std::vector<spi::ArchiveEntryInfo> entries;
  int result = fetchEntryList(context, false, entries);
  if (result != kExitOk) return result;
  for (const spi::ArchiveEntryInfo& entry : entries) {
    Target target;
    target.position = static_cast<uint32_t>(entry.position);
    target.listed = true;
    target.record = entry;
    if (context.command.selection == Selection::kAll || target.position == context.command.position) {
      targets.push_back(target);
      if (context.command.selection == Selection::kPosition) return kExitOk;
    }
  }
  if (context.command.selection == Selection::kPosition) {
    context.err << "spihost: note: no listed member has position " << context.command.position
                << "; asking GetFile anyway\n";
    Target target;
    target.position = context.command.position;
    targets.push_back(target);
  }
  return kExitOk;
}

// One GetFile call's outcome: the block for memory output.
struct Fetched {
  Target target;
  HandedBlock block;
};

class Extraction {
 public:
  explicit Extraction(HostContext& context)
      : context_(context), command_(context.command), toMemory_(command_.destination == Destination::kMemory),
        folder_(withTrailingSeparator(command_.output)), progress_(context.err, context.habits.stopCallback) {}

  int run(const std::vector<Target>& targets) {
    for (const Target& target : targets) {
      int result = fetch(target);
      if (result != kExitOk) return result;
    }
    context_.unloadIfAsked();
    if (!progress_.anomaly().empty()) return context_.pluginFault(progress_.anomaly());
    if (progress_.stopsAsked() > 0) {
      context_.err << "spihost: note: the plug-in went on although the callback asked it to stop\n";
    }
    if (context_.habits.nullOut) return kExitOk;
    for (const Fetched& item : fetched_) {
      int result = toMemory_ ? writeMember(item) : checkWritten(item.target);
      if (result != kExitOk) return result;
    }
    return kExitOk;
  }

 private:
  unsigned flag() const {
    unsigned output = toMemory_ ? spi::kOutputMemory : spi::kOutputDirectory;
    return spi::kInputFile | (output << 8);
  }

  int fetch(const Target& target) {
    GetFileFn getFile = context_.exports().getFile;
    if (getFile == nullptr) return context_.missingExport("GetFile");
    void* handle = nullptr;
    // GetFile takes the folder as a writable string; the plug-in appends the member name
    // to it without a separator, which is why the folder ends in one.
    std::vector<char> folder(folder_.begin(), folder_.end());
    folder.push_back('\0');
    char* dest = toMemory_ ? reinterpret_cast<char*>(&handle) : folder.data();
    if (context_.habits.nullOut) dest = nullptr;
    spi::ProgressCallback callback = context_.habits.nullCallback ? nullptr : ProgressLog::callback();
    // The position goes back as `len` exactly as the record held it.
    int code = getFile(command_.input.c_str(), static_cast<intptr_t>(target.position), dest, flag(), callback,
                       progress_.userData());
    progress_.finish();
    if (context_.habits.nullOut) return context_.expectRefusal("GetFile with a null destination", code);
    if (code != spi::kSuccess) {
      int result = context_.pluginError("GetFile", code);
      return handle != nullptr ? context_.pluginFault("GetFile failed yet stored a handle") : result;
    }
    if (toMemory_ && handle == nullptr) return context_.pluginFault("GetFile answered 0 without a handle");
    fetched_.push_back(Fetched{target, HandedBlock(handle)});
    return kExitOk;
  }

  // One member goes to the named file; with --all the name is a folder for all of them.
  std::string memoryOutputPath(const Target& target) {
    if (command_.selection != Selection::kAll) return command_.output;
    std::string name = nameOf(target);
    if (!isPlainName(name)) {
      std::string stand = "member_" + std::to_string(target.position);
      context_.err << "spihost: note: writing '" << name << "' as " << stand << "\n";
      name = stand;
    }
    return folder_ + name;
  }

  int writeMember(const Fetched& item) {
    BlockView view(item.block, !context_.habits.noLock);
    if (!view.ok()) return context_.pluginFault("member block: " + view.problem());
    uint64_t length = view.size();
    if (item.target.listed && !context_.habits.lengthFromSize) {
      length = item.target.record.filesize;
      if (length > view.size()) {
        return context_.pluginFault(nameOf(item.target) + ": block of " + std::to_string(view.size()) +
                                    " bytes is shorter than the listed " + std::to_string(length) + " bytes");
      }
    }
    std::string path = memoryOutputPath(item.target);
    std::string error;
    if (!writeWholeFile(path, view.data(), length, error)) return context_.fileError(error);
    context_.out << "extracted " << nameOf(item.target) << ": " << length << " bytes -> " << path << "\n";
    return kExitOk;
  }

  // The plug-in wrote the member itself; the host checks that it is there and whole.
  int checkWritten(const Target& target) {
    if (!target.listed) {
      context_.out << "extracted " << nameOf(target) << " into " << folder_ << "\n";
      return kExitOk;
    }
    std::string path = folder_ + nameOf(target);
    uint64_t size = 0;
    if (!fileSizeOf(path, size)) return context_.pluginFault("GetFile answered 0 but " + path + " is not there");
    if (size != target.record.filesize) {
      return context_.pluginFault(path + " holds " + std::to_string(size) + " bytes, the list says " +
                                  std::to_string(target.record.filesize));
    }
    context_.out << "extracted " << nameOf(target) << ": " << size << " bytes -> " << path << "\n";
    return kExitOk;
  }

  HostContext& context_;
  const Command& command_;
  bool toMemory_;
  std::string folder_;
  ProgressLog progress_;
  std::vector<Fetched> fetched_;
};

}  // namespace

int runList(HostContext& context) {
  if (context.habits.nullOut) {
    GetArchiveInfoFn getArchiveInfo = context.exports().getArchiveInfo;
    if (getArchiveInfo == nullptr) return context.missingExport("GetArchiveInfo");
    PluginInput input;
    if (!context.prepareInput(input)) return kExitFileError;
    int code = getArchiveInfo(input.buf, input.len, input.flag, nullptr);
    context.unloadIfAsked();
    return context.expectRefusal("GetArchiveInfo with a null handle pointer", code);
  }
  std::vector<spi::ArchiveEntryInfo> entries;
  int result = fetchEntryList(context, true, entries);
  if (result != kExitOk) return result;
  context.out << entryHeading() << "\n";
  for (const spi::ArchiveEntryInfo& entry : entries) context.out << entryLine(entry) << "\n";
  context.out << entries.size() << (entries.size() == 1 ? " member\n" : " members\n");
  return kExitOk;
}

int runExtract(HostContext& context) {
  if (context.exports().getFile == nullptr) return context.missingExport("GetFile");
  std::vector<Target> targets;
  int result = findTargets(context, targets);
  if (result != kExitOk) return result;
  if (targets.empty()) {
    context.out << "the archive has no members\n";
    return kExitOk;
  }
  // A plug-in told to write into a missing folder only answers a bare code.
  const Command& command = context.command;
  bool outputIsFolder = command.destination == Destination::kFolder || command.selection == Selection::kAll;
  if (outputIsFolder && !context.habits.nullOut && !isFolder(command.output)) {
    return context.fileError("the folder " + command.output + " does not exist");
  }
  Extraction extraction(context);
  return extraction.run(targets);
}

}  // namespace spihost
