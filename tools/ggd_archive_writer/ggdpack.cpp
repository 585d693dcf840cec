// ggdpack ARCHIVE FILE...: packs files into a GGD archive, each member named after its file.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/ggd_archive_writer/ggd_archive_writer.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ggdpack ARCHIVE FILE...\n"
                         "Packs the files into a GGD archive; each member takes its file's name\n"
                         "(1 to 12 bytes, no blanks).\n");
    return 2;
  }
  std::vector<std::string> files(argv + 2, argv + argc);
  std::string error;
  if (!ggd_archive_writer::packFiles(argv[1], files, &error)) {
    std::fprintf(stderr, "ggdpack: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
