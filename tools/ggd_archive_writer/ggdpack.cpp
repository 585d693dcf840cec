// ggdpack ARCHIVE FILE...: packs files into a GGD archive, each member named after its file.
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli/exit_codes.h"
#include "tools/cli/tool_main.h"
#include "tools/ggd_archive_writer/ggd_archive_writer.h"

namespace {

const cli::ToolInfo kInfo = {
    "ggdpack",
    "ggdpack: packs files into a GGD archive, the format Felbrin reads.\n"
    "\n"
    "usage:\n"
    "  ggdpack ARCHIVE FILE...        each member takes its file's name (1 to 12 bytes, no\n"
    "                                 blanks, in the system's ANSI code page)\n"
    "  ggdpack --version | --help\n"
    "\n"
    "Exit codes: 0 done, 1 bad command line, 4 a file cannot be read or the archive cannot be\n"
    "made (no archive is left behind).\n"};

int run(const cli::ToolInfo& info, const std::vector<std::string>& args) {
  if (args.size() < 2) return cli::usageError(info, "give the archive and at least one file");
  std::vector<std::string> files(args.begin() + 1, args.end());
  std::string error;
  if (!ggd_archive_writer::packFiles(args[0], files, &error)) return cli::fileError(info, error);
  std::cout << "packed " << files.size() << " members into " << args[0] << "\n";
  return cli::kExitOk;
}

}  // namespace

int main(int argc, char** argv) { return cli::runTool(argc, argv, kInfo, run); }
