#include "converter/message_log.h"

#include <cstdarg>
#include <cstdio>

namespace vantrel {

namespace {

// Room for the longest line we format: a 260-character name inside a message.
constexpr int kFormattedLineLength = 1024;

}  // namespace

void appendFormat(MessageLog& log, const char* format, ...) {
  char line[kFormattedLineLength];
  va_list args;
  va_start(args, format);
  int written = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (written < 0) return;
  log.append(line);
}

}  // namespace vantrel
