#include "match/engine_process.h"

#include <filesystem>

namespace tovrane {

namespace {
// At most this much of an engine's standard error is read after it was
// told to end: a helper that keeps writing cannot hold the referee.
constexpr size_t kMaxErrorTail = 64 * 1024;
}  // namespace

EngineProcess::ReadStatus EngineProcess::readLine(Clock::time_point deadline, std::string& line) {
  while (true) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      const bool rest = skipping_;
      skipping_ = false;
      if (!rest) line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (rest) continue;
      if (protocolDebug()) logProtocolLine(*label_, '<', line);
      return ReadStatus::kLine;
    }
    if (skipping_) {
      pending_.clear();
    } else if (pending_.size() >= kMaxLineBytes) {
      line = pending_.substr(0, kMaxLineBytes);
      pending_.clear();
      skipping_ = true;
      if (protocolDebug()) logProtocolLine(*label_, '<', line.substr(0, 200) + "... (a line cut at 64 KiB)");
      return ReadStatus::kLine;
    }
    const ReadStatus status = readMore(deadline);
    if (status != ReadStatus::kLine) return status;
  }
}

bool EngineProcess::writeLine(const std::string& text) {
  if (protocolDebug()) logProtocolLine(*label_, '>', text);
  return writeAll(text + "\n");
}

void EngineProcess::stopErrorRelay() {
  if (!errorRelay_.joinable()) return;
  relayQuit_ = true;
  errorRelay_.join();
  relayQuit_ = false;
}

void relayErrorLines(const ProcessLabel& label, const std::atomic<bool>& quit,
                     const std::function<long(char*, size_t)>& readSome) {
  std::string pending;
  char buffer[4096];
  size_t tail = 0;
  auto emit = [&](std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    logProtocolLine(label, '!', line);
  };
  while (true) {
    const bool ending = quit.load();
    const long got = readSome(buffer, sizeof buffer);
    if (got < 0 || (ending && (got == 0 || tail > kMaxErrorTail))) break;
    if (ending) tail += static_cast<size_t>(got);
    pending.append(buffer, static_cast<size_t>(got));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      emit(pending.substr(0, end));
      pending.erase(0, end + 1);
    }
    if (pending.size() >= kMaxLineBytes) {
      emit(pending.substr(0, 200) + "... (a line cut)");
      pending.clear();
    }
  }
  if (!pending.empty()) emit(pending);
}

std::string programProblem(const std::string& program) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  const bool hasFolder = program.find_first_of("/\\") != std::string::npos;
  const fs::path path(program);
  if (hasFolder || fs::exists(path, ignored)) {
    if (!fs::exists(path, ignored)) return "there is no file " + program;
    if (fs::is_directory(path, ignored)) return program + " is a folder, not a program";
    const bool executable =
        (fs::status(path, ignored).permissions() & (fs::perms::owner_exec | fs::perms::group_exec |
                                                     fs::perms::others_exec)) != fs::perms::none;
    if (!hasFolder) {
      return "'" + program + "' is not a program in PATH; to run the file in this folder give cmd=./" + program +
             (executable ? "" : " (and make it executable: chmod +x " + program + ")");
    }
    if (!executable) return program + " is not executable; make it so with: chmod +x " + program;
    return program + " cannot be run";
  }
  return "no program '" + program + "' in PATH (a program in the current folder is given as cmd=./" + program + ")";
}

}  // namespace tovrane
