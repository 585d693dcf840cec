#include "converter/window/main_window.h"

#include <shellapi.h>

#include "converter/argument_list.h"
#include "converter/messages.h"
#include "converter/window/drop_file_list.h"

namespace vantrel {

namespace {

HINSTANCE processInstance = nullptr;
const wchar_t* processCommandLine = nullptr;

void writeBanner(LogView& log) {
  log.append(messages::kBannerVersion);
  log.append(messages::kBannerCredit);
  log.append(messages::kBannerPrompt);
}

}  // namespace

LogView& logView() {
  static LogView view;
  return view;
}

void setProcessValues(HINSTANCE instance, const wchar_t* commandLine) {
  processInstance = instance;
  processCommandLine = commandLine;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LogView& log = logView();
  switch (message) {
    case WM_CREATE:
      log.setInstance(processInstance);
      log.createControl(window, kLogControlId);
      writeBanner(log);
      log.holdUpdates();
      convertArgumentFiles(processCommandLine, log);
      log.showHeld();
      return 1;
    case WM_DESTROY:
      log.destroyControl();
      PostQuitMessage(0);
      return 1;
    case WM_SIZE:
      log.fitToParent();
      return 1;
    case WM_DROPFILES:
      log.holdUpdates();
      convertDroppedFiles(reinterpret_cast<HDROP>(wParam), log);
      log.showHeld();
      return 1;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool registerWindowClass(HINSTANCE instance) {
  WNDCLASSW windowClass = {};
  windowClass.style = 0;
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = kWindowClassName;
  return RegisterClassW(&windowClass) != 0;
}

HWND createMainWindow(HINSTANCE instance) {
  HWND window = CreateWindowExW(0, kWindowClassName, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  DragAcceptFiles(window, TRUE);
  return window;
}

int runMessageLoop() {
  MSG message;
  for (;;) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 0;  // no message to act on; end as a close would
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

int runVantrel(HINSTANCE instance, const wchar_t* commandLine) {
  if (!registerWindowClass(instance)) return 0;
  setProcessValues(instance, commandLine);
  if (createMainWindow(instance) == nullptr) return 0;
  return runMessageLoop();
}

}  // namespace vantrel
