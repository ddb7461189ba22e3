// Engine processes on Windows: CreateProcess with the engine's standard
// input on an anonymous pipe and its output on a named pipe that this side
// reads with overlapped I/O, so a read can wait for a deadline and for a
// stop at once. Each engine runs in a job object, which ends the helpers it
// starts along with it, and on a console of its own without a window, so a
// Ctrl-C in the referee's console does not reach it.

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "match/engine_process.h"
#include "match/match_interrupt.h"

namespace tovrane {

namespace fs = std::filesystem;

namespace {

// Time an engine gets to exit after "stop" or after its output closed, and
// to end once killed.
constexpr DWORD kExitGraceMs = 1000;
constexpr DWORD kKillWaitMs = 5000;
constexpr DWORD kReadBuffer = 4096;
// Exit code of a console program ended by Ctrl-C or Ctrl-Break.
constexpr DWORD kControlCExit = 0xC000013A;
// Exit codes from here up are exceptions (NTSTATUS errors), not exit().
constexpr DWORD kFirstException = 0xC0000000;

// Handles are made inheritable only while this is held, so an engine started
// by another thread at the same moment cannot inherit this engine's pipes.
std::mutex gStartMutex;
std::atomic<unsigned> gPipeCount{0};

std::string systemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

// One argument as the C runtime's command line parser reads it back: quoted
// when it holds white space or quotes, backslashes doubled before a quote.
void appendArgument(std::wstring& line, const std::wstring& arg) {
  line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

bool isFile(const fs::path& path) {
  std::error_code ignored;
  return fs::is_regular_file(path, ignored);
}

// The program at path, or with ".exe" added when it has no extension.
std::string programAt(const fs::path& path) {
  std::error_code ignored;
  const fs::path full = fs::absolute(path, ignored).lexically_normal();
  if (isFile(full)) return full.string();
  if (!full.has_extension()) {
    fs::path exe = full;
    exe += ".exe";
    if (isFile(exe)) return exe.string();
  }
  return "";
}

void closeHandle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

// Names of the exceptions an engine is likeliest to die of.
const char* exceptionName(DWORD code) {
  switch (code) {
    case 0xC0000005: return "access violation";
    case 0xC00000FD: return "stack overflow";
    case 0xC000001D: return "illegal instruction";
    case 0xC0000094: return "integer division by zero";
    case 0xC0000409: return "stack buffer overrun";
    case 0xC0000017: return "out of memory";
    case 0xC0000135: return "a DLL was not found";
    default: return nullptr;
  }
}

}  // namespace

struct EngineProcess::Native {
  HANDLE process = nullptr;
  HANDLE job = nullptr;         // null when the system refused one
  HANDLE toEngine = nullptr;    // our end of the engine's standard input
  HANDLE fromEngine = nullptr;  // our end of its standard output, overlapped
  HANDLE readDone = nullptr;    // the overlapped read's event
  HANDLE errorsFromEngine = nullptr;  // read by the relay thread only, closed after it ended
  OVERLAPPED overlapped{};
  bool reading = false;         // a read into buffer is under way
  char buffer[kReadBuffer];
  int exitSignal = 0;

  Native() { readDone = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~Native() { closeHandle(readDone); }

  // What a second Ctrl-C kills: the job, or the process without one.
  std::intptr_t killable() const { return reinterpret_cast<std::intptr_t>(job != nullptr ? job : process); }

  // The process has ended or is killed: no longer ours to kill. Closing the
  // job ends any helpers still in it.
  void forget() {
    unregisterEngineProcess(killable());
    closeHandle(job);
    closeHandle(process);
  }

  void closeOutput() {
    if (reading) {
      DWORD ignored = 0;
      CancelIoEx(fromEngine, &overlapped);
      GetOverlappedResult(fromEngine, &overlapped, &ignored, TRUE);
      reading = false;
    }
    closeHandle(fromEngine);
  }
};

std::string resolveProgram(const std::string& program) {
  if (program.empty()) return "";
  if (program.find_first_of("/\\:") != std::string::npos) return programAt(program);
  // As the command prompt looks: the current folder first, then PATH.
  if (std::string found = programAt(program); !found.empty()) return found;
  const char* searchPath = std::getenv("PATH");
  const std::string dirs = searchPath != nullptr ? searchPath : "";
  size_t begin = 0;
  while (begin < dirs.size()) {
    size_t end = dirs.find(';', begin);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(begin, end - begin);
    if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"') dir = dir.substr(1, dir.size() - 2);
    if (!dir.empty()) {
      if (std::string found = programAt(fs::path(dir) / program); !found.empty()) return found;
    }
    begin = end + 1;
  }
  return "";
}

EngineProcess::EngineProcess() : native_(std::make_unique<Native>()) {}

EngineProcess::~EngineProcess() { kill(); }

bool EngineProcess::running() const { return native_->process != nullptr; }

int EngineProcess::outsideStopSignal() const { return native_->exitSignal; }

bool EngineProcess::start(const std::string& path, const std::vector<std::string>& args, const std::string& workDir,
                          std::string& error) {
  kill();
  Native& n = *native_;
  if (n.readDone == nullptr) {
    error = "cannot make an event: " + systemMessage(GetLastError());
    return false;
  }
  const std::wstring program = fs::path(path).wstring();
  std::wstring commandLine = L"\"" + program + L"\"";
  for (const std::string& a : args) appendArgument(commandLine, fs::path(a).wstring());
  const std::wstring folder = fs::path(workDir).wstring();

  std::lock_guard<std::mutex> lock(gStartMutex);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE inputRead = nullptr;
  HANDLE inputWrite = nullptr;
  HANDLE outputWrite = nullptr;
  HANDLE errorWrite = nullptr;
  auto fail = [&](const std::string& what) {
    error = what + ": " + systemMessage(GetLastError());
    for (HANDLE* h : {&inputRead, &inputWrite, &outputWrite, &errorWrite}) closeHandle(*h);
    n.closeOutput();
    return false;
  };
  if (!CreatePipe(&inputRead, &inputWrite, &inherit, 0) || !SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0)) {
    return fail("cannot make a pipe");
  }
  const std::wstring pipeName = L"\\\\.\\pipe\\tovrane-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(gPipeCount.fetch_add(1));
  n.fromEngine = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                  kReadBuffer, kReadBuffer, 0, nullptr);
  if (n.fromEngine == INVALID_HANDLE_VALUE) {
    n.fromEngine = nullptr;
    return fail("cannot make a pipe");
  }
  outputWrite = CreateFileW(pipeName.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (outputWrite == INVALID_HANDLE_VALUE) {
    outputWrite = nullptr;
    return fail("cannot open a pipe");
  }
  // The engine's standard error comes through a pipe of its own, relayed
  // to ours a line at a time with the engine's name (protocol_log.h).
  HANDLE errorRead = nullptr;
  if (!CreatePipe(&errorRead, &errorWrite, &inherit, 0) || !SetHandleInformation(errorRead, HANDLE_FLAG_INHERIT, 0)) {
    closeHandle(errorRead);
    return fail("cannot make a pipe");
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inputRead;
  startup.hStdOutput = outputWrite;
  startup.hStdError = errorWrite;
  PROCESS_INFORMATION info{};
  // Suspended until it is in its job, so no helper it starts escapes.
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                      nullptr, folder.c_str(), &startup, &info)) {
    closeHandle(errorRead);
    return fail("cannot run " + path + " in " + workDir);
  }
  for (HANDLE* h : {&inputRead, &outputWrite, &errorWrite}) closeHandle(*h);
  n.errorsFromEngine = errorRead;
  errorRelay_ = std::thread([label = label_, errorRead, this] {
    relayErrorLines(*label, relayQuit_, [errorRead](char* buffer, size_t size) -> long {
      DWORD available = 0;
      if (!PeekNamedPipe(errorRead, nullptr, 0, nullptr, &available, nullptr)) return -1;
      if (available == 0) {
        Sleep(50);
        return 0;
      }
      DWORD got = 0;
      if (!ReadFile(errorRead, buffer, available < size ? available : static_cast<DWORD>(size), &got, nullptr)) return -1;
      return static_cast<long>(got);
    });
  });
  n.process = info.hProcess;
  n.toEngine = inputWrite;
  n.exitSignal = 0;
  pending_.clear();
  skipping_ = false;
  n.job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (n.job != nullptr && (!SetInformationJobObject(n.job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
                           !AssignProcessToJobObject(n.job, n.process))) {
    closeHandle(n.job);  // the process alone is killed then
  }
  registerEngineProcess(n.killable());
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  return true;
}

bool EngineProcess::writeAll(const std::string& bytes) {
  HANDLE pipe = native_->toEngine;
  if (pipe == nullptr) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(pipe, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

EngineProcess::ReadStatus EngineProcess::readMore(Clock::time_point deadline) {
  Native& n = *native_;
  while (true) {
    if (n.fromEngine == nullptr) return ReadStatus::kClosed;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ReadStatus::kTimeout;
    if (!n.reading) {
      ResetEvent(n.readDone);
      n.overlapped = OVERLAPPED{};
      n.overlapped.hEvent = n.readDone;
      if (!ReadFile(n.fromEngine, n.buffer, kReadBuffer, nullptr, &n.overlapped) &&
          GetLastError() != ERROR_IO_PENDING) {
        n.closeOutput();  // the engine closed its output (or ended)
        return ReadStatus::kClosed;
      }
      // Finished at once or not, the event tells.
      n.reading = true;
    }
    // A stop comes first, as on POSIX.
    const HANDLE wake = reinterpret_cast<HANDLE>(stopWakeHandle());
    const HANDLE waits[2] = {wake, n.readDone};
    const DWORD count = wake != nullptr ? 2 : 1;
    const DWORD woke = WaitForMultipleObjects(count, wake != nullptr ? waits : waits + 1, FALSE, static_cast<DWORD>(left));
    if (woke == WAIT_TIMEOUT) continue;  // the deadline check above decides
    if (count == 2 && woke == WAIT_OBJECT_0) return ReadStatus::kStopped;
    if (woke != WAIT_OBJECT_0 + count - 1) {
      n.closeOutput();
      return ReadStatus::kClosed;
    }
    DWORD got = 0;
    const bool ok = GetOverlappedResult(n.fromEngine, &n.overlapped, &got, FALSE);
    n.reading = false;
    if (!ok) {
      n.closeOutput();
      return ReadStatus::kClosed;
    }
    pending_.append(n.buffer, got);
    return ReadStatus::kLine;
  }
}

std::string EngineProcess::exitDescription() {
  Native& n = *native_;
  if (n.process == nullptr) return "the engine is not running";
  if (WaitForSingleObject(n.process, kExitGraceMs) != WAIT_OBJECT_0) return "the engine closed its output";
  DWORD code = 0;
  GetExitCodeProcess(n.process, &code);
  n.forget();
  closePipes();
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
  if (code == kControlCExit) {
    n.exitSignal = SIGINT;
    return std::string("the engine was stopped by Ctrl-C (exit code ") + hex + ")";
  }
  if (code >= kFirstException) {
    const char* name = exceptionName(code);
    return std::string("the engine crashed with exception ") + hex + (name != nullptr ? std::string(" (") + name + ")" : "");
  }
  return "the engine exited with status " + std::to_string(code);
}

void EngineProcess::stop() {
  Native& n = *native_;
  if (n.process == nullptr) return;
  writeLine("stop");
  closeHandle(n.toEngine);
  if (WaitForSingleObject(n.process, kExitGraceMs) == WAIT_OBJECT_0) {
    n.forget();
    closePipes();
    return;
  }
  kill();
}

void EngineProcess::kill() {
  Native& n = *native_;
  if (n.process != nullptr) {
    if (n.job == nullptr || !TerminateJobObject(n.job, 1)) TerminateProcess(n.process, 1);
    WaitForSingleObject(n.process, kKillWaitMs);
    n.forget();
  }
  closePipes();
}

void EngineProcess::closePipes() {
  closeHandle(native_->toEngine);
  native_->closeOutput();
  stopErrorRelay();
  closeHandle(native_->errorsFromEngine);
  pending_.clear();
  skipping_ = false;
}

}  // namespace tovrane
