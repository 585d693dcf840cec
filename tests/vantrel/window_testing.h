// Helpers for the window tests (Windows only): reading the log control, normalising the timing
// lines, building shell drops and driving a separate Vantrel.exe. Texts are compared in UTF-16,
// so the tests mean the same under every system code page.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "converter/window/log_view.h"
#include "tests/converter/converter_testing.h"

namespace window_testing {

// The log control's text, read with WM_GETTEXT in UTF-16 (from this or another process).
inline std::wstring logText(HWND window) {
  HWND edit = GetDlgItem(window, vantrel::kLogControlId);
  if (edit == nullptr) return L"(no log control)";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length)) return L"(no answer)";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(edit, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL, 10000,
                      &copied);
  text.resize(copied);
  return text;
}

// The same text read as an ANSI program does (WM_GETTEXT of the "A" family).
inline std::string logTextAnsi(HWND window) {
  HWND edit = GetDlgItem(window, vantrel::kLogControlId);
  int length = GetWindowTextLengthA(edit);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT copied = SendMessageA(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(copied));
  return text;
}

// UTF-16 text from code page 932 bytes (explicitly 932, whatever the system's code page).
inline std::wstring fromCp932(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  int units = MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], units);
  return text;
}

// UTF-16 from UTF-8 (names and expected text written as readable source).
inline std::wstring fromUtf8(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], units);
  return text;
}

// Replaces the seconds of every timing line by "T", as the real clock decides them.
inline std::wstring withoutTimes(std::wstring text) {
  const std::wstring label = fromUtf8(u8"処理時間：");
  for (size_t at = text.find(label); at != std::wstring::npos; at = text.find(label, at + 1)) {
    size_t digits = at + label.size();
    size_t end = text.find(L' ', digits);
    if (end == std::wstring::npos) break;
    text.replace(digits, end - digits, L"T");
  }
  return text;
}

// A shell drop of these paths, as the shell hands it to a window: a DROPFILES block of UTF-16
// names in movable global memory, one after another and an empty name at the end.
inline HGLOBAL makeDrop(const std::vector<std::wstring>& paths) {
  size_t size = sizeof(DROPFILES) + sizeof(wchar_t);
  for (const std::wstring& path : paths) size += (path.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GHND, size);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES));
  for (const std::wstring& path : paths) {
    memcpy(names, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    names += path.size() + 1;
  }
  *names = L'\0';
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
