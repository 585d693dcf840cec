// Vantrel's entry point: a window program that splits FCG containers dropped on its window or
// named on its command line.
#include <windows.h>

#include "converter/window/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  return vantrel::runVantrel(instance, commandLine);
}
