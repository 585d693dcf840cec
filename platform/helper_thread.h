// A second thread for part of one call: started with a routine, joined before the call
// returns. A plain CreateThread on Windows and pthread_create elsewhere: a plug-in carries
// no thread library, and nothing here throws.
#pragma once

#ifndef _WIN32
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#endif

#include "platform/win32.h"

namespace platform {

// Processors that can run threads of this process at once.
inline unsigned processorCount() {
#ifdef _WIN32
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
#else
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<unsigned>(count) : 1;
#endif
}

// Lets another thread run on this processor for a moment.
inline void yieldProcessor() {
#ifdef _WIN32
  SwitchToThread();
#else
  sched_yield();
#endif
}

class HelperThread {
 public:
  typedef void (*Routine)(void* argument);

  HelperThread() = default;
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;
  ~HelperThread() { join(); }

  // Starts routine(argument) on the thread, once; false when no thread could be had.
  bool start(Routine routine, void* argument) {
    routine_ = routine;
    argument_ = argument;
#ifdef _WIN32
    // The routine needs little stack: reserve little of a 32-bit host's address space.
    thread_ = CreateThread(nullptr, kStackBytes, &HelperThread::run, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
#else
    started_ = pthread_create(&thread_, nullptr, &HelperThread::run, this) == 0;
#endif
    return started();
  }

  bool started() const {
#ifdef _WIN32
    return thread_ != nullptr;
#else
    return started_;
#endif
  }

  // Waits for the routine to return; nothing when it has been joined already.
  void join() {
#ifdef _WIN32
    if (thread_ == nullptr) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
#else
    if (!started_) return;
    pthread_join(thread_, nullptr);
    started_ = false;
#endif
  }

 private:
#ifdef _WIN32
  static constexpr SIZE_T kStackBytes = 64 * 1024;
  static DWORD WINAPI run(void* self) {
    const HelperThread* helper = static_cast<const HelperThread*>(self);
    helper->routine_(helper->argument_);
    return 0;
  }
  HANDLE thread_ = nullptr;
#else
  static void* run(void* self) {
    const HelperThread* helper = static_cast<const HelperThread*>(self);
    helper->routine_(helper->argument_);
    return nullptr;
  }
  pthread_t thread_{};
  bool started_ = false;
#endif
  Routine routine_ = nullptr;
  void* argument_ = nullptr;
};

}  // namespace platform
