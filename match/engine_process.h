#pragma once
// One engine program running as a child process, spoken to through two
// pipes: lines written to its standard input, lines read from its standard
// output with a deadline. Killing it also ends any helper processes it
// started (a process group on POSIX, a job object on Windows).
// engine_process.cpp holds what both platforms share; engine_process_posix.cpp
// and engine_process_windows.cpp the rest.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "match/protocol_log.h"

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

// Why resolveProgram found nothing, for the user: no such file, a file that
// is not executable (with the chmod +x to fix it), a name not in PATH that
// is a file here (with the ./ to run it).
std::string programProblem(const std::string& program);

// A line longer than this is cut: readLine returns its first kMaxLineBytes
// and drops the rest, so an engine's flood costs no more memory.
constexpr size_t kMaxLineBytes = 64 * 1024;

// Relays an engine's standard error to the protocol log, a line at a time,
// until readSome says the stream ended (-1) or quit is set. readSome waits a
// moment for bytes and returns how many it read, 0 if none came.
void relayErrorLines(const ProcessLabel& label, const std::atomic<bool>& quit,
                     const std::function<long(char*, size_t)>& readSome);

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
  // With the protocol log on, the line is logged; so is each line written.
  ReadStatus readLine(Clock::time_point deadline, std::string& line);

  // Who the engine is in the protocol log (protocol_log.h).
  void setLabel(const std::string& name, int game) { label_->set(name, game); }
  // Bytes read but not yet returned as a line.
  size_t bufferedBytes() const { return pending_.size(); }

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
  // Ends the thread that relays the engine's standard error, after what is
  // left in the pipe.
  void stopErrorRelay();

  std::unique_ptr<Native> native_;
  std::string pending_;     // bytes read past the last complete line
  bool skipping_ = false;   // dropping the rest of a line cut at kMaxLineBytes
  std::shared_ptr<ProcessLabel> label_ = std::make_shared<ProcessLabel>();
  std::thread errorRelay_;
  std::atomic<bool> relayQuit_{false};
};

}  // namespace tovrane
