#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <ostream>
#include <sstream>

#include "book/book_builder.h"
#include "book/book_check.h"
#include "book/book_file.h"
#include "rules/game_rules.h"
#include "rules/move_generator.h"
#include "tools/commands.h"

namespace tovrane::cli {

const char* const kBookHelp = R"(Opening books for the engine programs. A book lives in the folder startgame/
of the engine's directory DIR (the directory the engine runs in, or dir=DIR
of 'tovrane match'): one file per position, named after its 36 cells plus
.zjb, holding records such as "black 1 2 2 2" (colour, from row, from column,
to row, to column). An engine to move in a position whose file lists moves
for its colour plays one of them at random instead of searching.

book build --out DIR   searches the book's positions and writes DIR/startgame/.
  For each colour: every position of the first K plies in which that colour
  has followed its own book and the other side has played any legal move.
  One folder serves both colours; a position reached by several move orders
  is searched once. A progress line goes to standard error. An interrupted
  build resumes when run again with the same settings: finished files are
  kept (every file is written whole or not at all). The settings are kept in
  DIR/book-build.txt.
  --plies K       plies covered (default 6)
  --player NAME   whose search and evaluation: engine-pro (default),
                  engine-deep, engine, engine-classic
  --depth D       search depth per position (default: 7 for engine-pro and
                  engine-deep, 6 for the others); the same arguments give the
                  same folder
  --rules PRESET  the rules engine-pro's search plays for (default draw80;
                  see 'tovrane match --help'); engine-pro only
  --movetime S    search each position for about S seconds instead, deepening
                  while the next depth should fit; NOT deterministic: builds
                  differ from run to run and with the machine's load
  --moves N       list up to N moves per position (1..9, default 1): the best,
                  then the next best whose scores are within the margin;
                  N > 1 scores every move on its own and costs more
  --margin M      score margin for --moves, in evaluation points (default 0)
  --jobs J        positions searched at once, one search per thread (default 1)

book show BOARD SIDE [--dir DIR]   the book file of the position in DIR
  (default .) and the moves the engine would choose from for SIDE, each
  checked against the move generator.

book check DIR   checks every file in DIR/startgame/: the name is a position
  (36 digits 0..2, .zjb), every record a colour word and four numbers 0..5,
  every move legal for its colour in that position, at most 9 moves a colour.
  Prints each problem as FILE:LINE: message; exit status 1 when there is any.
)";

namespace {

namespace fs = std::filesystem;

double parseSeconds(const std::string& text, const std::string& what) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !(value > 0 && value <= 86400)) {
    throw UsageError(what + " must be a number of seconds above 0, got '" + text + "'");
  }
  return value;
}

const std::string& valueOf(const Args& args, size_t& i) {
  if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
  return args[++i];
}

std::string duration(double seconds) {
  const long total = std::lround(seconds);
  std::ostringstream text;
  if (total >= 3600) text << total / 3600 << "h ";
  if (total >= 60) text << (total % 3600) / 60 << "m ";
  text << total % 60 << "s";
  return text.str();
}

// One line per update on a terminal (rewritten in place), else a line every
// ten seconds.
class ProgressLine {
 public:
  explicit ProgressLine(int plies) : plies_(plies), terminal_(isatty(STDERR_FILENO) != 0) {}

  void operator()(const book::BuildProgress& p) {
    const auto now = std::chrono::steady_clock::now();
    if (!terminal_ && now - last_ < std::chrono::seconds(10) && p.done != 0) return;
    last_ = now;
    std::ostringstream line;
    line << "book: ply " << p.ply + 1 << "/" << plies_ << ", " << p.done << "/" << (p.totalExact ? "" : "~")
         << p.total << " positions";
    if (p.kept > 0) line << " (" << p.kept << " kept)";
    line.precision(3);
    line << ", " << p.rate << "/s";
    if (p.secondsLeft > 0) line << ", " << (p.totalExact ? "" : "about ") << duration(p.secondsLeft) << " left";
    std::string text = line.str();
    if (terminal_) {
      const size_t width = text.size();
      if (text.size() < width_) text.append(width_ - text.size(), ' ');
      width_ = width;
      std::cerr << "\r" << text << std::flush;
    } else {
      std::cerr << text << "\n";
    }
  }

  void finish() {
    if (terminal_) std::cerr << "\n";
  }

 private:
  int plies_;
  bool terminal_;
  size_t width_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

int runBuild(Args& args, std::ostream& out) {
  book::BuildOptions options;
  bool haveOut = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--out") {
      options.out = valueOf(args, i);
      haveOut = true;
    } else if (option == "--plies") {
      options.plies = parseInt(valueOf(args, i), 1, 40, "--plies");
    } else if (option == "--player") {
      options.player.program = valueOf(args, i);
      bool known = false;
      for (const std::string& name : book::playerPrograms()) known = known || name == options.player.program;
      if (!known) throw UsageError("unknown player '" + options.player.program + "'; try 'tovrane book --help'");
    } else if (option == "--depth") {
      options.player.depth = parseInt(valueOf(args, i), 1, 30, "--depth");
    } else if (option == "--rules") {
      const std::string& name = valueOf(args, i);
      const std::optional<GameRules> rules = rulesByName(name);
      if (!rules) throw UsageError("unknown rules '" + name + "'; try 'tovrane match --help'");
      options.player.rules = *rules;
    } else if (option == "--movetime") {
      options.player.movetime = parseSeconds(valueOf(args, i), "--movetime");
    } else if (option == "--moves") {
      options.moves = parseInt(valueOf(args, i), 1, book::kMaxMovesPerColour, "--moves");
    } else if (option == "--margin") {
      options.margin = parseInt(valueOf(args, i), 0, 1000000000, "--margin");
    } else if (option == "--jobs") {
      options.jobs = parseInt(valueOf(args, i), 1, 64, "--jobs");
    } else {
      throw UsageError("unknown argument '" + option + "'; try 'tovrane book --help'");
    }
  }
  if (!haveOut) throw UsageError("book build needs --out DIR");
  if (options.player.depth > 0 && options.player.movetime > 0) {
    throw UsageError("--depth and --movetime cannot be combined");
  }
  if (options.player.program != "engine-pro" && !(options.player.rules == GameRules{})) {
    throw UsageError("--rules is for --player engine-pro only: the exact players search as their programs do");
  }
  ProgressLine progress(options.plies);
  const book::BuildResult result = book::buildBook(options, std::ref(progress));
  progress.finish();
  uintmax_t bytes = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(options.out / book::kBookFolder)) {
    if (entry.is_regular_file()) bytes += entry.file_size();
  }
  out << "book " << (options.out / book::kBookFolder).string() << ": " << result.positions << " positions ("
      << result.searched << " searched, " << result.kept << " kept), " << result.files << " files, " << bytes
      << " bytes, " << duration(result.seconds) << "\n";
  return 0;
}

int runShow(Args& args, std::ostream& out) {
  fs::path dir = ".";
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--dir") {
      dir = valueOf(args, i);
      args.erase(args.begin() + static_cast<long>(i - 1), args.begin() + static_cast<long>(i + 1));
      break;
    }
  }
  expectCount(args, 2, "book show BOARD SIDE [--dir DIR]");
  const Board board = parseBoard(args[0]);
  const Side side = parseSide(args[1]);
  const char* colour = side == kWhite ? "white" : "black";
  const fs::path file = dir / book::kBookFolder / book::bookFileName(board);
  std::error_code error;
  if (!fs::is_regular_file(file, error)) {
    out << "no book file " << file.string() << ": the engine searches\n";
    return 0;
  }
  // What the engines themselves read from the file.
  std::FILE* handle = std::fopen(file.string().c_str(), "r");
  if (handle == nullptr) {
    out << "cannot read " << file.string() << ": the engine searches\n";
    return 0;
  }
  const OpeningBook::Candidates found = OpeningBook::readRecords(handle);
  std::fclose(handle);
  const Move* list = side == kWhite ? found.white : found.black;
  const int count = side == kWhite ? found.whiteCount : found.blackCount;
  out << "book file " << file.string() << "\n";
  int illegal = 0;
  for (int i = 0; i < count; ++i) {
    const bool legal = isLegalMove(board, side, list[i]);
    illegal += legal ? 0 : 1;
    out << book::recordText({side, list[i]}) << "  move " << moveText(list[i]) << "  "
        << (legal ? "legal" : "ILLEGAL") << "\n";
  }
  if (count == 0) {
    out << "no moves for " << colour << ": the engine searches\n";
  } else {
    out << count << (count == 1 ? " move" : " moves") << " for " << colour
        << ": the engine plays one of them at random, unchecked";
    if (illegal > 0) out << " (" << illegal << " illegal)";
    out << "\n";
  }
  return 0;
}

int runCheck(Args& args, std::ostream& out) {
  expectCount(args, 1, "book check DIR");
  const fs::path folder = fs::path(args[0]) / book::kBookFolder;
  const book::CheckReport report = book::checkBookFolder(folder);
  for (const book::BookProblem& p : report.problems) {
    out << p.file << ":" << p.line << ": " << p.message << "\n";
  }
  out << report.files << " files, " << report.records << " good records, " << report.problems.size()
      << (report.problems.size() == 1 ? " problem" : " problems") << "\n";
  return report.problems.empty() ? 0 : 1;
}

}  // namespace

int runBook(Args& args, std::ostream& out) {
  if (args.empty()) throw UsageError("usage: tovrane book build|show|check ...; try 'tovrane book --help'");
  const std::string action = args[0];
  Args rest(args.begin() + 1, args.end());
  if (action == "build") return runBuild(rest, out);
  if (action == "show") return runShow(rest, out);
  if (action == "check") return runCheck(rest, out);
  throw UsageError("unknown book action '" + action + "'; try 'tovrane book --help'");
}

}  // namespace tovrane::cli
