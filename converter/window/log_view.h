// The message log: a multi-line Unicode EDIT control that fills the main window. Messages are
// code page 932 text, converted from code page 932 (never from the system's ANSI code page)
// for display, so the log reads the same under every system locale; file names are shown as
// the UTF-16 the system gave. The log keeps at most 32767 bytes of its text counted as code
// page 932, the newest ones, and never half a character.
#pragma once

#include <windows.h>

#include <string>

#include "converter/message_log.h"

namespace vantrel {

constexpr int kLogControlId = 101;
constexpr DWORD kLogControlStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                   ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN;  // 0x503010C4
constexpr int kLogFontHeight = 20;
constexpr wchar_t kLogFontFace[] = L"Terminal";
constexpr WPARAM kLogTextLimit = 32768;

class LogView : public MessageLog {
 public:
  LogView() = default;
  ~LogView() override;
  LogView(const LogView&) = delete;
  LogView& operator=(const LogView&) = delete;

  void setInstance(HINSTANCE instance) { instance_ = instance; }
  // Makes (or remakes) the control over the parent's client area. 0 on success, 1 when the
  // control cannot be made: every later append is then dropped.
  int createControl(HWND parent, int controlId);
  void append(const char* text) override;
  void appendName(const WCHAR* name) override;
  void fitToParent();
  void destroyControl();

  HWND control() const { return control_; }

 private:
  // Adds text, trimming the oldest text first.
  void appendText(std::wstring text);
  void removeOldest(size_t incomingBytes);

  HINSTANCE instance_ = nullptr;
  int controlId_ = kLogControlId;
  HWND control_ = nullptr;
  HFONT font_ = nullptr;
  HWND parent_ = nullptr;
};

}  // namespace vantrel
