// Helpers for the converter's tests: a log that keeps what it is given, a clock that says
// what the test wants, a working directory of the test's own, and code page 932 bytes made
// from UTF-8 text (so expected messages are written as readable Japanese).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "converter/clock.h"
#include "converter/message_log.h"
#include "platform/win32.h"
#include "tests/common/temp_folder.h"

#ifndef _WIN32
#include <iconv.h>
#endif

namespace converter_testing {

using WideString = std::basic_string<WCHAR>;

// The UTF-16 form of a UTF-8 text, and back.
inline WideString wide(const std::string& utf8) {
  if (utf8.empty()) return WideString();
  int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  WideString text(static_cast<size_t>(units), 0);
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], units);
  return text;
}

inline std::string utf8(const WideString& text) {
  if (text.empty()) return std::string();
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
  return out;
}

// Writes a file by its UTF-16 name, whatever the system's code page can spell.
inline bool writeFileNamed(const WideString& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  return CloseHandle(file) && ok;
}

// Keeps messages as the code page 932 bytes they are, and names as UTF-8.
class CapturedLog : public vantrel::MessageLog {
 public:
  void append(const char* text) override {
    pieces.push_back(text);
    text_ += text;
  }
  void appendName(const WCHAR* name) override { append(utf8(name).c_str()); }
  const std::string& text() const { return text_; }
  std::vector<std::string> pieces;

 private:
  std::string text_;
};

// Local time 2002-04-01 05:06:07 unless set; tick counts are handed out from a list (the
// last one repeats).
class FixedClock : public vantrel::Clock {
 public:
  FixedClock() {
    now = SYSTEMTIME{};
    now.wYear = 2002;
    now.wMonth = 4;
    now.wDay = 1;
    now.wHour = 5;
    now.wMinute = 6;
    now.wSecond = 7;
  }
  void localTime(SYSTEMTIME* out) override {
    *out = now;
    ++localTimeReads;
  }
  DWORD tickCount() override {
    DWORD value = ticks.empty() ? 0 : ticks[nextTick < ticks.size() ? nextTick : ticks.size() - 1];
    ++nextTick;
    return value;
  }
  SYSTEMTIME now;
  std::vector<DWORD> ticks{1000, 1000};
  size_t nextTick = 0;
  int localTimeReads = 0;
};

// Makes a fresh folder the working directory for the life of the object.
class WorkingFolder : public testing_support::TempFolder {
 public:
  WorkingFolder() : previous_(std::filesystem::current_path()) { std::filesystem::current_path(root()); }
  ~WorkingFolder() {
    std::error_code error;
    std::filesystem::current_path(previous_, error);
  }

  // Every entry of the folder, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path previous_;
};

// The code page 932 bytes of a UTF-8 text.
inline std::string cp932(const std::string& utf8) {
#ifdef _WIN32
  int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], wide);
  int bytes = WideCharToMultiByte(932, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(932, 0, text.data(), wide, &out[0], bytes, nullptr, nullptr);
  return out;
#else
  iconv_t convert = iconv_open("CP932", "UTF-8");
  EXPECT_NE(convert, reinterpret_cast<iconv_t>(-1));
  std::string in = utf8;
  std::string out(in.size() * 2 + 8, '\0');
  char* inPointer = &in[0];
  size_t inLeft = in.size();
  char* outPointer = &out[0];
  size_t outLeft = out.size();
  size_t result = iconv(convert, &inPointer, &inLeft, &outPointer, &outLeft);
  EXPECT_NE(result, static_cast<size_t>(-1)) << "cannot convert " << utf8;
  iconv_close(convert);
  out.resize(out.size() - outLeft);
  return out;
#endif
}

}  // namespace converter_testing
