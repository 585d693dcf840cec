// Vantrel's entry point: a window program that splits FCG containers dropped on its window or
// named on its command line.
#include <windows.h>

#include "converter/argument_list.h"
#include "converter/window/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The UTF-16 command line, not the ANSI one handed in: names of any script survive.
  return vantrel::runVantrel(instance, vantrel::argumentsAfterProgramName(GetCommandLineW()));
}
