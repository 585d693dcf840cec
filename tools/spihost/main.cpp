// spihost: the command-line host for our picture-viewer plug-ins.
#include <iostream>
#include <string>
#include <vector>

#include "tools/spihost/host.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return spihost::runHost(args, std::cout, std::cerr);
}
