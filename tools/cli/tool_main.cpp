#include "tools/cli/tool_main.h"

#include <iostream>
#include <new>

#include "tools/cli/arguments.h"
#include "tools/cli/console.h"
#include "tools/cli/exit_codes.h"
#include "tools/cli/stop.h"

namespace cli {

int runTool(int argc, char** argv, const ToolInfo& info, int (*body)(const ToolInfo&, const std::vector<std::string>&)) {
  useUnicodeConsole();
  std::vector<std::string> args = utf8Arguments(argc, argv);
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::cout << info.usage;
      return kExitOk;
    }
    if (arg == "--version") {
      std::cout << info.name << " " << kToolSetVersion << "\n";
      return kExitOk;
    }
  }
  installStopHandler();
  try {
    int result = body(info, args);
    return stopRequested() ? static_cast<int>(kExitStopped) : result;
  } catch (const std::bad_alloc&) {
    return fileError(info, "not enough memory for this picture");
  }
}

int usageError(const ToolInfo& info, const std::string& message) {
  std::cerr << info.name << ": " << message << "\nrun '" << info.name << " --help' for usage\n";
  return kExitUsage;
}

int fileError(const ToolInfo& info, const std::string& message) {
  std::cerr << info.name << ": " << message << "\n";
  return kExitFileError;
}

}  // namespace cli
