#pragma once
// One engine program running as a child process, spoken to through two
// pipes: lines written to its standard input, lines read from its standard
// output with a deadline. Killing it also ends any helper processes it
// started (a process group on POSIX, a job object on Windows).
// engine_process.cpp holds what both platforms share; engine_process_posix.cpp
// and engine_process_windows.cpp the rest.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tovrane {

using Clock = std::chrono::steady_clock;

struct EngineCommand {
  std::string program;            // a path, or a name looked up in PATH
  std::vector<std::string> args;
};

// The program as an absolute path: a name with a directory separator is
// taken relative to the current directory, one without is searched for in
// PATH (on Windows first in the current directory, and with ".exe" added
// when it has no extension). Returns an empty string when no executable
// file is found.
std::string resolveProgram(const std::string& program);

class EngineProcess {
 public:
  EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;
  ~EngineProcess();

  // Starts the program (already resolved) in workDir. On failure returns
  // false and says why in error.
  bool start(const std::string& path, const std::vector<std::string>& args, const std::string& workDir,
             std::string& error);
  bool running() const;

  // Writes text and a line feed. False when the engine no longer reads.
  bool writeLine(const std::string& text);

  // kStopped: the match was asked to stop (see match_interrupt.h).
  enum class ReadStatus { kLine, kTimeout, kClosed, kStopped };
  // Reads one line (without its line feed) that arrives before deadline.
  ReadStatus readLine(Clock::time_point deadline, std::string& line);

  // How the process ended, after its output closed: waits up to a second.
  std::string exitDescription();
  // When exitDescription found the process ended from outside, by SIGINT,
  // SIGTERM or SIGHUP (on Windows: by a console Ctrl-C, as SIGINT), that
  // signal; 0 otherwise.
  int outsideStopSignal() const;

  // Sends "stop", gives the engine a moment to exit, then kills it.
  void stop();
  // Ends the process and its helpers at once.
  void kill();

 private:
  struct Native;  // the platform's handles, in engine_process_<platform>.cpp

  // Appends what the engine wrote to pending_, waiting until deadline.
  // kLine when something was read.
  ReadStatus readMore(Clock::time_point deadline);
  bool writeAll(const std::string& bytes);
  void closePipes();

  std::unique_ptr<Native> native_;
  std::string pending_;  // bytes read past the last complete line
};

}  // namespace tovrane
