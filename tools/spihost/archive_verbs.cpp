// The verbs of archive plug-ins: GetArchiveInfo, GetFileInfo and GetFile.
//
// Extraction into a folder works as archivers do: the folder is created, files already there
// are kept unless --overwrite, a member name that is no plain file name is written under a
// name of the host's, and a member is only ever seen under its name once it is whole. For
// that the plug-in writes into a private folder inside the output folder, from which the
// host moves the file into place; a plug-in that extracts to memory only hands the bytes
// over and the host writes them, through a temporary name.
#include <cstring>
#include <vector>

#include "platform/win32.h"
#include "tools/cli/files.h"
#include "tools/cli/stop.h"
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
  Member record;
};

std::string nameOf(const Target& target) {
  if (!target.listed) return "member at position " + std::to_string(target.position);
  return target.record.filename;
}

// A member name the host may use as a file name of its own in the output folder.
bool isPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos;
}

template <typename Record>
bool readMembers(const BlockView& view, bool lengthFromSize, std::vector<Member>& members, std::string& problem) {
  std::vector<Record> records;
  if (!readEntryList(view.data(), view.size(), lengthFromSize, records, problem)) return false;
  for (const Record& record : records) members.push_back(memberOf(record));
  return true;
}

// GetArchiveInfo with the habits. `mayUnload`: the list is the verb's result rather than a
// step towards GetFile, so --free-library-first applies to it.
int fetchEntryList(HostContext& context, bool mayUnload, std::vector<Member>& entries) {
  GetArchiveInfoFn getArchiveInfo = context.exports().getArchiveInfo;
  if (getArchiveInfo == nullptr) return context.missingExport("GetArchiveInfo");
  bool unicode = context.exports().unicode;
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
  bool read = unicode ? readMembers<spi::ArchiveEntryInfoW>(view, context.habits.lengthFromSize, entries, problem)
                      : readMembers<spi::ArchiveEntryInfo>(view, context.habits.lengthFromSize, entries, problem);
  return read ? kExitOk : context.pluginFault(problem);
}

int findByName(HostContext& context, std::vector<Target>& targets) {
  GetFileInfoFn getFileInfo = context.exports().getFileInfo;
  if (getFileInfo == nullptr) return context.missingExport("GetFileInfo");
  const Command& command = context.command;
  bool unicode = context.exports().unicode;
  unsigned flag = spi::kInputFile | (command.ignoreCase ? spi::kIgnoreCase : 0);
  intptr_t offset = static_cast<intptr_t>(command.offset);
  std::vector<char> archive, member;
  if (!context.encodeName(command.input, archive) || !context.encodeName(command.memberName, member)) {
    return kExitFileError;
  }
  if (context.habits.nullOut) {
    int code = getFileInfo(archive.data(), offset, member.data(), flag, nullptr);
    int result = context.expectRefusal("GetFileInfo with a null record", code);
    if (result != kExitOk) return result;
  }
  // Room for either family's record; the Unicode one is the larger.
  union {
    spi::ArchiveEntryInfo ansi;
    spi::ArchiveEntryInfoW wide;
  } record;
  std::memset(&record, 0, sizeof record);
  int code = getFileInfo(archive.data(), offset, member.data(), flag, &record.ansi);
  if (code != spi::kSuccess) return context.pluginError("GetFileInfo", code);
  Target target;
  target.record = unicode ? memberOf(record.wide) : memberOf(record.ansi);
  target.position = static_cast<uint32_t>(target.record.position);
  target.listed = true;
  targets.push_back(target);
  return kExitOk;
}

int findTargets(HostContext& context, std::vector<Target>& targets) {
  if (context.command.selection == Selection::kName) return findByName(context, targets);
  std::vector<Member> entries;
  int result = fetchEntryList(context, false, entries);
  if (result != kExitOk) return result;
  for (const Member& entry : entries) {
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

// One GetFile call's outcome: the block for memory output; for folder output the files the
// plug-in wrote are in the private folder.
struct Fetched {
  Target target;
  std::string outputName;  // the file name in the output folder
  bool inMemory = false;
  HandedBlock block;
};

class Extraction {
 public:
  explicit Extraction(HostContext& context)
      : context_(context), command_(context.command),
        // One member to a named file, or every one into a folder.
        singleFile_(command_.destination == Destination::kMemory && command_.selection != Selection::kAll),
        folder_(command_.output),
        memoryOnly_(command_.destination == Destination::kMemory || command_.decodeMembers),
        progress_(context.err, context.habits.stopCallback, context.environment.showProgress) {}

  ~Extraction() {
    if (!staging_.empty()) {
      for (const std::string& name : cli::filesIn(staging_)) cli::removeFile(cli::joinPath(staging_, name));
      cli::removeEmptyFolder(staging_);
    }
  }

  int run(const std::vector<Target>& targets) {
    int result = kExitOk;
    for (const Target& target : targets) {
      if (cli::stopRequested()) return cli::kExitStopped;
      int code = fetch(target);
      if (code != kExitOk && result == kExitOk) result = code;
      // A stop that was asked for, a broken plug-in, or a host that cannot write ends it all.
      if (code != kExitOk && (code != kExitPluginError || stopped_ || cli::stopRequested())) return result;
      if (code != kExitOk && singleFile_) return result;
    }
    context_.unloadIfAsked();
    if (!progress_.anomaly().empty()) return context_.pluginFault(progress_.anomaly());
    if (progress_.stopsAsked() > 0) {
      context_.err << "spihost: note: the plug-in went on although the callback asked it to stop\n";
    }
    if (context_.habits.nullOut) return result;
    for (Fetched& item : fetched_) {
      if (cli::stopRequested()) return cli::kExitStopped;
      int code = item.inMemory ? writeMember(item) : moveWritten(item);
      if (code != kExitOk && result == kExitOk) result = code;
      if (code == kExitPluginFault) return result;
    }
    return result;
  }

 private:
  // The output file's name for a member: its own when that is a plain name, else one of the
  // host's (with a note).
  std::string outputNameFor(const Target& target) {
    std::string name = nameOf(target);
    if (target.listed && isPlainName(name)) return name;
    std::string stand = "member_" + std::to_string(target.position);
    if (target.listed) context_.err << "spihost: note: writing '" << name << "' as " << stand << "\n";
    return stand;
  }

  bool keepsExisting(const std::string& path) {
    if (command_.overwrite || cli::pathKind(path) == cli::PathKind::kMissing) return false;
    context_.err << "spihost: note: kept the existing " << path << " (--overwrite replaces it)\n";
    ++kept_;
    return true;
  }

  int callGetFile(const Target& target, bool toMemory, void*& handle) {
    GetFileFn getFile = context_.exports().getFile;
    if (getFile == nullptr) return context_.missingExport("GetFile");
    std::vector<char> archive, dest;
    if (!context_.encodeName(command_.input, archive)) return kExitFileError;
    // GetFile takes the folder as a writable string; the plug-in appends the member name
    // to it without a separator, which is why the folder ends in one.
    if (!toMemory && !context_.encodeName(withTrailingSeparator(stagingFolder()), dest)) return kExitFileError;
    char* destination = toMemory ? reinterpret_cast<char*>(&handle) : dest.data();
    if (context_.habits.nullOut) destination = nullptr;
    spi::ProgressCallback callback = context_.habits.nullCallback ? nullptr : ProgressLog::callback();
    unsigned flag = spi::kInputFile | ((toMemory ? spi::kOutputMemory : spi::kOutputDirectory) << 8);
    // The position goes back as `len` exactly as the record held it.
    int code = getFile(archive.data(), static_cast<intptr_t>(target.position), destination, flag, callback,
                       progress_.userData());
    progress_.finish();
    return code;
  }

  int fetch(const Target& target) {
    if (context_.exports().getFile == nullptr) return context_.missingExport("GetFile");
    Fetched item;
    item.target = target;
    if (!singleFile_ && !context_.habits.nullOut) {
      if (!ensureFolder()) return kExitFileError;
      item.outputName = outputNameFor(target);
      if (!command_.decodeMembers && keepsExisting(cli::joinPath(folder_, item.outputName))) return kExitOk;
    }
    // Names that are not plain never reach the plug-in as a place to write.
    item.inMemory = memoryOnly_ || (target.listed && !isPlainName(nameOf(target)));
    if (!item.inMemory && !context_.habits.nullOut && !ensureStaging()) return kExitFileError;
    void* handle = nullptr;
    int code = callGetFile(target, item.inMemory, handle);
    if (code == spi::kNotSupported && !item.inMemory && !context_.habits.nullOut && target.listed) {
      // A plug-in that extracts to memory only: the host writes the members itself.
      void* retry = nullptr;
      int memoryCode = callGetFile(target, true, retry);
      if (memoryCode == spi::kSuccess && retry != nullptr) {
        context_.err << "spihost: note: " << cli::fileNameOf(command_.plugin)
                     << " extracts to memory only; spihost writes the members\n";
        memoryOnly_ = true;
        item.inMemory = true;
        code = memoryCode;
        handle = retry;
      } else if (retry != nullptr) {
        LocalFree(retry);
      }
    }
    if (context_.habits.nullOut) return context_.expectRefusal("GetFile with a null destination", code);
    if (code != spi::kSuccess && cli::stopRequested()) {
      // Ctrl-C: the plug-in stopped when asked; what it wrote goes with the private folder.
      HandedBlock stray(handle);
      stopped_ = true;
      return cli::kExitStopped;
    }
    if (code != spi::kSuccess) {
      stopped_ = code == spi::kAborted;
      int result = context_.pluginError("GetFile", code);
      return handle != nullptr ? context_.pluginFault("GetFile failed yet stored a handle") : result;
    }
    if (item.inMemory && handle == nullptr) return context_.pluginFault("GetFile answered 0 without a handle");
    item.block = HandedBlock(handle);
    fetched_.push_back(std::move(item));
    return kExitOk;
  }

  bool ensureFolder() {
    std::string error;
    if (cli::makeFolders(folder_, error)) return true;
    context_.fileError(error);
    return false;
  }

  std::string stagingFolder() const {
    return staging_.empty() ? withTrailingSeparator(folder_) : staging_;
  }

  // The private folder the plug-in writes into, made once per extraction.
  bool ensureStaging() {
    if (!staging_.empty()) return true;
    std::string error;
    std::string path = cli::joinPath(folder_, ".spihost-part-" + std::to_string(GetTickCount()));
    if (!cli::makeFolders(path, error)) {
      context_.fileError(error);
      return false;
    }
    staging_ = path;
    return true;
  }

  std::string outputPath(const Fetched& item) const {
    return singleFile_ ? command_.output : cli::joinPath(folder_, item.outputName);
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
    if (command_.decodeMembers) {
      int result = kExitOk;
      if (decodeMember(item, view.data(), length, result)) return result;
      if (keepsExisting(outputPath(item))) return kExitOk;
    }
    std::string path = outputPath(item);
    std::string error;
    if (!cli::writeFileSafely(path, view.data(), length, true, error)) return context_.fileError(error);
    context_.out << "extracted " << nameOf(item.target) << ": " << length << " bytes -> " << path << "\n";
    return kExitOk;
  }

  // A member that is a picture goes out as PNG (or BMP) beside where it would have gone.
  bool decodeMember(const Fetched& item, const uint8_t* data, uint64_t length, int& result) {
    if (!context_.decodeMember) return false;
    std::vector<uint8_t> bytes(data, data + length);
    Command member = command_;
    member.input = nameOf(item.target);
    member.inputBytes = &bytes;
    std::string name = item.outputName;
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    member.output = cli::joinPath(folder_, name + (command_.imageFormat == ImageFormat::kBmp ? ".bmp" : ".png"));
    if (keepsExisting(member.output)) return true;
    return context_.decodeMember(member, result);
  }

  // The plug-in wrote the member into the private folder; the host checks that it is whole
  // and moves it into place.
  int moveWritten(const Fetched& item) {
    std::vector<std::string> written = cli::filesIn(staging_);
    if (!item.target.listed) {
      for (const std::string& name : written) {
        std::string to = cli::joinPath(folder_, name);
        if (keepsExisting(to)) continue;
        cli::moveFile(cli::joinPath(staging_, name), to, true);
        context_.out << "extracted " << nameOf(item.target) << " -> " << to << "\n";
      }
      return kExitOk;
    }
    std::string from = cli::joinPath(staging_, nameOf(item.target));
    std::string to = outputPath(item);
    uint64_t size = 0;
    if (!cli::fileSize(from, size)) return context_.pluginFault("GetFile answered 0 but " + to + " is not there");
    if (size != item.target.record.filesize) {
      cli::removeFile(from);
      return context_.pluginFault(to + " holds " + std::to_string(size) + " bytes, the list says " +
                                  std::to_string(item.target.record.filesize));
    }
    if (!cli::moveFile(from, to, true)) {
      cli::removeFile(from);
      return context_.fileError("cannot create " + to);
    }
    context_.out << "extracted " << nameOf(item.target) << ": " << size << " bytes -> " << to << "\n";
    return kExitOk;
  }

  HostContext& context_;
  const Command& command_;
  bool singleFile_;
  std::string folder_;
  bool memoryOnly_;
  ProgressLog progress_;
  std::string staging_;
  bool stopped_ = false;
  int kept_ = 0;
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
  std::vector<Member> entries;
  int result = fetchEntryList(context, true, entries);
  if (result != kExitOk) return result;
  context.out << entryHeading() << "\n";
  for (const Member& entry : entries) context.out << entryLine(entry) << "\n";
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
  Extraction extraction(context);
  return extraction.run(targets);
}

}  // namespace spihost
