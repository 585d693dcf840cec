// Output that a console shows correctly in any script. The tools write UTF-8 to std::cout
// and std::cerr; on Windows a console receives it as UTF-16 (WriteConsoleW), and a file or
// pipe receives the UTF-8 bytes. Elsewhere the streams are left as they are.
#pragma once

namespace cli {

// Sets std::cout and std::cerr up as above; call once at the start of main.
void useUnicodeConsole();

// Whether standard error is a terminal: progress is shown only there.
bool stderrIsTerminal();

}  // namespace cli
