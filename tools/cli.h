#pragma once
// Argument handling shared by the tovrane subcommands. Bad arguments raise a
// UsageError; the tool prints its one-line message and exits with status 2.
// Any other failure (an engine that cannot be started, say) prints its
// message and exits with status 1.

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/board.h"

namespace tovrane::cli {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Args = std::vector<std::string>;

// BOARD: 36 characters '0', '1', '2', row-major; at most 12 pieces a side.
Board parseBoard(const std::string& text);
// SIDE: 1 (white) or 2 (black).
Side parseSide(const std::string& text);
// A whole decimal number in [low, high]; what names it in messages.
int parseInt(const std::string& text, int low, int high, const std::string& what);
// The value after the option at args[i] (i moves on to it); a UsageError when none.
const std::string& valueAfter(const Args& args, size_t& i);

// Checks the number of positional arguments and the flags; flags are removed
// from args and reported through the returned list.
void expectCount(const Args& args, size_t count, const std::string& usage);
bool takeFlag(Args& args, const std::string& flag);

// One subcommand: writes its result to out, returns the exit status.
// 'tovrane NAME --help' (or -h, anywhere among its arguments) prints
// "usage: tovrane USAGE", a blank line and HELP, and never calls run; the
// overview 'tovrane --help' lists USAGE and SUMMARY. A new subcommand is one
// more entry in the table in commands.cpp.
struct Command {
  const char* name;
  const char* usage;    // one line, without "tovrane "
  const char* summary;  // one line for the overview
  const char* help;     // a few lines of explanation, each ending in '\n'
  int (*run)(Args& args, std::ostream& out);
};

const std::vector<Command>& commands();

// The command's own help, as printed by 'tovrane NAME --help'.
void printCommandHelp(const Command& command, std::ostream& out);

// Runs argv[1..] as a subcommand; messages for the user go to err.
int runTool(const Args& argv, std::ostream& out, std::ostream& err);

}  // namespace tovrane::cli
