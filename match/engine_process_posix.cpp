// Engine processes on POSIX: fork and exec with two pipes, the child in its
// own process group, poll for reading with a deadline.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "match/engine_process.h"
#include "match/match_interrupt.h"

namespace tovrane {

namespace {

// Time an engine gets to exit after "stop" or to be reaped after its output
// closed.
constexpr auto kExitGrace = std::chrono::milliseconds(1000);
constexpr auto kReapPoll = std::chrono::milliseconds(5);

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Waits for the child to end, at most for grace; returns true and the
// status when it did.
bool reap(pid_t pid, std::chrono::milliseconds grace, int& status) {
  const auto deadline = Clock::now() + grace;
  while (true) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return done == pid;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kReapPoll);
  }
}

// Once per process, before the first engine starts: a write to an engine
// that has died must come back as an error, not end the referee; and the
// engines' pipes must not land on a closed standard descriptor, where the
// child's redirection would not take.
void prepareReferee() {
  static std::once_flag once;
  std::call_once(once, [] {
    signal(SIGPIPE, SIG_IGN);
    for (int fd = 0; fd <= 2; ++fd) {
      if (fcntl(fd, F_GETFD) == -1) open("/dev/null", O_RDWR);
    }
  });
}

}  // namespace

struct EngineProcess::Native {
  pid_t pid = -1;
  int exitSignal = 0;
  int toEngine = -1;
  int fromEngine = -1;
  int errorsFromEngine = -1;  // read by the relay thread only, closed after it ended

  // The process is reaped: no longer ours to kill.
  void forget() {
    unregisterEngineProcess(pid);
    pid = -1;
  }
};

std::string resolveProgram(const std::string& program) {
  if (program.empty()) return "";
  if (program.find('/') != std::string::npos) {
    const std::string path = std::filesystem::absolute(program).lexically_normal().string();
    return isExecutableFile(path) ? path : "";
  }
  const char* searchPath = std::getenv("PATH");
  std::string dirs = searchPath != nullptr ? searchPath : "/usr/bin:/bin";
  size_t begin = 0;
  while (begin <= dirs.size()) {
    size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    // An empty PATH entry means the current directory.
    const std::string dir = end > begin ? dirs.substr(begin, end - begin) : std::string(".");
    const std::string path = std::filesystem::absolute(dir + "/" + program).lexically_normal().string();
    if (isExecutableFile(path)) return path;
    begin = end + 1;
  }
  return "";
}

EngineProcess::EngineProcess() : native_(std::make_unique<Native>()) {}

EngineProcess::~EngineProcess() { kill(); }

bool EngineProcess::running() const { return native_->pid > 0; }

int EngineProcess::outsideStopSignal() const {
  const int signal = native_->exitSignal;
  return signal == SIGINT || signal == SIGTERM || signal == SIGHUP ? signal : 0;
}

bool EngineProcess::start(const std::string& path, const std::vector<std::string>& args, const std::string& workDir,
                          std::string& error) {
  kill();
  prepareReferee();
  // Every descriptor is close-on-exec, so engines started by other threads
  // at the same moment do not inherit this engine's pipes.
  int input[2];
  int output[2];
  int failure[2];
  if (pipe2(input, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(output, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    ::close(input[0]);
    ::close(input[1]);
    return false;
  }
  if (pipe2(failure, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    for (int fd : {input[0], input[1], output[0], output[1]}) ::close(fd);
    return false;
  }
  int errors[2];
  if (pipe2(errors, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    for (int fd : {input[0], input[1], output[0], output[1], failure[0], failure[1]}) ::close(fd);
    return false;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    // Child: only async-signal-safe calls from here on.
    setpgid(0, 0);
    int code = 0;
    if (chdir(workDir.c_str()) != 0 || dup2(input[0], 0) < 0 || dup2(output[1], 1) < 0 || dup2(errors[1], 2) < 0) {
      code = errno;
    } else {
      execv(path.c_str(), argv.data());
      code = errno;
    }
    ssize_t ignored = write(failure[1], &code, sizeof code);
    (void)ignored;
    _exit(127);
  }
  ::close(input[0]);
  ::close(output[1]);
  ::close(failure[1]);
  ::close(errors[1]);
  if (pid < 0) {
    error = std::string("fork: ") + std::strerror(errno);
    for (int fd : {input[1], output[0], failure[0], errors[0]}) ::close(fd);
    return false;
  }
  setpgid(pid, pid);  // also from this side, so a kill right away finds the group
  registerEngineProcess(pid);
  int code = 0;
  ssize_t got;
  do {
    got = read(failure[0], &code, sizeof code);
  } while (got < 0 && errno == EINTR);
  ::close(failure[0]);
  Native& n = *native_;
  n.pid = pid;
  n.exitSignal = 0;
  n.toEngine = input[1];
  n.fromEngine = output[0];
  n.errorsFromEngine = errors[0];
  pending_.clear();
  skipping_ = false;
  const int errorFd = errors[0];
  errorRelay_ = std::thread([label = label_, errorFd, this] {
    relayErrorLines(*label, relayQuit_, [errorFd](char* buffer, size_t size) -> long {
      pollfd p{errorFd, POLLIN, 0};
      const int ready = poll(&p, 1, 50);
      if (ready <= 0) return 0;
      const ssize_t n = ::read(errorFd, buffer, size);
      if (n < 0 && errno == EINTR) return 0;
      return n <= 0 ? -1 : static_cast<long>(n);
    });
  });
  if (got == static_cast<ssize_t>(sizeof code)) {
    error = "cannot run " + path + " in " + workDir + ": " + std::strerror(code);
    kill();
    return false;
  }
  return true;
}

bool EngineProcess::writeAll(const std::string& bytes) {
  const int fd = native_->toEngine;
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

EngineProcess::ReadStatus EngineProcess::readMore(Clock::time_point deadline) {
  int& fd = native_->fromEngine;
  while (true) {
    if (fd < 0) return ReadStatus::kClosed;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ReadStatus::kTimeout;
    pollfd p[2] = {{fd, POLLIN, 0}, {static_cast<int>(stopWakeHandle()), POLLIN, 0}};
    const int ready = poll(p, 2, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (p[1].revents != 0) return ReadStatus::kStopped;
    if (ready == 0) continue;  // the deadline check above decides
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      closeFd(fd);
      return ReadStatus::kClosed;
    }
    pending_.append(buffer, static_cast<size_t>(n));
    return ReadStatus::kLine;
  }
}

std::string EngineProcess::exitDescription() {
  Native& n = *native_;
  if (n.pid <= 0) return "the engine is not running";
  int status = 0;
  if (!reap(n.pid, kExitGrace, status)) return "the engine closed its output";
  n.forget();
  closePipes();
  if (WIFEXITED(status)) return "the engine exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    n.exitSignal = WTERMSIG(status);
    return std::string("the engine was killed by signal ") + strsignal(WTERMSIG(status));
  }
  return "the engine ended";
}

void EngineProcess::stop() {
  Native& n = *native_;
  if (n.pid <= 0) return;
  writeLine("stop");
  closeFd(n.toEngine);
  int status = 0;
  if (reap(n.pid, kExitGrace, status)) {
    n.forget();
    closePipes();
    return;
  }
  kill();
}

void EngineProcess::kill() {
  Native& n = *native_;
  if (n.pid > 0) {
    ::kill(-n.pid, SIGKILL);
    ::kill(n.pid, SIGKILL);
    int status = 0;
    while (waitpid(n.pid, &status, 0) < 0 && errno == EINTR) {
    }
    n.forget();
  }
  closePipes();
}

void EngineProcess::closePipes() {
  closeFd(native_->toEngine);
  closeFd(native_->fromEngine);
  stopErrorRelay();
  closeFd(native_->errorsFromEngine);
  pending_.clear();
  skipping_ = false;
}

}  // namespace tovrane
