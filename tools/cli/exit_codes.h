// The exit codes of every program of the tool set, one convention for all.
#pragma once

namespace cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,         // bad command line
  kExitLibrary = 2,       // a plug-in library does not load, or lacks an export the work needs
  kExitPluginError = 3,   // a plug-in answered with an error code
  kExitFileError = 4,     // a file cannot be read, understood or written
  kExitPluginFault = 5,   // a plug-in broke the interface's rules
  kExitNotAccepted = 6,   // no plug-in (or not the one named) takes the file
  kExitStopped = 130,     // stopped by Ctrl-C (as shells report a program it ended)
};

// Printed by every program's --version.
constexpr const char* kToolSetVersion = "1.1.0";

}  // namespace cli
