// The message log as the converter sees it: one operation that adds text at the end.
// In the program it is the window's LogView; tests hand in a log that keeps the text.
#pragma once

namespace vantrel {

class MessageLog {
 public:
  virtual ~MessageLog() = default;
  // Adds the NUL-terminated text (code page 932, with its own "\r\n") at the end of the log.
  virtual void append(const char* text) = 0;
};

// Formats like printf into a bounded buffer and appends the result; a line longer than the
// buffer is cut, never overrun.
void appendFormat(MessageLog& log, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace vantrel
