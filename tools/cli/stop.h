// Ctrl-C (and Ctrl-Break, or SIGINT and SIGTERM off Windows) as a request to stop: the
// first one is noted and the work stops at its next safe point, removing its temporary
// files; a second one ends the process at once.
#pragma once

namespace cli {

// Makes Ctrl-C a request to stop for the rest of the process's life.
void installStopHandler();

// What the handler does; also callable directly.
void requestStop();

bool stopRequested();

}  // namespace cli
