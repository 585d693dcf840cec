#include "converter/window/log_view.h"

#include <cstring>
#include <string>

#include "converter/log_trim.h"

namespace vantrel {

namespace {

bool isSystemLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace

LogView::~LogView() { destroyControl(); }

int LogView::createControl(HWND parent, int controlId) {
  destroyControl();
  RECT client;
  GetClientRect(parent, &client);
  HWND control = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", nullptr, kLogControlStyle, 0, 0,
                                 client.right - client.left, client.bottom - client.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), instance_, nullptr);
  if (control == nullptr) return 1;
  control_ = control;
  parent_ = parent;
  controlId_ = controlId;
  LOGFONTA face;
  std::memset(&face, 0, sizeof face);
  face.lfHeight = kLogFontHeight;
  face.lfCharSet = SHIFTJIS_CHARSET;
  std::strncpy(face.lfFaceName, kLogFontFace, LF_FACESIZE - 1);
  font_ = CreateFontIndirectA(&face);
  SendMessageA(control_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  SendMessageA(control_, EM_LIMITTEXT, kLogTextLimit, 0);
  return 0;
}

void LogView::append(const char* text) {
  if (control_ == nullptr || text == nullptr) return;
  size_t length = std::strlen(text);
  if (length > kLogCapacity) {
    // Only the newest part of an oversized text can stay.
    text += characterBoundaryAtOrAfter(text, length, length - kLogCapacity, isSystemLeadByte);
    length = std::strlen(text);
  }
  size_t current = static_cast<size_t>(GetWindowTextLengthA(control_));
  if (current + length > kLogCapacity) removeOldest(current + length - kLogCapacity);
  // Positions past the end are taken as the end, whatever unit the control counts in.
  WPARAM end = static_cast<WPARAM>(current);
  SendMessageA(control_, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendMessageA(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// Removes at least `bytes` bytes from the top, never half a double-byte character.
void LogView::removeOldest(size_t bytes) {
  size_t reported = static_cast<size_t>(GetWindowTextLengthA(control_));
  std::string current(reported + 1, '\0');
  size_t length = static_cast<size_t>(GetWindowTextA(control_, &current[0], static_cast<int>(reported + 1)));
  size_t cut = characterBoundaryAtOrAfter(current.data(), length, bytes, isSystemLeadByte);
  // The control counts positions in bytes or in characters depending on how it keeps its text;
  // the end of a select-all tells which.
  SendMessageA(control_, EM_SETSEL, 0, -1);
  DWORD end = 0;
  SendMessageA(control_, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&end));
  size_t position = end == length ? cut : characterCount(current.data(), cut, isSystemLeadByte);
  SendMessageA(control_, EM_SETSEL, 0, static_cast<LPARAM>(position));
  SendMessageA(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}

void LogView::fitToParent() {
  if (control_ == nullptr || parent_ == nullptr) return;
  RECT client;
  GetClientRect(parent_, &client);
  MoveWindow(control_, client.left, client.top, client.right, client.bottom, TRUE);
}

void LogView::destroyControl() {
  if (control_ == nullptr) return;
  DestroyWindow(control_);
  DeleteObject(font_);
  control_ = nullptr;
  font_ = nullptr;
}

}  // namespace vantrel
