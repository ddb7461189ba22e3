#pragma once
// One engine program running as a child process, spoken to through two
// pipes: lines written to its standard input, lines read from its standard
// output with a deadline. The child runs in its own process group, so that
// killing it also ends any helper processes it started.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace tovrane {

using Clock = std::chrono::steady_clock;

struct EngineCommand {
  std::string program;            // a path, or a name looked up in PATH
  std::vector<std::string> args;
};

// The program as an absolute path: a name with a '/' is taken relative to
// the current directory, one without is searched for in PATH. Returns an
// empty string when no executable file is found.
std::string resolveProgram(const std::string& program);

class EngineProcess {
 public:
  EngineProcess() = default;
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;
  ~EngineProcess();

  // Starts the program (already resolved) in workDir. On failure returns
  // false and says why in error.
  bool start(const std::string& path, const std::vector<std::string>& args, const std::string& workDir,
             std::string& error);
  bool running() const { return pid_ > 0; }

  // Writes text and a line feed. False when the engine no longer reads.
  bool writeLine(const std::string& text);

  // kStopped: the match was asked to stop (see match_interrupt.h).
  enum class ReadStatus { kLine, kTimeout, kClosed, kStopped };
  // Reads one line (without its line feed) that arrives before deadline.
  ReadStatus readLine(Clock::time_point deadline, std::string& line);

  // How the process ended, after its output closed: waits up to a second.
  std::string exitDescription();
  // The signal that ended the process, as found by exitDescription; 0 if none.
  int exitSignal() const { return exitSignal_; }

  // Sends "stop", gives the engine a moment to exit, then kills it.
  void stop();
  // Ends the process group at once.
  void kill();

 private:
  void closePipes();

  void forget();  // the process is reaped: no longer ours to kill

  pid_t pid_ = -1;
  int exitSignal_ = 0;
  int toEngine_ = -1;
  int fromEngine_ = -1;
  std::string pending_;  // bytes read past the last complete line
};

}  // namespace tovrane
