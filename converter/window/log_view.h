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
// While updates are held, text reaches the control at most this often (and when the hold ends).
constexpr DWORD kLogRefreshMs = 100;

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
  // Between these two calls appended text is collected and shown in a few larger pieces: every
  // line still arrives, in order, and the log ends as if each had been added alone. Adding a
  // line to the control costs far more than the line (under wine about a millisecond), which
  // a split of many small images would otherwise pay once per file.
  void holdUpdates();
  void showHeld();

  HWND control() const { return control_; }

 private:
  // Adds text, or collects it while updates are held.
  void appendText(std::wstring text);
  // Adds text to the control, trimming the oldest text first.
  void showText(std::wstring text);
  void showHeldText();
  void removeOldest(size_t incomingBytes);

  HINSTANCE instance_ = nullptr;
  int controlId_ = kLogControlId;
  HWND control_ = nullptr;
  HFONT font_ = nullptr;
  HWND parent_ = nullptr;
  bool holding_ = false;
  std::wstring held_;  // at most half the log's capacity in units
  DWORD shownAt_ = 0;  // tick count of the last piece shown while holding
};

}  // namespace vantrel
