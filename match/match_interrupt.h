#pragma once
// Stopping a match from outside. While a StopSignals guard lives, Ctrl-C
// and the like (POSIX: SIGINT, SIGTERM; Windows: the console's Ctrl-C,
// Ctrl-Break and close events) ask the match to stop: the flag is raised and
// a wake object is signalled, so every thread waiting for an engine wakes at
// once and the match winds down cleanly (engines told "stop", working folders
// removed, the finished games kept). A second one ends the process at once:
// the registered engines and their helpers are killed first, so none is left
// behind. match_interrupt_posix.cpp and match_interrupt_windows.cpp implement
// it.

#include <cstdint>

namespace tovrane {

// What the first stop prints on standard error, for a match.
extern const char kMatchStopNote[];

class StopSignals {
 public:
  // Installs the handlers; only one guard at a time. The first stop prints
  // note and a line feed on standard error.
  explicit StopSignals(const char* note = kMatchStopNote);
  ~StopSignals();  // puts the previous handlers back
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
};

// True once a stop was asked for (cleared when a new guard is made).
bool stopRequested();
// The signal that asked for the stop (SIGINT, SIGTERM), 0 when none.
int stopSignal();
// Asks for a stop as a signal would (for stops decided inside the match).
void requestStop(int signal);
// Blocks until a stop is asked for; returns at once when no guard lives.
void waitForStop();

// The platform's wake object, for the engine process code to wait on beside
// an engine's output: a descriptor that becomes readable (POSIX) or an event
// handle that becomes signalled (Windows) when a stop is asked for; -1 (0 on
// Windows) when no guard lives.
std::intptr_t stopWakeHandle();

// The engines a second signal kills: process group leaders (POSIX) or job
// objects (Windows).
void registerEngineProcess(std::intptr_t engine);
void unregisterEngineProcess(std::intptr_t engine);

}  // namespace tovrane
