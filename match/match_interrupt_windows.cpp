// Stopping a match on Windows: a console control handler (Ctrl-C and
// Ctrl-Break ask as SIGINT; closing the console, logging off and shutting
// down as SIGTERM) and a manual-reset event to wake the waiting threads.
// The system runs the handler on a thread of its own.

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "match/match_interrupt.h"

namespace tovrane {

namespace {

// Enough for 64 game slots of two engines and the name probes.
constexpr int kMaxEngines = 160;
// Windows ends a process this long after a close event at the latest; the
// handler lets the match wind down for most of it.
constexpr DWORD kCloseGraceMs = 4500;

std::atomic<int> gSignal{0};
std::atomic<bool> gGuarded{false};
std::atomic<const char*> gNote{kMatchStopNote};
std::atomic<std::intptr_t> gEngines[kMaxEngines];
// Made once and never closed, so a handler running late never signals a
// handle that was closed and reused.
HANDLE gWake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
HANDLE gGuardEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI onConsoleEvent(DWORD event) {
  const bool closing = event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
  const int signal = closing ? SIGTERM : SIGINT;
  int expected = 0;
  if (gSignal.compare_exchange_strong(expected, signal)) {
    std::fprintf(stderr, "\n%s\n", gNote.load());
    std::fflush(stderr);
    SetEvent(gWake);
    // After a close event returns, the system ends the process: wait for
    // the match to have wound down.
    if (closing) WaitForSingleObject(gGuardEnded, kCloseGraceMs);
    return TRUE;
  }
  for (std::atomic<std::intptr_t>& e : gEngines) {
    const HANDLE engine = reinterpret_cast<HANDLE>(e.load());
    if (engine != nullptr && !TerminateJobObject(engine, 1)) TerminateProcess(engine, 1);
  }
  ExitProcess(128 + signal);
}

}  // namespace

const char kMatchStopNote[] = "tovrane match: stopping; the finished games are kept (Ctrl-C again to end at once)";

StopSignals::StopSignals(const char* note) {
  gSignal = 0;
  gNote = note;
  ResetEvent(gWake);
  ResetEvent(gGuardEnded);
  gGuarded = true;
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
  SetConsoleCtrlHandler(onConsoleEvent, FALSE);
  gGuarded = false;
  SetEvent(gGuardEnded);
}

bool stopRequested() { return gSignal.load() != 0; }

int stopSignal() { return gSignal.load(); }

std::intptr_t stopWakeHandle() { return gGuarded.load() ? reinterpret_cast<std::intptr_t>(gWake) : 0; }

void requestStop(int signal) {
  int expected = 0;
  if (gSignal.compare_exchange_strong(expected, signal)) SetEvent(gWake);
}

void waitForStop() {
  if (gGuarded.load()) WaitForSingleObject(gWake, INFINITE);
}

void registerEngineProcess(std::intptr_t engine) {
  for (std::atomic<std::intptr_t>& e : gEngines) {
    std::intptr_t empty = 0;
    if (e.compare_exchange_strong(empty, engine)) return;
  }
}

void unregisterEngineProcess(std::intptr_t engine) {
  for (std::atomic<std::intptr_t>& e : gEngines) {
    std::intptr_t mine = engine;
    if (e.compare_exchange_strong(mine, 0)) return;
  }
}

}  // namespace tovrane
