// Helpers for the window tests (Windows only): reading the log control, normalising the timing
// lines, building shell drops and driving a separate Vantrel.exe.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "converter/window/log_view.h"
#include "tests/converter/converter_testing.h"

namespace window_testing {

// The log control's text, read with WM_GETTEXT (from this or another process).
inline std::string logText(HWND window) {
  HWND edit = GetDlgItem(window, vantrel::kLogControlId);
  if (edit == nullptr) return "(no log control)";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length)) return "(no answer)";
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(edit, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 10000,
                      &copied);
  text.resize(copied);
  return text;
}

// Replaces the seconds of every timing line by "T", as the real clock decides them.
inline std::string withoutTimes(std::string text) {
  const std::string label = converter_testing::cp932(u8"処理時間：");
  for (size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1)) {
    size_t digits = at + label.size();
    size_t end = text.find(' ', digits);
    if (end == std::string::npos) break;
    text.replace(digits, end - digits, "T");
  }
  return text;
}

// A shell drop of these paths, as the shell hands it to a window: a DROPFILES block in
// movable global memory, with the names one after another and an empty name at the end.
inline HGLOBAL makeDrop(const std::vector<std::string>& paths) {
  size_t size = sizeof(DROPFILES) + 1;
  for (const std::string& path : paths) size += path.size() + 1;
  HGLOBAL block = GlobalAlloc(GHND, size);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = FALSE;
  char* names = reinterpret_cast<char*>(drop) + sizeof(DROPFILES);
  for (const std::string& path : paths) {
    memcpy(names, path.c_str(), path.size() + 1);
    names += path.size() + 1;
  }
  *names = '\0';
  GlobalUnlock(block);
  return block;
}

inline std::string programFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/"));
}

struct FindContext {
  DWORD processId;
  HWND found;
};

inline BOOL CALLBACK matchWindow(HWND window, LPARAM lParam) {
  auto* context = reinterpret_cast<FindContext*>(lParam);
  char name[64];
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == context->processId && GetClassNameA(window, name, sizeof name) && lstrcmpA(name, "VantrelClass") == 0) {
    context->found = window;
    return FALSE;
  }
  return TRUE;
}

// The shown main window of that process, or null after timeoutMs.
inline HWND waitForWindow(DWORD processId, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    FindContext context{processId, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&context));
    // Shown only after window creation, so every command-line file has been split by then.
    if (context.found != nullptr && IsWindowVisible(context.found)) return context.found;
    Sleep(50);
  }
  return nullptr;
}

}  // namespace window_testing
