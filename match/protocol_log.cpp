#include "match/protocol_log.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace tovrane {

namespace {
std::atomic<bool> gDebug{false};
std::mutex gLogMutex;
}  // namespace

void setProtocolDebug(bool on) { gDebug = on; }
bool protocolDebug() { return gDebug; }

void ProcessLabel::set(const std::string& name, int game) {
  std::lock_guard<std::mutex> lock(mutex_);
  name_ = name;
  game_ = game;
}

std::string ProcessLabel::text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return (game_ > 0 ? "game " + std::to_string(game_) : std::string("start")) + " " + name_;
}

std::string logTimeText() {
  // The time of day from the epoch's count: no calendar (and no platform's
  // time functions) needed.
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % (24LL * 3600 * 1000);
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                ms % 1000);
  return text;
}

void logProtocolLine(const ProcessLabel& label, char direction, const std::string& text) {
  const std::string line = logTimeText() + " " + label.text() + " " + direction + " " + text + "\n";
  std::lock_guard<std::mutex> lock(gLogMutex);
  std::cerr << line << std::flush;
}

}  // namespace tovrane
