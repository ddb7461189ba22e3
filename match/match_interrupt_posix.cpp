// Stopping a match on POSIX: SIGINT and SIGTERM handlers and a self-pipe.

#include "match/match_interrupt.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tovrane {

namespace {

// Enough for 64 game slots of two engines and the name probes.
constexpr int kMaxEngines = 160;

std::atomic<int> gSignal{0};
std::atomic<int> gWakeRead{-1};
std::atomic<int> gWakeWrite{-1};
std::atomic<const char*> gNote{kMatchStopNote};
std::atomic<std::intptr_t> gEngines[kMaxEngines];
struct sigaction gOldInt;
struct sigaction gOldTerm;

// Only async-signal-safe calls in here.
void onSignal(int signal) {
  int expected = 0;
  if (gSignal.compare_exchange_strong(expected, signal)) {
    const char* note = gNote.load();
    ssize_t ignored = write(2, "\n", 1);
    ignored = write(2, note, std::strlen(note));
    ignored = write(2, "\n", 1);
    const char byte = 1;
    ignored = write(gWakeWrite.load(), &byte, 1);
    (void)ignored;
    return;
  }
  for (std::atomic<std::intptr_t>& e : gEngines) {
    const pid_t pid = static_cast<pid_t>(e.load());
    if (pid > 0) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
    }
  }
  ::signal(signal, SIG_DFL);
  raise(signal);
}

}  // namespace

const char kMatchStopNote[] = "tovrane match: stopping; the finished games are kept (signal again to end at once)";

StopSignals::StopSignals(const char* note) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("cannot make a pipe for stop signals");
  gSignal = 0;
  gNote = note;
  gWakeRead = fds[0];
  gWakeWrite = fds[1];
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &gOldInt);
  sigaction(SIGTERM, &action, &gOldTerm);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &gOldInt, nullptr);
  sigaction(SIGTERM, &gOldTerm, nullptr);
  close(gWakeRead.exchange(-1));
  close(gWakeWrite.exchange(-1));
}

bool stopRequested() { return gSignal.load() != 0; }

int stopSignal() { return gSignal.load(); }

std::intptr_t stopWakeHandle() { return gWakeRead.load(); }

void requestStop(int signal) {
  int expected = 0;
  if (!gSignal.compare_exchange_strong(expected, signal)) return;
  const char byte = 1;
  const int fd = gWakeWrite.load();
  if (fd >= 0 && write(fd, &byte, 1) < 0 && errno != EAGAIN) return;
}

void waitForStop() {
  const int fd = gWakeRead.load();
  if (fd < 0) return;
  // The flag is raised before the pipe is written.
  while (!stopRequested()) {
    pollfd wake{fd, POLLIN, 0};
    if (poll(&wake, 1, -1) < 0 && errno != EINTR) return;
  }
}

void registerEngineProcess(std::intptr_t pid) {
  for (std::atomic<std::intptr_t>& e : gEngines) {
    std::intptr_t empty = 0;
    if (e.compare_exchange_strong(empty, pid)) return;
  }
}

void unregisterEngineProcess(std::intptr_t pid) {
  for (std::atomic<std::intptr_t>& e : gEngines) {
    std::intptr_t mine = pid;
    if (e.compare_exchange_strong(mine, 0)) return;
  }
}

}  // namespace tovrane
