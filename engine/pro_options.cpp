#include "engine/pro_options.h"

#include <cmath>
#include <cstdlib>

namespace tovrane {

namespace {

// A whole decimal number or a decimal fraction, nothing else.
bool readNumber(const std::string& text, double& value) {
  if (text.empty() || text.size() > 32) return false;
  bool digit = false;
  bool point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digit) return false;
  value = std::strtod(text.c_str(), nullptr);
  return std::isfinite(value);
}

bool readWhole(const std::string& text, double low, double high, double& value) {
  return readNumber(text, value) && value == std::floor(value) && value >= low && value <= high;
}

std::string presetNames() {
  std::string names;
  for (const RulesPreset& preset : rulesPresets()) names += std::string(names.empty() ? "" : ", ") + preset.name;
  return names;
}

// One option: its name, the word for its value, its help, and how its value
// is read (false: the value is refused; error says why).
struct OptionEntry {
  const char* name;
  const char* value;
  const char* help;  // lines of at most 70 characters, separated by '\n'
  bool (*read)(const std::string& text, ProOptions& options, std::string& error);
};

const OptionEntry kOptions[] = {
    {"--movetime", "SECONDS",
     "time per move, 0.01 to 60 (default 1); the reply comes within it.\n"
     "With --clock: the most any move may take",
     [](const std::string& text, ProOptions& o, std::string& error) {
       double value = 0;
       if (!readNumber(text, value) || value < 0.01 || value > 60) {
         error = "--movetime must be a number of seconds from 0.01 to 60, got '" + text + "'";
         return false;
       }
       o.moveSeconds = value;
       o.moveSecondsGiven = true;
       return true;
     }},
    {"--clock", "BASE+INC",
     "play on a game clock: BASE seconds for the whole game (0.01 to\n"
     "604800) plus INC after each move (0 to 60; BASE alone: none), as the\n"
     "referee's --tc. The program keeps this clock itself, from reading a\n"
     "command to writing its reply, restarting it at every 'new'; each move\n"
     "gets a share of what is left plus most of the increment, never so much\n"
     "that it could run out",
     [](const std::string& text, ProOptions& o, std::string& error) {
       const size_t plus = text.find('+');
       ClockControl clock;
       const bool ok = readNumber(text.substr(0, plus), clock.base) &&
                       (plus == std::string::npos || readNumber(text.substr(plus + 1), clock.increment)) &&
                       clock.base >= 0.01 && clock.base <= 604800 && clock.increment <= 60;
       if (!ok) {
         error = "--clock must be BASE+INC or BASE in seconds (BASE 0.01 to 604800, INC 0 to 60), got '" + text + "'";
         return false;
       }
       o.clock = clock;
       return true;
     }},
    {"--rules", "PRESET",
     "the rules the game is played under, as the referee's --rules\n"
     "(default draw80): the search plays for the result they give.\n"
     "draw80: 80 plies without a capture are a draw; pieces50-repetition:\n"
     "a repetition or 50 quiet plies end the game, more pieces win;\n"
     "pieces80: 80 quiet plies end it, more pieces win",
     [](const std::string& text, ProOptions& o, std::string& error) {
       const auto rules = rulesByName(text);
       if (!rules) {
         error = "--rules must be one of " + presetNames() + ", got '" + text + "'";
         return false;
       }
       o.rules = *rules;
       return true;
     }},
    {"--hash", "MB", "size of the transposition table, 1 to 1024 (default 64)",
     [](const std::string& text, ProOptions& o, std::string& error) {
       double value = 0;
       if (!readWhole(text, 1, 1024, value)) {
         error = "--hash must be a whole number of megabytes from 1 to 1024, got '" + text + "'";
         return false;
       }
       o.hashMegabytes = static_cast<size_t>(value);
       return true;
     }},
    {"--draw-plies", "N",
     "the quiet limit in plies, 1 to 10000, instead of the rules' own\n"
     "(80 for draw80)",
     [](const std::string& text, ProOptions& o, std::string& error) {
       double value = 0;
       if (!readWhole(text, 1, 10000, value)) {
         error = "--draw-plies must be a whole number from 1 to 10000, got '" + text + "'";
         return false;
       }
       o.drawPlies = static_cast<int>(value);
       return true;
     }},
    {"--depth", "N",
     "search to a fixed depth instead of by time, 1 to 64: the same move\n"
     "on every run",
     [](const std::string& text, ProOptions& o, std::string& error) {
       double value = 0;
       if (!readWhole(text, 1, 64, value)) {
         error = "--depth must be a whole number from 1 to 64, got '" + text + "'";
         return false;
       }
       o.depth = static_cast<int>(value);
       return true;
     }},
    {"--nodes", "N",
     "stop each search after about N nodes, 1000 to 1000000000, whatever\n"
     "the clock: games that do not depend on the machine's speed or load",
     [](const std::string& text, ProOptions& o, std::string& error) {
       double value = 0;
       if (!readWhole(text, 1000, 1e9, value)) {
         error = "--nodes must be a whole number from 1000 to 1000000000, got '" + text + "'";
         return false;
       }
       o.nodes = static_cast<uint64_t>(value);
       return true;
     }},
    {"--eval", "classic|net",
     "the evaluation: net, the learned network built into the program\n"
     "(default; or --eval-file's), or classic, the hand-made one",
     [](const std::string& text, ProOptions& o, std::string& error) {
       if (text != "classic" && text != "net") {
         error = "--eval must be classic or net, got '" + text + "'";
         return false;
       }
       o.netEval = text == "net";
       return true;
     }},
    {"--eval-file", "FILE", "evaluate with the network in FILE (implies --eval net)",
     [](const std::string& text, ProOptions& o, std::string&) {
       o.evalFile = text;
       o.netEval = true;
       return true;
     }},
    {"--threads", "N",
     "search threads, 1 to 64 (default 1): more share the table (Lazy\n"
     "SMP); with --depth only one thread gives the same move every run",
     [](const std::string& text, ProOptions& o, std::string& error) {
       double value = 0;
       if (!readWhole(text, 1, 64, value)) {
         error = "--threads must be a whole number from 1 to 64, got '" + text + "'";
         return false;
       }
       o.threads = static_cast<int>(value);
       return true;
     }},
    {"--selectivity", "LIST",
     "turn parts of the search on (NAME) or off (-NAME), comma-separated,\n"
     "for matches that measure them: reductions, log-reductions,\n"
     "null-move, null-guard, reverse-futility, futility, late-move-pruning,\n"
     "quiescence-delta, internal-reduction, quiescence-table,\n"
     "safe-captures-first, bounded-history, helper-skips",
     [](const std::string& text, ProOptions& o, std::string& error) {
       return parseSelectivity(text, o.selectivity, error);
     }},
    {"--log", "FILE",
     "append one line per searched move to FILE: the depth reached, score,\n"
     "nodes, seconds and, with --clock, the time left on it",
     [](const std::string& text, ProOptions& o, std::string& error) {
       if (text.empty()) {
         error = "--log needs a file name";
         return false;
       }
       o.logPath = text;
       return true;
     }},
};

}  // namespace

bool parseProOptions(const std::vector<std::string>& args, ProOptions& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name == "--info") {
      options.info = true;
      continue;
    }
    const OptionEntry* entry = nullptr;
    for (const OptionEntry& o : kOptions) {
      if (name == o.name) entry = &o;
    }
    if (entry == nullptr) {
      std::string names;
      for (const OptionEntry& o : kOptions) names += std::string(names.empty() ? "" : ", ") + o.name + " " + o.value;
      error = "unknown argument '" + name + "' (options: " + names + ", --help)";
      return false;
    }
    if (i + 1 == args.size()) {
      error = name + " needs a value";
      return false;
    }
    if (!entry->read(args[++i], options, error)) return false;
  }
  if (options.clock.base > 0 && options.depth > 0) {
    error = "--clock and --depth exclude each other: a fixed depth takes no notice of the clock";
    return false;
  }
  return true;
}

std::string proHelpText() {
  std::string text =
      "usage: engine-pro [options]\n"
      "\n"
      "Plays the game over the referee protocol on standard input and output\n"
      "(name?, new white|black, move dddd, stop), reading its opening book from\n"
      "startgame/ in the working directory, and choosing its other moves by an\n"
      "iterative-deepening search within its time.\n"
      "\n"
      "options:\n";
  for (const OptionEntry& o : kOptions) {
    text += "  " + std::string(o.name) + " " + o.value + "\n";
    std::string help = o.help;
    size_t start = 0;
    while (start <= help.size()) {
      const size_t end = help.find('\n', start);
      text += "      " + help.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  text += "  --info\n      before each move it searched, a line 'info depth D score S nodes N\n"
          "      pv MOVES' per finished iteration, S in hundredths of a piece from\n"
          "      its side (or win N / loss N: a result proved N plies ahead)\n";
  text += "  --help, -h\n      this text\n\nA bad argument gets a one-line message on standard error and exit status 2.\n";
  return text;
}

}  // namespace tovrane
