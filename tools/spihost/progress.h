// The progress callback the host hands to GetPicture and GetFile: it shows progress on a
// terminal once a call has run for a while (short calls and output to files stay quiet),
// can be told to ask for a stop every time, and notes reports that break the interface's
// rules (no denominator of 0, 0 <= num <= denom, the user value handed back).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "plugin_api/plugin_api.h"

namespace spihost {

// Calls shorter than this show no progress.
constexpr uint32_t kQuietMilliseconds = 500;

class ProgressLog {
 public:
  ProgressLog(std::ostream& err, bool askStop, bool show = false);
  ~ProgressLog();
  ProgressLog(const ProgressLog&) = delete;
  ProgressLog& operator=(const ProgressLog&) = delete;

  // What to pass as the callback and as lData: this log is the one the callback reports to
  // until it is destroyed.
  static spi::ProgressCallback callback();
  spi::UserData userData() const;

  // Ends an open progress line; the next call counts its time afresh.
  void finish();

  int calls() const { return calls_; }
  int stopsAsked() const { return stopsAsked_; }
  // The first report that broke the rules, or empty.
  const std::string& anomaly() const { return anomaly_; }

 private:
  static int SPI_CALL report(int num, int denom, spi::UserData user);
  int take(int num, int denom, spi::UserData user);

  std::ostream& err_;
  bool askStop_;
  bool show_;
  int calls_ = 0;
  int stopsAsked_ = 0;
  int lastPercent_ = -1;
  bool lineOpen_ = false;
  uint32_t startTick_;
  std::string anomaly_;
};

}  // namespace spihost
