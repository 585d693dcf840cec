// Vantrel's one window: the class, the window procedure, the entry sequence and the message
// loop. The window only wires messages to the portable converter. It is a Unicode window, so
// its text and the names it is given read the same under every system code page.
#pragma once

#include <windows.h>

#include "converter/window/log_view.h"

namespace vantrel {

constexpr wchar_t kWindowClassName[] = L"VantrelClass";
constexpr wchar_t kWindowTitle[] = L"Vantrel";
constexpr int kWindowWidth = 400;
constexpr int kWindowHeight = 240;

// The process's one log.
LogView& logView();

// The two process-wide values that window creation reads; the command line is the text after
// the program's name, in UTF-16.
void setProcessValues(HINSTANCE instance, const wchar_t* commandLine);

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers "VantrelClass"; false when that fails.
bool registerWindowClass(HINSTANCE instance);

// Creates, shows and opens the main window to drops. Every file named on the stored command
// line is split while the window is created. Null when the window cannot be made.
HWND createMainWindow(HINSTANCE instance);

// Runs the message loop until the quit message; returns its exit code.
int runMessageLoop();

// The whole program: class, values, window, loop. Returns the exit code.
int runVantrel(HINSTANCE instance, const wchar_t* commandLine);

}  // namespace vantrel
