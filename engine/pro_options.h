#pragma once
// engine-pro's command line. Each option is one entry of a table in
// pro_options.cpp (name, value, help text, how it is read), from which the
// parser and --help are both made: a new option is one more entry.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/time_manager.h"
#include "rules/game_rules.h"
#include "search/selectivity_names.h"

namespace tovrane {

struct ProOptions {
  double moveSeconds = 1.0;
  bool moveSecondsGiven = false;  // with --clock, --movetime caps each move
  size_t hashMegabytes = 64;
  int drawPlies = 0;  // 0: the rules' own quiet limit
  int depth = 0;      // 0: search by time
  uint64_t nodes = 0;  // 0: no node limit
  ClockControl clock;  // base 0: no clock, a time per move
  GameRules rules;
  bool netEval = true;  // the built-in (or --eval-file) network; --eval classic: the hand-made evaluation
  std::string evalFile;  // --eval-file: a network file instead of the built-in one
  std::string logPath;  // empty: no log
  bool info = false;  // --info: a thinking line per finished iteration (engine/pro_info.h)
  int threads = 1;
  ProSelectivity selectivity;  // --selectivity: parts of the search turned on or off
  bool help = false;  // --help or -h: print proHelpText() and end
};

// Reads args (without the program name). False with a one-line message in
// error for anything it does not understand.
bool parseProOptions(const std::vector<std::string>& args, ProOptions& options, std::string& error);

// What --help prints: the usage and every option with its meaning.
std::string proHelpText();

}  // namespace tovrane
