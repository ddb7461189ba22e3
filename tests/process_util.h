#pragma once
// Runs a program as a child process with the given standard input, in the
// given working directory, and collects what it writes and how it ends.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace tovrane::test {

struct ProgramRun {
  std::string out;
  std::string err;
  int exitStatus = -1;  // -1 when ended by a signal
  int signal = 0;
  bool timedOut = false;
  long peakKilobytes = 0;  // the child's peak resident memory
};

struct RunOptions {
  bool keepInputOpen = false;     // never close the child's standard input
  bool closeOutput = false;       // close our end of the child's standard output at once
  bool ignorePipeSignal = false;  // start the child with SIGPIPE ignored
  std::string inputFile;          // when set, the child reads this file instead of input
  // When set (>= 0, and this process is root), the child drops to this user
  // and group after entering its working directory and before the program
  // starts. The program file is opened beforehand, so only its own mode must
  // let that user execute it, not the folders above it.
  int userId = -1;
  int groupId = -1;
};

// The engine programs the end-to-end tests drive, and their arguments:
// engine-pro searches to a fixed depth there, so that its answers are the
// same on every run and come quickly.
inline const char* const kEnginePrograms[] = {"engine", "engine-deep", "engine-classic", "engine-pro"};
inline std::vector<std::string> engineArgs(const std::string& program) {
  if (program == "engine-pro") return {"--depth", "3"};
  return {};
}

inline std::string programPath(const std::string& name) {
  const std::string bin = TOVRANE_BIN_DIR;
  if (name == "tovrane") return bin + "/tools/tovrane";
  return bin + "/app/" + name;
}

// input is written in full and then standard input is closed, unless
// keepInputOpen (then the child sees no end of input until it exits or the
// timeout kills it).
inline ProgramRun runProgram(const std::string& path, const std::vector<std::string>& args, const std::string& input,
                             const std::string& workDir = "", int timeoutSeconds = 60,
                             const RunOptions& options = {}) {
  int inPipe[2], outPipe[2], errPipe[2];
  if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    const int inFile = options.inputFile.empty() ? -1 : open(options.inputFile.c_str(), O_RDONLY);
    dup2(inFile >= 0 ? inFile : inPipe[0], 0);
    if (inFile >= 0) close(inFile);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
    // Ignored signals stay ignored across exec; give the child the default
    // unless asked, whatever this process does with SIGPIPE.
    signal(SIGPIPE, options.ignorePipeSignal ? SIG_IGN : SIG_DFL);
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (options.userId >= 0) {
      const int program = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (program < 0 || setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(options.groupId)) != 0 ||
          setuid(static_cast<uid_t>(options.userId)) != 0) {
        _exit(125);
      }
      fexecve(program, argv.data(), environ);
      _exit(127);
    }
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  close(errPipe[1]);
  signal(SIGPIPE, SIG_IGN);
  ProgramRun run;
  size_t written = 0;
  int inFd = inPipe[1];
  fcntl(inFd, F_SETFL, O_NONBLOCK);
  if (input.empty() && !options.keepInputOpen) {
    close(inFd);
    inFd = -1;
  }
  int openOutputs = 2;
  if (options.closeOutput) {
    close(outPipe[0]);
    outPipe[0] = -1;
    --openOutputs;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (openOutputs > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      run.timedOut = true;
      break;
    }
    const bool writing = inFd >= 0 && written < input.size();
    pollfd fds[3] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}, {writing ? inFd : -1, POLLOUT, 0}};
    poll(fds, 3, static_cast<int>(left.count()));
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        (i == 0 ? outPipe[0] : errPipe[0]) = -1;
        --openOutputs;
      }
    }
    if (writing && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = write(inFd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 || (written == input.size() && !options.keepInputOpen)) {
        close(inFd);
        inFd = -1;
      }
    }
  }
  for (int fd : {inFd, outPipe[0], errPipe[0]}) {
    if (fd >= 0) close(fd);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.peakKilobytes = usage.ru_maxrss;
  if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  return run;
}

}  // namespace tovrane::test
