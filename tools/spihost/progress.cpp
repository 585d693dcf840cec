#include "tools/spihost/progress.h"

#include "platform/win32.h"
#include "tools/cli/stop.h"

namespace spihost {

namespace {

// The log that receives reports. The callback finds it here rather than through the user
// value, so that a plug-in that garbles the user value is caught instead of followed.
ProgressLog* activeLog = nullptr;

}  // namespace

ProgressLog::ProgressLog(std::ostream& err, bool askStop, bool show)
    : err_(err), askStop_(askStop), show_(show), startTick_(GetTickCount()) {
  activeLog = this;
}

ProgressLog::~ProgressLog() {
  finish();
  if (activeLog == this) activeLog = nullptr;
}

spi::ProgressCallback ProgressLog::callback() { return &ProgressLog::report; }

spi::UserData ProgressLog::userData() const { return reinterpret_cast<spi::UserData>(this); }

int SPI_CALL ProgressLog::report(int num, int denom, spi::UserData user) {
  return activeLog != nullptr ? activeLog->take(num, denom, user) : 1;
}

int ProgressLog::take(int num, int denom, spi::UserData user) {
  ++calls_;
  if (anomaly_.empty()) {
    std::string where = " (" + std::to_string(num) + ", " + std::to_string(denom) + ")";
    if (user != userData()) {
      anomaly_ = "progress report with a user value other than the one passed" + where;
    } else if (denom <= 0) {
      anomaly_ = "progress report with a denominator of 0 or less" + where;
    } else if (num < 0 || num > denom) {
      anomaly_ = "progress report outside 0..denominator" + where;
    }
  }
  bool longWork = show_ && GetTickCount() - startTick_ >= kQuietMilliseconds;  // wraps safely in 32 bits
  if (longWork && denom > 0 && num >= 0 && num <= denom) {
    int percent = static_cast<int>(static_cast<int64_t>(num) * 100 / denom);
    if (percent != lastPercent_) {
      err_ << "\rprogress " << percent << "%" << std::flush;
      lastPercent_ = percent;
      lineOpen_ = true;
    }
  }
  // Ctrl-C asks the plug-in to stop as well: one that listens ends its call early.
  if (cli::stopRequested()) return 1;
  if (!askStop_) return 0;
  ++stopsAsked_;
  return 1;
}

void ProgressLog::finish() {
  if (lineOpen_) err_ << "\n";
  lineOpen_ = false;
  lastPercent_ = -1;
  startTick_ = GetTickCount();
}

}  // namespace spihost
