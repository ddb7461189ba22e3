#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "tools/commands.h"
#include "match/match_runner.h"
#include "match/protocol_log.h"

namespace tovrane::cli {

const char* const kMatchUsage =
    "match --engine cmd=PROGRAM [arg=WORD|ARG...] [dir=DIR] [name=NAME] --engine ... [--engine ...] [options]";

namespace {

const char* const kMatchHelpText = R"(Plays games between two engine programs, or a tournament between more, and
reports the result. Each engine is given by the words after --engine, up to
the next option:
  cmd=PROGRAM    the program: a path, or a name looked up in PATH (required)
  arg=WORD       WORD is passed to the program as an argument, even when it
                 starts with -- or looks like one of these words
  ARG            any other word is passed to the program as an argument
  dir=DIR        the engine's own directory; its startgame/ book folder is
                 copied into the engine's working directory
  name=NAME      the name shown in the output (default: the engine's answer
                 to "name?")
Every engine runs in a fresh temporary working directory, removed at the end.

Tournaments (three or more --engine):
  --tournament KIND  round-robin (default): every engine against every other;
                     gauntlet: the first engine against each of the others.
                     Every pairing plays every opening with both colours; the
                     games go opening by opening, all pairings in turn. The
                     table gives each engine's score and Elo against the
                     field it met, then a cross table of the pairings.

Openings (each is played twice, once with each engine as black):
  --openings N       number of openings (default 10; with --opening-file:
                     the first N lines, default all)
  --plies K          plies per random opening (default 4)
  --seed S           seed of the random openings (default 1)
  --opening-file F   opening lines instead of random ones: one line per
                     opening, moves as four digits separated by spaces,
                     '#' starting a comment (tovrane openings writes one
                     of balanced openings)
Game rules:
  --time SECONDS     limit per move, from sending the command (default 10;
                     none with --tc unless given)
  --tc BASE+INC      a game clock per side: BASE seconds for the game plus INC
                     after each move (--tc BASE: no increment), charged from
                     sending the command to reading the reply; a side whose
                     clock runs out loses ('time-forfeit'). The table adds
                     each engine's time left at the end (minimum, median).
                     The engines are not told: give each its own clock option
                     (engine-pro: arg=--clock arg=BASE+INC)
  --rules PRESET     what ends a game besides a side without a move (default
                     draw80); the presets are listed below
  --draw-plies N     the game ends after N plies in a row without a capture
                     (default: the preset's, 80 for draw80)
  --max-plies N      the game ends when it reaches N plies (default 400)
Running:
  --concurrency N    games played at once (default: number of cores)
  --record FILE      write every game to FILE as it ends (see 'tovrane replay');
                     an existing FILE is refused unless one of:
  --resume           continue the match recorded in FILE: its games count,
                     only the missing ones are played (a new FILE if missing)
  --overwrite        replace FILE
  --shard K/N        play only the K-th of N equal blocks of the openings;
                     'tovrane merge' reports the shards' records together
  --sprt ELO0 ELO1   stop when the sequential test accepts ELO0 or ELO1 as
                     the first engine's Elo advantage (not within a shard;
                     two engines only)
  --alpha A, --beta B  error rates of the sequential test (default 0.05)
  --sprt-model M     pentanomial (default): the test counts pairs of games
                     (an opening with both colours); trinomial: single games
  --debug            print every line sent to and received from the engines
                     on standard error, with the time, game and engine
Judging:
  --strict           any line from an engine but its "move dddd" reply (or
                     a thinking line) loses the game as malformed
  --openings-required  an engine that does not play the opening's move (it
                     gets it only from its startgame/ book folder) loses
  --adjudicate-win SCORE:MOVES  end a game when both engines' last MOVES
                     thinking lines put the same side ahead by SCORE
                     hundredths of a piece or more, or one engine's last
                     MOVES lines all report the same proved win
  --adjudicate-draw SCORE:MOVES:FROMPLY  from ply FROMPLY on, a draw when
                     both engines' last MOVES thinking lines lie within SCORE
                     of 0. Both end code 'adjudicated'

An engine's reply is the first line whose first word is "move"; before it an
engine may send a thinking line "info depth D score S [nodes N] [pv MOVES]"
(S in hundredths of a piece from its side, or win N / loss N: a result proved
N plies ahead), kept with the move in the record. Other lines are passed over
(their time counts) and the first few of each game kept in the record as
'#' comment lines. Its standard error is shown labelled with the time, game
and engine. A "move" line that is not "move dddd", an illegal move, no reply
within the time limit, or an engine that dies loses the game; a side to move
without a legal move loses. Ctrl-C (SIGINT) or SIGTERM stops the match:
engines are told "stop", the finished games are kept and reported; a second
one ends at once. The exit status is 0 when the match ran to its end,
128+signal when stopped.

The table's Elo is the difference that an engine's score implies, +- half the
width of its 95% interval: the mean score m +- 1.96 sqrt(v/n) over n games
with the per-game variance v from the games, mapped to Elo; where that reaches
a score of 0 or 1 (few games, or nearly all won or lost), the Wilson score
interval with the games' share of draws is used instead, which stays inside.
A score of 100% (0%) prints the interval's lower (upper) end: '>= +X'.
Below the table, each pairing's pairs of games (an opening with both colours)
by the first engine's points in them (0, 1/2, 1, 3/2, 2) and the Elo interval
from the pairs (their scores per game, m +- 1.96 sqrt(v/N) over N pairs), as
the pair's two games are not independent; games without their pair (a stopped
run) are left out of it.
)";

// The help with the rule presets at its end.
std::string matchHelp() {
  std::string text = kMatchHelpText;
  text += "\nRule presets (--rules); the first check after a move is always whether the side\n"
          "to move has a legal move (none: it loses), then a repetition, the quiet limit\n"
          "and the cap, each as the preset says:\n";
  for (const RulesPreset& preset : rulesPresets()) {
    text += "  " + std::string(preset.name) + "\n";
    // The meaning wrapped to the help's width, indented.
    std::string line = "     ";
    std::string word;
    std::istringstream words(preset.meaning);
    while (words >> word) {
      if (line.size() + 1 + word.size() > 79) {
        text += line + "\n";
        line = "     ";
      }
      line += " " + word;
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace

const char* const kMatchHelp = [] {
  static const std::string text = matchHelp();
  return text.c_str();
}();

namespace {

constexpr int kMaxOpenings = 100000;
constexpr int kMaxOpeningPlies = 60;
constexpr int kMaxPlies = 100000;
constexpr int kMaxConcurrency = 64;
constexpr size_t kMaxEngines = 32;

double parseNumber(const std::string& text, double low, double high, const std::string& what) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !(value >= low && value <= high)) {
    throw UsageError(what + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", got '" + text + "'");
  }
  return value;
}

uint64_t parseSeed(const std::string& text) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    throw UsageError("--seed must be a whole number from 0 to 18446744073709551615, got '" + text + "'");
  }
  return value;
}

bool isOption(const std::string& word) { return word.size() > 2 && word[0] == '-' && word[1] == '-'; }

EngineEntry parseEngine(const Args& args, size_t& i) {
  EngineEntry entry;
  bool haveProgram = false;
  for (; i < args.size() && !isOption(args[i]); ++i) {
    const std::string& word = args[i];
    if (word.rfind("cmd=", 0) == 0) {
      if (haveProgram) throw UsageError("--engine takes one cmd=PROGRAM");
      entry.command.program = word.substr(4);
      haveProgram = true;
    } else if (word.rfind("dir=", 0) == 0) {
      entry.bookDir = word.substr(4);
      if (!std::filesystem::is_directory(entry.bookDir)) {
        throw UsageError("engine directory '" + entry.bookDir + "' does not exist");
      }
    } else if (word.rfind("name=", 0) == 0) {
      entry.name = word.substr(5);
      if (entry.name.empty()) throw UsageError("name= needs a name");
    } else if (word.rfind("arg=", 0) == 0) {
      // Passes words that would otherwise be read as options (--movetime) or as
      // the referee's own words (name=...).
      entry.command.args.push_back(word.substr(4));
    } else {
      entry.command.args.push_back(word);
    }
  }
  if (!haveProgram || entry.command.program.empty()) throw UsageError("--engine needs cmd=PROGRAM");
  return entry;
}

// K/N with 1 <= K <= N.
void parseShard(const std::string& text, MatchConfig& config) {
  const size_t slash = text.find('/');
  const std::string what = "--shard K/N";
  if (slash == std::string::npos) throw UsageError(what + " needs the form K/N, got '" + text + "'");
  config.shards = parseInt(text.substr(slash + 1), 1, kMaxOpenings, "N of " + what);
  config.shard = parseInt(text.substr(0, slash), 1, config.shards, "K of " + what);
}

const std::string& valueOf(const Args& args, size_t& i) {
  if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
  return args[++i];
}

}  // namespace

int runMatch(Args& args, std::ostream& out) {
  MatchConfig config;
  bool haveTournament = false;
  int openingCount = -1;
  int plies = -1;
  bool haveSeed = false;
  std::optional<int> drawPlies;
  bool haveTime = false;
  std::optional<int> maxPlies;
  uint64_t seed = 1;
  bool debug = false;
  std::string openingFile;
  config.concurrency = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  for (size_t i = 0; i < args.size();) {
    const std::string& option = args[i];
    if (option == "--engine") {
      if (config.engines.size() == kMaxEngines) {
        throw UsageError("at most " + std::to_string(kMaxEngines) + " engines in a tournament");
      }
      ++i;
      config.engines.push_back(parseEngine(args, i));
      continue;
    }
    if (option == "--tournament") {
      const std::string& kind = valueOf(args, i);
      if (!parseTournamentName(kind, config.tournament)) {
        throw UsageError("--tournament must be round-robin or gauntlet, got '" + kind + "'");
      }
      haveTournament = true;
      ++i;
      continue;
    }
    if (option == "--openings") {
      openingCount = parseInt(valueOf(args, i), 1, kMaxOpenings, "--openings");
    } else if (option == "--plies") {
      plies = parseInt(valueOf(args, i), 0, kMaxOpeningPlies, "--plies");
    } else if (option == "--seed") {
      seed = parseSeed(valueOf(args, i));
      haveSeed = true;
    } else if (option == "--opening-file") {
      openingFile = valueOf(args, i);
    } else if (option == "--time") {
      config.moveSeconds = parseNumber(valueOf(args, i), 0.001, 86400, "--time");
      haveTime = true;
    } else if (option == "--tc") {
      const std::string& text = valueOf(args, i);
      if (!parseClockText(text, config.clock)) {
        throw UsageError("--tc must be BASE+INC or BASE in seconds (0.001 <= BASE <= 604800, INC 0 or 0.001 to 3600), got '" +
                         text + "'");
      }
    } else if (option == "--rules") {
      const std::string& name = valueOf(args, i);
      const std::optional<GameRules> rules = rulesByName(name);
      if (!rules) {
        std::string names;
        for (const RulesPreset& preset : rulesPresets()) names += std::string(names.empty() ? "" : ", ") + preset.name;
        throw UsageError("--rules must be one of " + names + ", got '" + name + "'");
      }
      config.rules = *rules;
    } else if (option == "--draw-plies") {
      drawPlies = parseInt(valueOf(args, i), 1, kMaxPlies, "--draw-plies");
    } else if (option == "--max-plies") {
      maxPlies = parseInt(valueOf(args, i), 1, kMaxPlies, "--max-plies");
    } else if (option == "--concurrency") {
      config.concurrency = parseInt(valueOf(args, i), 1, kMaxConcurrency, "--concurrency");
    } else if (option == "--record") {
      config.recordPath = valueOf(args, i);
    } else if (option == "--resume") {
      config.resume = true;
    } else if (option == "--overwrite") {
      config.overwrite = true;
    } else if (option == "--shard") {
      parseShard(valueOf(args, i), config);
    } else if (option == "--sprt") {
      config.sprt = true;
      config.elo0 = parseNumber(valueOf(args, i), -1000, 1000, "ELO0");
      config.elo1 = parseNumber(valueOf(args, i), -1000, 1000, "ELO1");
      if (!(config.elo0 < config.elo1)) throw UsageError("--sprt needs ELO0 < ELO1");
    } else if (option == "--alpha") {
      config.alpha = parseNumber(valueOf(args, i), 0.0001, 0.5, "--alpha");
    } else if (option == "--beta") {
      config.beta = parseNumber(valueOf(args, i), 0.0001, 0.5, "--beta");
    } else if (option == "--sprt-model") {
      const std::string& model = valueOf(args, i);
      if (model != "pentanomial" && model != "trinomial") {
        throw UsageError("--sprt-model must be pentanomial or trinomial, got '" + model + "'");
      }
      config.trinomialSprt = model == "trinomial";
    } else if (option == "--strict") {
      config.strict = true;
    } else if (option == "--openings-required") {
      config.openingsRequired = true;
    } else if (option == "--adjudicate-win") {
      const std::string& text = valueOf(args, i);
      if (!parseAdjudicateWin(text, config.adjudication)) {
        throw UsageError("--adjudicate-win must be SCORE:MOVES (SCORE 1 to 100000 hundredths of a piece, MOVES 1 "
                         "to 1000), got '" + text + "'");
      }
    } else if (option == "--adjudicate-draw") {
      const std::string& text = valueOf(args, i);
      if (!parseAdjudicateDraw(text, config.adjudication)) {
        throw UsageError("--adjudicate-draw must be SCORE:MOVES:FROMPLY (SCORE 0 to 100000, MOVES 1 to 1000, "
                         "FROMPLY 0 to 100000), got '" + text + "'");
      }
    } else if (option == "--debug") {
      debug = true;
    } else {
      throw UsageError("unknown argument '" + option + "'; try 'tovrane match --help'");
    }
    ++i;
  }
  // With a clock the clock alone limits a move, unless --time says more.
  if (config.clock.on() && !haveTime) config.moveSeconds = 0;
  // The numbers given override the preset's, whatever the order of the options.
  if (drawPlies) config.rules.quietLimit = *drawPlies;
  if (maxPlies) config.rules.maxPlies = *maxPlies;
  if (config.engines.size() == 1) {
    throw UsageError("only one --engine given: a match needs two (or more for a tournament), each with its own "
                     "--engine cmd=PROGRAM");
  }
  if (config.engines.size() < 2) throw UsageError(std::string("usage: tovrane ") + kMatchUsage);
  if (config.engines.size() == 2 && haveTournament) {
    throw UsageError("--tournament needs three or more engines (two play a match)");
  }
  if (config.engines.size() > 2 && config.sprt) throw UsageError("--sprt needs exactly two engines");
  if (config.resume && config.overwrite) throw UsageError("--resume and --overwrite exclude each other");
  if ((config.resume || config.overwrite) && config.recordPath.empty()) {
    throw UsageError("--resume and --overwrite need --record FILE");
  }
  if (!openingFile.empty()) {
    if (plies >= 0 || haveSeed) throw UsageError("--opening-file cannot be combined with --plies or --seed");
    try {
      config.openings = readOpeningFile(openingFile);
    } catch (const std::runtime_error& e) {
      throw UsageError(e.what());
    }
    if (openingCount > 0 && static_cast<size_t>(openingCount) < config.openings.size()) {
      config.openings.resize(static_cast<size_t>(openingCount));
    }
    config.openingSource = "file";
  } else {
    const int openingPlies = plies >= 0 ? plies : 4;
    config.openings = randomOpenings(openingCount > 0 ? openingCount : 10, openingPlies, seed);
    config.openingSource = "random plies " + std::to_string(openingPlies) + " seed " + std::to_string(seed);
  }
  // The protocol log is the process's; it ends with the match.
  struct DebugScope {
    explicit DebugScope(bool on) { setProtocolDebug(on); }
    ~DebugScope() { setProtocolDebug(false); }
  } debugScope(debug);
  const MatchResult result = tovrane::runMatch(config, out);
  return result.stopSignal == 0 ? 0 : 128 + result.stopSignal;
}

}  // namespace tovrane::cli
