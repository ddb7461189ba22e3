#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <ostream>
#include <sstream>

#include "selfplay/selfplay_runner.h"
#include "tools/commands.h"

namespace tovrane::cli {

const char* const kSelfplayUsage =
    "selfplay --out FILE [--games N] [--seed S] [--nodes N | --depth D] [--resume | --overwrite] [options]";

const char* const kSelfplayHelp = R"(Plays engine-pro against itself in-process and writes training positions to
FILE, one line per position (see the README for the format): the quiet leaf
of the capture search from each searched position of a game, the search's
score and the game's result for the side to move there, the ply and the
game's number. Every game depends only on the settings and its number, so a
run is the same for any --threads, and shards together are the whole run.
  --games N         games of the whole run (default 1000)
  --seed S          seed of the openings and random moves (default 1)
  --opening-plies K random opening plies of every game (default 6)
  --random P        after the opening and before ply --random-plies, each
                    move is with probability P a uniformly drawn legal move
                    instead of the search's (default 0.05)
  --random-plies N  (default 30)
  --nodes N         node budget of each move's search (default 10000)
  --depth D         a fixed depth instead of nodes (the table is cleared
                    before every search: keep --hash small)
  --hash MB         the search's table (default 16)
  --rules NAME      draw80 (default), pieces50-repetition or pieces80
  --eval classic|net  the hand-made evaluation (default) or engine-pro's
                    built-in network, in the search and at the quiet leaf
  --eval-file NET   the network in file NET instead
  --shard K/N       play only the K-th of N consecutive blocks of the games
                    (game numbers as in the whole run)
  --threads T       games played at once, one per thread (default 1)
An existing FILE is refused unless one of:
  --resume          continue FILE: its complete games are kept, a game cut
                    short at its end is dropped, the rest are played (a new
                    FILE when missing; its settings must be this run's)
  --overwrite       replace FILE
Progress (games, positions, rate, time left) goes to standard error; the
counts to standard output at the end.
)";

namespace {

constexpr int64_t kMaxGames = 100000000;

const std::string& valueOf(const Args& args, size_t& i) {
  if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
  return args[++i];
}

uint64_t parseUnsigned(const std::string& text, uint64_t low, uint64_t high, const std::string& what) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) {
    throw UsageError(what + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", got '" + text + "'");
  }
  return value;
}

double parseFraction(const std::string& text, const std::string& what) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !(value >= 0 && value <= 1)) {
    throw UsageError(what + " must be a number from 0 to 1, got '" + text + "'");
  }
  return value;
}

std::string duration(double seconds) {
  const long total = std::lround(seconds);
  std::ostringstream text;
  if (total >= 3600) text << total / 3600 << "h ";
  if (total >= 60) text << (total % 3600) / 60 << "m ";
  text << total % 60 << "s";
  return text.str();
}

// One line rewritten in place on a terminal, else a line every ten seconds.
class ProgressLine {
 public:
  ProgressLine() : terminal_(isatty(STDERR_FILENO) != 0) {}

  void operator()(const SelfplayProgress& p) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::seconds(terminal_ ? 1 : 10) && p.games != p.total) return;
    last_ = now;
    std::ostringstream line;
    line << "selfplay: " << p.games << "/" << p.total << " games, " << p.positions << " positions";
    line.precision(3);
    if (p.played > 0 && p.seconds > 0) {
      line << ", " << static_cast<double>(p.played) / p.seconds << " games/s, " << duration(p.secondsLeft) << " left";
    }
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
  bool terminal_;
  size_t width_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace

int runSelfplay(Args& args, std::ostream& out) {
  SelfplayRunOptions options;
  SelfplayRun& run = options.run;
  bool haveNodes = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--out") {
      options.out = valueOf(args, i);
    } else if (option == "--games") {
      run.games = static_cast<int64_t>(parseUnsigned(valueOf(args, i), 1, kMaxGames, "--games"));
    } else if (option == "--seed") {
      run.settings.seed = parseUnsigned(valueOf(args, i), 0, UINT64_MAX, "--seed");
    } else if (option == "--opening-plies") {
      run.settings.openingPlies = parseInt(valueOf(args, i), 0, 40, "--opening-plies");
    } else if (option == "--random") {
      run.settings.randomRate = parseFraction(valueOf(args, i), "--random");
    } else if (option == "--random-plies") {
      run.settings.randomPlies = parseInt(valueOf(args, i), 0, 1000, "--random-plies");
    } else if (option == "--nodes") {
      run.settings.nodes = parseUnsigned(valueOf(args, i), 1, 1000000000000ULL, "--nodes");
      haveNodes = true;
    } else if (option == "--depth") {
      run.settings.depth = parseInt(valueOf(args, i), 1, 64, "--depth");
    } else if (option == "--hash") {
      run.settings.hashMegabytes = parseInt(valueOf(args, i), 1, 1024, "--hash");
    } else if (option == "--rules") {
      const std::string& name = valueOf(args, i);
      const auto rules = rulesByName(name);
      if (!rules) throw UsageError("unknown rules '" + name + "'; try 'tovrane selfplay --help'");
      run.settings.rules = *rules;
    } else if (option == "--shard") {
      const std::string& text = valueOf(args, i);
      const size_t slash = text.find('/');
      if (slash == std::string::npos) throw UsageError("--shard K/N needs the form K/N, got '" + text + "'");
      run.shards = parseInt(text.substr(slash + 1), 1, 1000000, "N of --shard K/N");
      run.shard = parseInt(text.substr(0, slash), 1, run.shards, "K of --shard K/N");
    } else if (option == "--eval") {
      const std::string& name = valueOf(args, i);
      if (name != "classic" && name != "net") throw UsageError("--eval must be classic or net, got '" + name + "'");
      run.settings.net = name == "net" ? &defaultNet() : nullptr;
      run.settings.evalName = name;
    } else if (option == "--eval-file") {
      static NetWeights loaded;
      std::string error;
      const std::string& path = valueOf(args, i);
      if (!loadNetFile(path, loaded, error)) throw UsageError(error);
      run.settings.net = &loaded;
      run.settings.evalName = path;
    } else if (option == "--threads") {
      options.threads = parseInt(valueOf(args, i), 1, 64, "--threads");
    } else if (option == "--resume") {
      options.resume = true;
    } else if (option == "--overwrite") {
      options.overwrite = true;
    } else {
      throw UsageError("unknown argument '" + option + "'; try 'tovrane selfplay --help'");
    }
  }
  if (options.out.empty()) throw UsageError(std::string("usage: tovrane ") + kSelfplayUsage);
  if (options.resume && options.overwrite) throw UsageError("--resume and --overwrite exclude each other");
  if (haveNodes && run.settings.depth > 0) throw UsageError("--nodes and --depth cannot be combined");
  if (run.settings.depth > 0) run.settings.nodes = 0;
  if (run.shards > run.games) throw UsageError("--shard K/N needs N no larger than --games");

  ProgressLine progress;
  const SelfplayRunResult result = tovrane::runSelfplay(options, std::ref(progress));
  progress.finish();
  out << "selfplay " << options.out << ": games " << result.games << " positions " << result.positions;
  if (result.resumedGames > 0 || result.droppedPartial) {
    out << " (" << result.resumedGames << " games resumed"
        << (result.droppedPartial ? ", a game cut short dropped" : "") << ")";
  }
  out << " in " << duration(result.seconds) << "\n";
  return 0;
}

}  // namespace tovrane::cli
