// The message log as the converter sees it: text added at the end. Messages are code page 932
// text; file names come in UTF-16, as the system gives them, so that names of any script reach
// the log unharmed. In the program it is the window's LogView; tests hand in a log that keeps
// the text.
#pragma once

#include "platform/win32.h"

namespace vantrel {

// The code page of every message, whatever the system's own.
constexpr UINT kLogCodePage = 932;

class MessageLog {
 public:
  virtual ~MessageLog() = default;
  // Adds the NUL-terminated text (code page 932, with its own "\r\n") at the end of the log.
  virtual void append(const char* text) = 0;
  // Adds a NUL-terminated file name, as the system spells it.
  virtual void appendName(const WCHAR* name) = 0;
};

// Formats like printf into a bounded buffer and appends the result; a line longer than the
// buffer is cut, never overrun.
void appendFormat(MessageLog& log, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace vantrel
