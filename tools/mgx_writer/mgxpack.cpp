// mgxpack: packs files into a new MGX archive.
//
//   mgxpack ARCHIVE FILE...
//
// Each file is stored under the last component of its path (1 to 12 bytes), in the order
// given. Exit code 0 on success, 1 when the archive cannot be made, 2 for a wrong command.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/mgx_writer/mgx_writer.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: mgxpack ARCHIVE FILE...\n");
    return 2;
  }
  std::vector<std::string> inputs(argv + 2, argv + argc);
  std::string error;
  if (!mgx_writer::packFiles(argv[1], inputs, error)) {
    std::fprintf(stderr, "mgxpack: %s\n", error.c_str());
    return 1;
  }
  std::printf("packed %lu members into %s\n", static_cast<unsigned long>(inputs.size()), argv[1]);
  return 0;
}
