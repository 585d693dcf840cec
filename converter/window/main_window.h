// Vantrel's one window: the class, the window procedure, the entry sequence and the message
// loop. The window only wires messages to the portable converter.
#pragma once

#include <windows.h>

#include "converter/window/log_view.h"

namespace vantrel {

constexpr char kWindowClassName[] = "VantrelClass";
constexpr char kWindowTitle[] = "Vantrel";
constexpr int kWindowWidth = 400;
constexpr int kWindowHeight = 240;

// The process's one log.
LogView& logView();

// The two process-wide values that window creation reads.
void setProcessValues(HINSTANCE instance, const char* commandLine);

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers "VantrelClass"; false when that fails.
bool registerWindowClass(HINSTANCE instance);

// Creates, shows and opens the main window to drops. Every file named on the stored command
// line is split while the window is created. Null when the window cannot be made.
HWND createMainWindow(HINSTANCE instance);

// Runs the message loop until the quit message; returns its exit code.
int runMessageLoop();

// The whole program: class, values, window, loop. Returns the exit code.
int runVantrel(HINSTANCE instance, const char* commandLine);

}  // namespace vantrel
