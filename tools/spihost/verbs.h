// What every verb shares: the command, the loaded plug-in and its exports, the output
// streams, the exit codes, and the ways a call can end.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tools/spihost/command_line.h"
#include "tools/spihost/plugin_exports.h"
#include "tools/spihost/plugin_module.h"

namespace spihost {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,         // bad command line
  kExitLibrary = 2,       // the library does not load, or lacks an export the verb needs
  kExitPluginError = 3,   // the plug-in answered with an error code
  kExitFileError = 4,     // the host cannot read its input or write its output
  kExitPluginFault = 5,   // the plug-in broke the interface's rules
  kExitNotAccepted = 6,   // probe: the plug-in does not take the file
};

// The (buf, len, flag) that name the picture or archive: the file's name and the offset at
// which the data begins, or the bytes from that offset on, held in memory.
struct PluginInput {
  std::vector<uint8_t> bytes;
  const char* buf = nullptr;
  intptr_t len = 0;
  unsigned flag = spi::kInputFile;
};

class HostContext {
 public:
  HostContext(const Command& command, PluginModule& module, std::ostream& out, std::ostream& err);

  const Command& command;
  const HostHabits& habits;
  std::ostream& out;
  std::ostream& err;
  const PluginExports& exports() const { return exports_; }

  // Fills `input` from the command; false when the file cannot be read into memory.
  bool prepareInput(PluginInput& input);

  // With --free-library-first: unloads the plug-in now, before its results are read.
  void unloadIfAsked();

  // Each prints its message on stderr and returns the exit code.
  int missingExport(const char* name);
  int pluginError(const char* exportName, int code);
  int pluginFault(const std::string& what);
  int fileError(const std::string& what);

  // --null-out: the plug-in must refuse a call whose out-pointer is null.
  int expectRefusal(const std::string& call, int code);

 private:
  PluginModule& module_;
  PluginExports exports_;
};

int runInfo(HostContext& context);
int runProbe(HostContext& context);
int runPictureInfo(HostContext& context);
int runDecode(HostContext& context);
int runList(HostContext& context);
int runExtract(HostContext& context);

}  // namespace spihost
