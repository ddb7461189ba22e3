#include "tools/cli.h"

#include <charconv>
#include <ostream>

namespace tovrane::cli {

Board parseBoard(const std::string& text) {
  Board board{};
  if (text.size() != static_cast<size_t>(kCellCount)) {
    throw UsageError("BOARD must be 36 characters, got " + std::to_string(text.size()));
  }
  if (!parseBoardDigits(text, board)) {
    throw UsageError("BOARD may hold only the digits 0 (empty), 1 (white) and 2 (black): '" + text + "'");
  }
  if (countPieces(board, kWhite) > kPiecesPerSide || countPieces(board, kBlack) > kPiecesPerSide) {
    throw UsageError("BOARD has more than 12 pieces of one side");
  }
  return board;
}

Side parseSide(const std::string& text) {
  if (text == "1") return kWhite;
  if (text == "2") return kBlack;
  throw UsageError("SIDE must be 1 (white) or 2 (black), got '" + text + "'");
}

const std::string& valueAfter(const Args& args, size_t& i) {
  if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
  return args[++i];
}

int parseInt(const std::string& text, int low, int high, const std::string& what) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) {
    throw UsageError(what + " must be a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", got '" + text + "'");
  }
  return value;
}

void expectCount(const Args& args, size_t count, const std::string& usage) {
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') throw UsageError("unknown option " + arg);
  }
  if (args.size() != count) throw UsageError("usage: tovrane " + usage);
}

bool takeFlag(Args& args, const std::string& flag) {
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (*it == flag) {
      args.erase(it);
      return true;
    }
  }
  return false;
}

namespace {

void printOverview(std::ostream& out) {
  out << "tovrane: analysis and testing tool for the Tovrane engines\n\n"
         "BOARD is 36 digits in row-major order (0 empty, 1 white, 2 black),\n"
         "SIDE is 1 (white) or 2 (black).\n\n"
         "subcommands:\n";
  for (const Command& c : commands()) {
    out << "  " << c.usage << "\n      " << c.summary << "\n";
  }
  out << "\n'tovrane SUBCOMMAND --help' explains one subcommand.\n";
}

bool isHelpWord(const std::string& arg) { return arg == "--help" || arg == "-h"; }

const Command* findCommand(const std::string& name) {
  for (const Command& c : commands()) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

}  // namespace

void printCommandHelp(const Command& command, std::ostream& out) {
  out << "usage: tovrane " << command.usage << "\n\n" << command.help;
}

int runTool(const Args& argv, std::ostream& out, std::ostream& err) {
  if (argv.empty()) {
    err << "tovrane: no subcommand given; try 'tovrane --help'\n";
    return 2;
  }
  if (isHelpWord(argv[0]) || argv[0] == "help") {
    // 'tovrane help NAME' is the same as 'tovrane NAME --help'.
    if (argv.size() < 2 || isHelpWord(argv[1])) {
      printOverview(out);
      return 0;
    }
    const Command* c = findCommand(argv[1]);
    if (c == nullptr) {
      err << "tovrane: unknown subcommand '" << argv[1] << "'; try 'tovrane --help'\n";
      return 2;
    }
    printCommandHelp(*c, out);
    return 0;
  }
  const Command* c = findCommand(argv[0]);
  if (c == nullptr) {
    err << "tovrane: unknown subcommand '" << argv[0] << "'; try 'tovrane --help'\n";
    return 2;
  }
  Args args(argv.begin() + 1, argv.end());
  // Help wins over everything else, so it works without the required arguments.
  for (const std::string& arg : args) {
    if (isHelpWord(arg)) {
      printCommandHelp(*c, out);
      return 0;
    }
  }
  try {
    return c->run(args, out);
  } catch (const UsageError& e) {
    err << "tovrane " << c->name << ": " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    err << "tovrane " << c->name << ": " << e.what() << "\n";
    return 1;
  }
}

}  // namespace tovrane::cli
