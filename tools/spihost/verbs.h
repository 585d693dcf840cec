// What every verb shares: the command, the loaded plug-in and its exports, the output
// streams, the exit codes, and the ways a call can end.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/cli/exit_codes.h"
#include "tools/spihost/command_line.h"
#include "tools/spihost/host.h"
#include "tools/spihost/plugin_exports.h"
#include "tools/spihost/plugin_module.h"

namespace spihost {

using cli::kExitFileError;
using cli::kExitLibrary;
using cli::kExitNotAccepted;
using cli::kExitOk;
using cli::kExitPluginError;
using cli::kExitPluginFault;
using cli::kExitUsage;

// The calls whose codes the host explains, each in its own words.
enum class Call { kPictureInfo, kPicture, kArchiveInfo, kFileInfo, kFileToFolder, kFileToMemory, kOther };

// What a plug-in's code means for that call, in a sentence; `member` names the member
// looked up or extracted ("'A.GG0'" or "at position 7").
std::string explainCode(Call call, int code, const std::string& member);

// The (buf, len, flag) that name the picture or archive: the file's name and the offset at
// which the data begins, or the bytes from that offset on, held in memory.
struct PluginInput {
  std::vector<uint8_t> bytes;
  std::vector<char> name;  // the file's name as the exports take it
  const char* buf = nullptr;
  intptr_t len = 0;
  unsigned flag = spi::kInputFile;
};

class HostContext {
 public:
  HostContext(const Command& command, PluginModule& module, std::ostream& out, std::ostream& err,
              const HostEnvironment& environment = HostEnvironment());

  const Command& command;
  const HostHabits& habits;
  std::ostream& out;
  std::ostream& err;
  const HostEnvironment& environment;
  const PluginExports& exports() const { return exports_; }

  // Fills `input` from the command; false (with the message printed) when the file cannot
  // be read into memory or its name cannot be handed over.
  bool prepareInput(PluginInput& input);

  // A name as the exports take it: UTF-16 for the Unicode family, the ANSI code page for the
  // other. False, with the message printed, when the ANSI code page cannot spell it.
  bool encodeName(const std::string& name, std::vector<char>& encoded);

  // Notes on stderr the switches that have no effect with this plug-in and command.
  void warnIgnoredSwitches();

  // Decodes a member that is a picture (`member.inputBytes`) into `member.output` through
  // an image plug-in; false when none takes it. Set by the host for extract --decode.
  std::function<bool(const Command& member, int& result)> decodeMember;

  // The plug-in's file-type description (its table's index 3), or empty.
  const std::string& typeName() const { return typeName_; }

  // With --free-library-first: unloads the plug-in now, before its results are read.
  void unloadIfAsked();

  // Each prints its message on stderr and returns the exit code.
  int missingExport(const char* name);
  // The code in words, and what it means for this call.
  int pluginError(const char* exportName, int code);
  int pluginFault(const std::string& what);
  int fileError(const std::string& what);

  // --null-out: the plug-in must refuse a call whose out-pointer is null.
  int expectRefusal(const std::string& call, int code);

 private:
  // Whether the plug-in takes the input by its head (for codes some plug-ins also give
  // for files they do not know).
  bool takesInput();
  std::string memberWords() const;

  PluginModule& module_;
  PluginExports exports_;
  std::string description_;
  std::string typeName_;
  bool hasUnicodeExports_ = false;  // whether the plug-in has them, used or not (--ansi)
};

int runInfo(HostContext& context);
int runProbe(HostContext& context);
int runPictureInfo(HostContext& context);
int runDecode(HostContext& context);
int runList(HostContext& context);
int runExtract(HostContext& context);


}  // namespace spihost
