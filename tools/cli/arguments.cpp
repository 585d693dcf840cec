#include "tools/cli/arguments.h"

#include "tools/cli/text.h"

#ifdef _WIN32
#include <shellapi.h>
#endif

namespace cli {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(utf8FromWide(wide[i]));
    LocalFree(wide);
    return args;
  }
#endif
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace cli
