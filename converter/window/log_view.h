// The message log: a multi-line EDIT control that fills the main window and keeps the newest
// 32767 characters of everything appended to it.
#pragma once

#include <windows.h>

#include "converter/message_log.h"

namespace vantrel {

constexpr int kLogControlId = 101;
constexpr DWORD kLogControlStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                   ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN;  // 0x503010C4
constexpr int kLogFontHeight = 20;
constexpr char kLogFontFace[] = "Terminal";
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
  void fitToParent();
  void destroyControl();

  HWND control() const { return control_; }

 private:
  void removeOldest(size_t bytes);

  HINSTANCE instance_ = nullptr;
  int controlId_ = kLogControlId;
  HWND control_ = nullptr;
  HFONT font_ = nullptr;
  HWND parent_ = nullptr;
};

}  // namespace vantrel
