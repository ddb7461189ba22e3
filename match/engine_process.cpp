#include "match/engine_process.h"

namespace tovrane {

EngineProcess::ReadStatus EngineProcess::readLine(Clock::time_point deadline, std::string& line) {
  while (true) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return ReadStatus::kLine;
    }
    const ReadStatus status = readMore(deadline);
    if (status != ReadStatus::kLine) return status;
  }
}

bool EngineProcess::writeLine(const std::string& text) { return writeAll(text + "\n"); }

}  // namespace tovrane
