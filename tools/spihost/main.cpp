// spihost: the command-line host for our picture-viewer plug-ins.
#include <iostream>

#include "tools/cli/arguments.h"
#include "tools/cli/console.h"
#include "tools/cli/stop.h"
#include "tools/spihost/host.h"

int main(int argc, char** argv) {
  cli::useUnicodeConsole();
  cli::installStopHandler();
  spihost::HostEnvironment environment;
  environment.showProgress = cli::stderrIsTerminal();
  return spihost::runHost(cli::utf8Arguments(argc, argv), std::cout, std::cerr, environment);
}
