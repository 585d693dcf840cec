// The whole host as one call, so that tests run it in-process on captured streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace spihost {

// What the host learns from where it runs rather than from its command line.
struct HostEnvironment {
  bool showProgress = false;  // standard error is a terminal: show progress of long work
};

// `args` excludes the program name; the result is the exit code.
int runHost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const HostEnvironment& environment = HostEnvironment());

}  // namespace spihost
