#include "tools/cli/stop.h"

#include <atomic>

#include "tools/cli/exit_codes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace cli {

namespace {

// Lock-free, so that a signal handler may touch it.
std::atomic<int> stopRequests{0};

#ifdef _WIN32
// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  requestStop();
  return TRUE;
}
#else
void onSignal(int) { requestStop(); }
#endif

}  // namespace

void installStopHandler() {
#ifdef _WIN32
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

void requestStop() {
  if (stopRequests.fetch_add(1) == 0) return;
  // The second request: the user will not wait for the safe point.
#ifdef _WIN32
  ExitProcess(kExitStopped);
#else
  _exit(kExitStopped);
#endif
}

bool stopRequested() { return stopRequests.load() != 0; }

}  // namespace cli
