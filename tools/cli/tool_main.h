// The front every writer shares: console set up for any script, UTF-8 arguments, --help
// on stdout with status 0, --version, and the exit codes of exit_codes.h.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct ToolInfo {
  const char* name;
  const char* usage;  // the whole --help text
};

// Runs `body` on the arguments after the program name, after answering --help and
// --version; a picture too large for memory ends in a message and kExitFileError.
int runTool(int argc, char** argv, const ToolInfo& info, int (*body)(const ToolInfo&, const std::vector<std::string>&));

// "NAME: message" and a pointer to --help on stderr; returns kExitUsage.
int usageError(const ToolInfo& info, const std::string& message);

// "NAME: message" on stderr; returns kExitFileError.
int fileError(const ToolInfo& info, const std::string& message);

}  // namespace cli
