// A tool's arguments as UTF-8, whatever script they are in. On Windows they come from the
// UTF-16 command line (the ANSI argv loses every character outside the code page); elsewhere
// argv already holds the system's UTF-8.
#pragma once

#include <string>
#include <vector>

namespace cli {

// The arguments after the program name.
std::vector<std::string> utf8Arguments(int argc, char** argv);

}  // namespace cli
