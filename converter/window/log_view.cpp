#include "converter/window/log_view.h"

#include <cstring>

#include "converter/log_trim.h"

namespace vantrel {

namespace {

std::wstring fromLogCodePage(const char* text, size_t length) {
  if (length == 0) return std::wstring();
  int units = MultiByteToWideChar(kLogCodePage, 0, text, static_cast<int>(length), nullptr, 0);
  std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0) MultiByteToWideChar(kLogCodePage, 0, text, static_cast<int>(length), &wide[0], units);
  return wide;
}

// Every UTF-16 unit becomes one code page 932 character of one or two bytes ('?' for a unit
// the code page cannot spell), so counting characters in the result counts units in the text.
std::string toLogCodePage(const wchar_t* text, size_t length) {
  if (length == 0) return std::string();
  int bytes = WideCharToMultiByte(kLogCodePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) {
    WideCharToMultiByte(kLogCodePage, 0, text, static_cast<int>(length), &narrow[0], bytes, nullptr, nullptr);
  }
  return narrow;
}

// Units to drop from the front of text so that no surrogate pair is cut: a low surrogate left
// at the top goes too.
size_t wholeCharacters(const wchar_t* text, size_t length, size_t units) {
  if (units < length && text[units] >= 0xDC00 && text[units] <= 0xDFFF) ++units;
  return units;
}

// Held text stays small enough to fit the log whole (a unit counts two bytes at most): the
// log then trims it exactly as it would have trimmed its lines one by one.
constexpr size_t kHeldUnits = kLogCapacity / 2;

}  // namespace

LogView::~LogView() { destroyControl(); }

int LogView::createControl(HWND parent, int controlId) {
  destroyControl();
  RECT client;
  GetClientRect(parent, &client);
  HWND control = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr, kLogControlStyle, 0, 0,
                                 client.right - client.left, client.bottom - client.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), instance_, nullptr);
  if (control == nullptr) return 1;
  control_ = control;
  parent_ = parent;
  controlId_ = controlId;
  LOGFONTW face;
  std::memset(&face, 0, sizeof face);
  face.lfHeight = kLogFontHeight;
  face.lfCharSet = SHIFTJIS_CHARSET;
  wcsncpy(face.lfFaceName, kLogFontFace, LF_FACESIZE - 1);
  font_ = CreateFontIndirectW(&face);
  SendMessageW(control_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  SendMessageW(control_, EM_LIMITTEXT, kLogTextLimit, 0);
  return 0;
}

void LogView::append(const char* text) {
  if (control_ == nullptr || text == nullptr) return;
  appendText(fromLogCodePage(text, std::strlen(text)));
}

void LogView::appendName(const WCHAR* name) {
  if (control_ == nullptr || name == nullptr) return;
  appendText(name);
}

void LogView::appendText(std::wstring text) {
  if (!holding_) {
    showText(std::move(text));
    return;
  }
  if (held_.size() + text.size() > kHeldUnits) showHeldText();
  if (text.size() > kHeldUnits) {
    showText(std::move(text));
    return;
  }
  held_ += text;
  if (GetTickCount() - shownAt_ >= kLogRefreshMs) showHeldText();
}

void LogView::holdUpdates() {
  holding_ = true;
  shownAt_ = GetTickCount();
}

void LogView::showHeld() {
  showHeldText();
  holding_ = false;
}

void LogView::showHeldText() {
  shownAt_ = GetTickCount();
  if (held_.empty()) return;
  std::wstring text;
  text.swap(held_);
  showText(std::move(text));
}

void LogView::showText(std::wstring text) {
  // Measured on the text itself, so that characters and units always correspond.
  std::string bytes = toLogCodePage(text.data(), text.size());
  if (bytes.size() > kLogCapacity) {
    // Only the newest part of an oversized text can stay.
    size_t units = oldestCharactersToDrop(bytes.data(), bytes.size(), 0);
    text.erase(0, wholeCharacters(text.data(), text.size(), units));
    bytes = toLogCodePage(text.data(), text.size());
  }
  // A unit counts two bytes at most: only a log that may be full is read back and measured.
  size_t units = static_cast<size_t>(GetWindowTextLengthW(control_));
  if (2 * units + bytes.size() > kLogCapacity) removeOldest(bytes.size());
  WPARAM end = static_cast<WPARAM>(GetWindowTextLengthW(control_));
  SendMessageW(control_, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendMessageW(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

// Removes the oldest characters until incomingBytes more fit, never half a character.
void LogView::removeOldest(size_t incomingBytes) {
  size_t reported = static_cast<size_t>(GetWindowTextLengthW(control_));
  std::wstring current(reported + 1, L'\0');
  size_t length = static_cast<size_t>(GetWindowTextW(control_, &current[0], static_cast<int>(reported + 1)));
  std::string bytes = toLogCodePage(current.data(), length);
  size_t units = oldestCharactersToDrop(bytes.data(), bytes.size(), incomingBytes);
  if (units == 0) return;
  units = wholeCharacters(current.data(), length, units);
  SendMessageW(control_, EM_SETSEL, 0, static_cast<LPARAM>(units));
  SendMessageW(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

void LogView::fitToParent() {
  if (control_ == nullptr || parent_ == nullptr) return;
  RECT client;
  GetClientRect(parent_, &client);
  MoveWindow(control_, client.left, client.top, client.right, client.bottom, TRUE);
}

void LogView::destroyControl() {
  holding_ = false;
  held_.clear();
  if (control_ == nullptr) return;
  DestroyWindow(control_);
  DeleteObject(font_);
  control_ = nullptr;
  font_ = nullptr;
}

}  // namespace vantrel
