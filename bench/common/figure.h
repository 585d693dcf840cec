// Timing for the plain timing programs: one figure over many rounds, by the fastest
// wall-clock time and by the mean processor time of the whole process (every thread, page
// faults included: the plug-ins may hand part of a call to a second thread, so the calling
// thread's own time would leave that part out).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>

#ifndef _WIN32
#include <time.h>
#endif

#include "platform/win32.h"

namespace bench {

inline double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Windows counts processor time in scheduler ticks, so one figure is the mean over rounds.
inline double processSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
#else
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

class Figure {
 public:
  void start() {
    wall_ = wallSeconds();
    cpu_ = processSeconds();
  }
  void stop() {
    best_ = std::min(best_, wallSeconds() - wall_);
    cpuSum_ += processSeconds() - cpu_;
    ++rounds_;
  }
  double best() const { return best_; }
  double cpu() const { return rounds_ == 0 ? 0 : cpuSum_ / rounds_; }

 private:
  double wall_ = 0, cpu_ = 0, best_ = 1e30, cpuSum_ = 0;
  int rounds_ = 0;
};

// The figures of one picture in the picture timing programs: GetPicture from memory and from
// a file, the anchor (alloc + copy of the bitmap), and the parts of a call timed alone.
struct PictureTimes {
  Figure memory, file, anchor, readFile, touchBits, decode;
};

// Both clocks' lines for one picture of `megabytes` MB of bitmap.
inline void printPictureTimes(const PictureTimes& t, double megabytes) {
  const struct {
    const char* clock;
    double (Figure::*time)() const;
  } clocks[] = {{"best wall", &Figure::best}, {"mean cpu", &Figure::cpu}};
  for (const auto& c : clocks) {
    const double anchor = (t.anchor.*c.time)(), memory = (t.memory.*c.time)(), file = (t.file.*c.time)();
    std::printf("  %-9s GetPicture memory %7.1f MB/s (x %.2f), file %7.1f MB/s (x %.2f) | alloc+copy %7.1f MB/s | "
                "ms: memory %.2f, file %.2f, alloc+copy %.2f, read file %.2f, allocate + touch %.2f, decode loop "
                "%.2f\n",
                c.clock, megabytes / memory, anchor / memory, megabytes / file, anchor / file, megabytes / anchor,
                memory * 1e3, file * 1e3, anchor * 1e3, (t.readFile.*c.time)() * 1e3, (t.touchBits.*c.time)() * 1e3,
                (t.decode.*c.time)() * 1e3);
  }
}

}  // namespace bench
