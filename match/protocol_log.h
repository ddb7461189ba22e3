#pragma once
// The referee's log of what passes between it and the engines, on standard
// error: with 'tovrane match --debug' every line sent to and received from
// an engine, and always each line an engine writes to its standard error,
// each prefixed with the time (UTC), the game and the engine's name:
//
//   14:03:07.412 game 3 engine-pro > move 1121
//   14:03:07.530 game 3 engine-pro < move 4232
//   14:03:07.530 game 3 myengine ! a line of its standard error
//
// Lines from concurrent games come whole, one at a time.

#include <memory>
#include <mutex>
#include <string>

namespace tovrane {

void setProtocolDebug(bool on);
bool protocolDebug();

// Who an engine process is at the moment: its name and the game it plays
// (0 before its first game, when the referee asks its name).
class ProcessLabel {
 public:
  void set(const std::string& name, int game);
  std::string text() const;  // "game 3 NAME" or "start NAME"

 private:
  mutable std::mutex mutex_;
  std::string name_;
  int game_ = 0;
};

// Writes one line of the log: direction '>' sent, '<' received, '!' the
// engine's standard error.
void logProtocolLine(const ProcessLabel& label, char direction, const std::string& text);

// "14:03:07.412": the time of day (UTC) now, to the millisecond.
std::string logTimeText();

}  // namespace tovrane
