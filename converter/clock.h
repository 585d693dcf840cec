// Where the converter reads the time: the local date and time for the name fields and the
// millisecond tick count for the timing line. Tests inject a fixed clock.
#pragma once

#include "platform/win32.h"

namespace vantrel {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void localTime(SYSTEMTIME* now) = 0;
  virtual DWORD tickCount() = 0;
};

// The system's clock: GetLocalTime and GetTickCount.
Clock& systemClock();

}  // namespace vantrel
