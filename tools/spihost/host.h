// The whole host as one call, so that tests run it in-process on captured streams.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace spihost {

// `args` excludes the program name; the result is the exit code.
int runHost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace spihost
