#pragma once
// Stopping a match from outside. While a StopSignals guard lives, SIGINT and
// SIGTERM ask the match to stop: the flag is raised and a pipe becomes
// readable, so every thread waiting for an engine wakes at once and the match
// winds down cleanly (engines told "stop", working folders removed, the
// finished games kept). A second signal ends the process at once: the
// registered engine process groups are killed first, so none is left behind.

#include <sys/types.h>

namespace tovrane {

class StopSignals {
 public:
  StopSignals();   // installs the handlers; only one guard at a time
  ~StopSignals();  // puts the previous handlers back
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
};

// True once a stop was asked for (cleared when a new guard is made).
bool stopRequested();
// The signal that asked for the stop, 0 when none.
int stopSignal();
// A descriptor that becomes readable when a stop is asked for; -1 when no
// guard lives. Waits on engine output poll it as well.
int stopWakeFd();
// Asks for a stop as a signal would (for stops decided inside the match).
void requestStop(int signal);

// The engine processes (group leaders) a second signal kills.
void registerEngineProcess(pid_t pid);
void unregisterEngineProcess(pid_t pid);

}  // namespace tovrane
