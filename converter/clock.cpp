#include "converter/clock.h"

namespace vantrel {

namespace {

class SystemClock : public Clock {
 public:
  void localTime(SYSTEMTIME* now) override { GetLocalTime(now); }
  DWORD tickCount() override { return GetTickCount(); }
};

}  // namespace

Clock& systemClock() {
  static SystemClock clock;
  return clock;
}

}  // namespace vantrel
