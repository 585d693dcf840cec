#include "tools/cli/console.h"

#include <iostream>
#include <streambuf>
#include <string>

#include "tools/cli/text.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace cli {

#ifdef _WIN32

namespace {

bool isConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

// Bytes a UTF-8 text ends with that begin a character not yet complete.
size_t incompleteTail(const std::string& text) {
  size_t back = 0;
  while (back < text.size() && back < 4) {
    unsigned char c = static_cast<unsigned char>(text[text.size() - 1 - back]);
    ++back;
    if ((c & 0xC0) != 0x80) {  // the lead byte: is its character complete?
      size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      return need > back ? back : 0;
    }
  }
  return 0;
}

class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(DWORD which) : handle_(GetStdHandle(which)), console_(isConsole(handle_)) {}

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    pending_ += static_cast<char>(c);
    if (c == '\n' || pending_.size() >= 4096) sync();
    return c;
  }

  std::streamsize xsputn(const char* data, std::streamsize count) override {
    pending_.append(data, static_cast<size_t>(count));
    if (pending_.size() >= 4096 || pending_.find('\n') != std::string::npos) sync();
    return count;
  }

  int sync() override {
    if (pending_.empty()) return 0;
    size_t tail = console_ ? incompleteTail(pending_) : 0;
    std::string now = pending_.substr(0, pending_.size() - tail);
    pending_.erase(0, now.size());
    DWORD done = 0;
    if (console_) {
      WideString wide = wideFromUtf8(now);
      if (!wide.empty()) WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
    } else if (!now.empty()) {
      WriteFile(handle_, now.data(), static_cast<DWORD>(now.size()), &done, nullptr);
    }
    return 0;
  }

 private:
  HANDLE handle_;
  bool console_;
  std::string pending_;
};

}  // namespace

void useUnicodeConsole() {
  // Never destroyed: the streams are flushed at exit after every static object is gone.
  std::cout.rdbuf(new ConsoleBuffer(STD_OUTPUT_HANDLE));
  std::cerr.rdbuf(new ConsoleBuffer(STD_ERROR_HANDLE));
}

bool stderrIsTerminal() { return isConsole(GetStdHandle(STD_ERROR_HANDLE)); }

#else

void useUnicodeConsole() {}

bool stderrIsTerminal() { return isatty(2) != 0; }

#endif

}  // namespace cli
