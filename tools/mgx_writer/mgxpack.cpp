// mgxpack: packs files into a new MGX archive.
//
//   mgxpack ARCHIVE FILE...
//
// Each file is stored under the last component of its path (1 to 12 bytes), in the order
// given.
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli/exit_codes.h"
#include "tools/cli/tool_main.h"
#include "tools/mgx_writer/mgx_writer.h"

namespace {

const cli::ToolInfo kInfo = {
    "mgxpack",
    "mgxpack: packs files into a new MGX archive (.mgx), the format Durnac reads.\n"
    "\n"
    "usage:\n"
    "  mgxpack ARCHIVE FILE...        each file stored under its own name (1 to 12 bytes, in\n"
    "                                 the system's ANSI code page), in the order given\n"
    "  mgxpack --version | --help\n"
    "\n"
    "Exit codes: 0 done, 1 bad command line, 4 a file cannot be read or the archive cannot be\n"
    "made (no archive is left behind).\n"};

int run(const cli::ToolInfo& info, const std::vector<std::string>& args) {
  if (args.size() < 2) return cli::usageError(info, "give the archive and at least one file");
  std::vector<std::string> inputs(args.begin() + 1, args.end());
  std::string error;
  if (!mgx_writer::packFiles(args[0], inputs, error)) return cli::fileError(info, error);
  std::cout << "packed " << inputs.size() << " members into " << args[0] << "\n";
  return cli::kExitOk;
}

}  // namespace

int main(int argc, char** argv) { return cli::runTool(argc, argv, kInfo, run); }
