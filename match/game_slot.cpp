#include "match/game_slot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "match/adjudication.h"
#include "match/match_interrupt.h"
#include "match/thinking_line.h"
#include "rules/game_rules.h"
#include "rules/move_generator.h"

namespace tovrane {

namespace {

// An engine gets at least this long to answer "name?" after it starts, so a
// short move limit does not fail a slow start.
constexpr double kMinNameSeconds = 5.0;
// How much of a malformed reply goes into the reason.
constexpr size_t kQuotedReplyLength = 60;
// What an engine prints besides its replies: the first lines of each game
// are kept in its record, each cut to this length.
constexpr size_t kKeptNotes = 8;
constexpr size_t kNoteLength = 200;

// The line's first word ("move" marks a reply).
std::string firstWord(const std::string& line) {
  const size_t begin = line.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  const size_t end = line.find_first_of(" \t", begin);
  return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// A line as a record comment keeps it: control bytes shown as '?', cut short.
std::string noteText(const std::string& line) {
  std::string text = line.substr(0, kNoteLength);
  for (char& ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if ((byte < 0x20 && ch != '\t') || byte == 0x7f) ch = '?';
  }
  if (line.size() > kNoteLength) text += "...";
  return text;
}

const char* colourWord(Side side) { return side == kWhite ? "white" : "black"; }

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

std::string trimRight(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

// "move dddd" with four decimal digits.
bool parseMoveReply(const std::string& line, Move& move) {
  if (line.size() != 9 || line.compare(0, 5, "move ") != 0) return false;
  for (size_t i = 5; i < 9; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  move = readMoveText(line.c_str() + 5);
  return true;
}

std::chrono::duration<double> secondsOf(double seconds) { return std::chrono::duration<double>(seconds); }

struct Position {
  Board board;
  Side toMove;
  bool operator==(const Position&) const = default;
};

// "; black has more pieces (7 to 5)" or "; equal pieces (6 each)" where the
// award goes by pieces; nothing for a draw by rule.
std::string awardText(RuleAward award, const Board& board) {
  if (award == RuleAward::kDraw) return "";
  const int black = countPieces(board, kBlack);
  const int white = countPieces(board, kWhite);
  if (black == white) return "; equal pieces (" + std::to_string(black) + " each)";
  const bool blackAhead = black > white;
  return std::string("; ") + (blackAhead ? "black" : "white") + " has more pieces (" +
         std::to_string(blackAhead ? black : white) + " to " + std::to_string(blackAhead ? white : black) + ")";
}

// The end code and reason of a game the rules ended; noMoves names the side
// to move for the reason of a side without a move.
void setRuleEnd(GameRecord& game, const RuleVerdict& verdict, const Board& board, int quiet, const GameRules& rules,
                const std::string& noMoves) {
  switch (verdict.end) {
    case RuleEnd::kNoMoves:
      game.end = GameEnd::kNoMoves;
      game.reason = noMoves + " has no legal move";
      break;
    case RuleEnd::kRepetition:
      game.end = GameEnd::kRepetition;
      game.reason = "the position came back" + awardText(rules.repetitionAward, board);
      break;
    case RuleEnd::kQuietLimit:
      // A draw at the quiet limit keeps its old code.
      game.end = rules.quietAward == RuleAward::kDraw ? GameEnd::kQuietDraw : GameEnd::kQuietLimit;
      game.reason = std::to_string(quiet) + " plies without a capture" + awardText(rules.quietAward, board);
      break;
    case RuleEnd::kPlyCap:
    case RuleEnd::kNone:
      game.end = GameEnd::kPlyCap;
      game.reason = "the ply cap of " + std::to_string(rules.maxPlies) + " was reached" +
                    awardText(rules.capAward, board);
      break;
  }
}

Clock::time_point deadlineAfter(Clock::time_point start, double seconds) {
  return start + std::chrono::duration_cast<Clock::duration>(secondsOf(seconds));
}

}  // namespace

// Starts an engine and asks "name?". Returns the name (the reply after
// "name "), or nothing with error set.
std::optional<std::string> startEngine(EngineProcess& process, const EngineSetup& setup, const std::string& workDir,
                                       double moveSeconds, bool strict, std::string& error) {
  if (!process.start(setup.path, setup.args, workDir, error)) return std::nullopt;
  const auto sent = Clock::now();
  if (!process.writeLine("name?")) {
    error = "cannot write to " + setup.path + ": " + process.exitDescription();
    process.kill();
    return std::nullopt;
  }
  std::string line;
  const auto deadline = deadlineAfter(sent, std::max(moveSeconds, kMinNameSeconds));
  EngineProcess::ReadStatus status;
  // Unless strict, what an engine prints before its name (a banner) is passed over.
  while ((status = process.readLine(deadline, line)) == EngineProcess::ReadStatus::kLine && !strict &&
         line.rfind("name", 0) != 0) {
  }
  switch (status) {
    case EngineProcess::ReadStatus::kLine:
      break;
    case EngineProcess::ReadStatus::kStopped:
      error = "the match was stopped";
      process.kill();
      return std::nullopt;
    case EngineProcess::ReadStatus::kTimeout:
      error = setup.path + " did not answer 'name?'";
      process.kill();
      return std::nullopt;
    case EngineProcess::ReadStatus::kClosed:
      error = setup.path + " ended before answering 'name?': " + process.exitDescription();
      process.kill();
      return std::nullopt;
  }
  line = trimRight(line);
  if (line.compare(0, 5, "name ") != 0 || line.size() == 5) {
    error = setup.path + " answered '" + line.substr(0, kQuotedReplyLength) + "' to 'name?'";
    process.kill();
    return std::nullopt;
  }
  return line.substr(5);
}

GameSlot::GameSlot(const MatchConfig& config, const std::vector<EngineSetup>& setups, const std::string& root,
                   int index)
    : config_(config),
      setups_(setups),
      pairings_(tournamentPairings(static_cast<int>(setups.size()), config.tournament)),
      processes_(std::make_unique<EngineProcess[]>(setups.size())),
      dirs_(setups.size()) {
  for (size_t e = 0; e < setups.size(); ++e) {
    const std::string name = "slot" + std::to_string(index) + "-engine" + std::to_string(e + 1);
    dirs_[e].create((std::filesystem::path(root) / name).string(), setups[e].bookDir);
  }
}

void GameSlot::stopEngines() {
  for (size_t e = 0; e < setups_.size(); ++e) processes_[e].stop();
}

std::optional<GameRecord> GameSlot::play(int index, const std::atomic<int>& lastNeeded) {
  const GameSeat seat = gameSeat(pairings_, index);
  GameRecord game;
  game.number = index + 1;
  game.blackEngine = seat.blackEngine;
  game.whiteEngine = seat.whiteEngine;
  game.opening = config_.openings[static_cast<size_t>(seat.opening)];
  auto engineOf = [&](Side side) { return side == kBlack ? game.blackEngine : game.whiteEngine; };
  game.blackName = setups_[static_cast<size_t>(engineOf(kBlack))].name;
  game.whiteName = setups_[static_cast<size_t>(engineOf(kWhite))].name;
  auto who = [&](Side side) {
    return std::string(colourWord(side)) + " (" + (side == kBlack ? game.blackName : game.whiteName) + ")";
  };
  // A loss by a fault: the engine's state is unknown, so it is restarted
  // for the next game. Once the match is being stopped a fault is no loss:
  // the game is dropped.
  auto lose = [&](Side side, GameEnd end, const std::string& reason) -> std::optional<GameRecord> {
    if (stopRequested()) return std::nullopt;
    game.winner = opponent(side);
    game.end = end;
    game.reason = who(side) + " " + reason;
    processes_[engineOf(side)].kill();
    return game;
  };

  for (Side side : {kBlack, kWhite}) {
    processes_[engineOf(side)].setLabel(setups_[engineOf(side)].name, game.number);
  }
  for (Side side : {kBlack, kWhite}) {
    EngineProcess& process = processes_[engineOf(side)];
    if (process.running()) continue;
    std::string error;
    if (!startEngine(process, setups_[engineOf(side)], dirs_[engineOf(side)].path(), config_.moveSeconds,
                     config_.strict, error)) {
      return lose(side, GameEnd::kNoStart, "could not be started: " + error);
    }
  }

  Board board{};
  resetBoard(board);
  Side side = kBlack;
  int quiet = 0;
  double clockLeft[2] = {config_.clock.base, config_.clock.base};  // black's, white's
  // The positions since the last capture, with the side to move, for the
  // repetition rule.
  std::vector<Position> seen = {{board, kBlack}};
  bool onOpening = true;
  auto placeOpeningMove = [&]() {
    const size_t ply = game.moves.size();
    if (onOpening && ply < game.opening.size()) {
      dirs_[engineOf(side)].placeBookMove(board, side, game.opening[ply]);
    }
  };

  if (!processes_[engineOf(kWhite)].writeLine("new white")) {
    return lose(kWhite, GameEnd::kCrash, "crashed: " + processes_[engineOf(kWhite)].exitDescription());
  }
  placeOpeningMove();
  std::string command = "new black";
  while (true) {
    const int e = engineOf(side);
    EngineProcess& process = processes_[e];
    // The move's limit: the time per move, or what is left on the clock if
    // that is less.
    double& left = clockLeft[side == kBlack ? 0 : 1];
    const bool clockBinds =
        config_.clock.on() && (config_.moveSeconds <= 0 || left <= config_.moveSeconds);
    const double limit = clockBinds ? left : config_.moveSeconds;
    const auto sent = Clock::now();
    std::string line;
    EngineProcess::ReadStatus status = EngineProcess::ReadStatus::kClosed;
    // The reply is the first line whose first word is "move"; a thinking
    // line before it is kept with the move, other lines are passed over
    // (their time counts) and the first few kept for the record; strict,
    // they lose.
    std::optional<Thinking> thinking;
    std::string strictFault;
    if (process.writeLine(command)) {
      const auto deadline = deadlineAfter(sent, limit);
      while ((status = process.readLine(deadline, line)) == EngineProcess::ReadStatus::kLine) {
        line = trimRight(line);
        if (firstWord(line) == "move") break;
        Thinking read;
        if (parseInfoLine(line, read)) {
          thinking = std::move(read);
          continue;
        }
        if (config_.strict) {
          strictFault = line;
          break;
        }
        if (game.notes.size() < kKeptNotes) {
          game.notes.push_back({game.plies() + 1, side, noteText(line)});
        } else {
          ++game.notesDropped;
        }
      }
    }
    // Counted in whole milliseconds, as the record keeps them, so a report
    // read back from the record is the same as the live one, and so is the
    // clock.
    const double seconds = std::round(std::chrono::duration<double>(Clock::now() - sent).count() * 1000) / 1000;
    dirs_[e].restore();
    if (status == EngineProcess::ReadStatus::kStopped) return std::nullopt;
    const bool flagFell = config_.clock.on() && seconds > left;
    if ((status == EngineProcess::ReadStatus::kTimeout && clockBinds) ||
        (status == EngineProcess::ReadStatus::kLine && flagFell)) {
      return lose(side, GameEnd::kTimeForfeit,
                  "ran out of time (clock " + clockText(config_.clock) + ", " + secondsText(left) +
                      " s left for this move)");
    }
    if (status == EngineProcess::ReadStatus::kTimeout) {
      return lose(side, GameEnd::kTimeout,
                  "gave no move within " + secondsText(config_.moveSeconds) + " s");
    }
    if (status == EngineProcess::ReadStatus::kClosed) {
      const std::string description = process.exitDescription();
      // An engine ended by SIGINT, SIGTERM or SIGHUP was stopped from outside
      // along with the match (a batch system ending the job, a closed ssh
      // session), not by a fault of its own.
      if (const int signal = process.outsideStopSignal()) requestStop(signal);
      return lose(side, GameEnd::kCrash, "crashed: " + description);
    }
    Move move{};
    if (!parseMoveReply(line, move)) {
      return lose(side, GameEnd::kMalformed, "sent '" + line.substr(0, kQuotedReplyLength) + "' instead of a move");
    }
    if (!isLegalMove(board, side, move)) {
      return lose(side, GameEnd::kIllegal, "played " + line.substr(5) + ", which is not a legal move");
    }
    const size_t ply = game.moves.size();
    if (onOpening && ply < game.opening.size() && !(move == game.opening[ply])) {
      onOpening = false;
      game.leftOpening = true;
      game.leftOpeningPly = static_cast<int>(ply) + 1;
      if (config_.openingsRequired) {
        return lose(side, GameEnd::kLeftOpening,
                    "played " + moveText(move) + " instead of the opening's " + moveText(game.opening[ply]) +
                        " (the move its startgame/ book folder held)");
      }
    }
    game.moves.push_back({move, seconds, std::move(thinking)});
    left += config_.clock.increment - seconds;
    const bool capture = board.at(move.toRow, move.toCol) != kEmpty;
    applyMove(board, move);
    quiet = capture ? 0 : quiet + 1;
    const Side next = opponent(side);
    if (capture) seen.clear();  // no earlier position can come back
    const bool repeated = std::find(seen.begin(), seen.end(), Position{board, next}) != seen.end();
    seen.push_back({board, next});
    const RuleVerdict verdict = judgePosition(config_.rules, board, next, quiet, game.plies(), repeated);
    if (verdict.end != RuleEnd::kNone) {
      game.winner = verdict.winner;
      setRuleEnd(game, verdict, board, quiet, config_.rules, who(next));
      return game;
    }
    if (config_.adjudication.on()) {
      const AdjudicationVerdict adjudged = adjudicate(config_.adjudication, game.moves);
      if (adjudged.decided) {
        game.winner = adjudged.winner;
        game.end = GameEnd::kAdjudicated;
        game.reason = "adjudicated: " + adjudged.reason;
        return game;
      }
    }
    // Stopping: the worker tells the engines "stop" after this.
    if (stopRequested()) return std::nullopt;
    if (index > lastNeeded.load()) {
      // The match is decided without this game; its engines are mid-game.
      processes_[engineOf(kBlack)].kill();
      processes_[engineOf(kWhite)].kill();
      return std::nullopt;
    }
    side = next;
    placeOpeningMove();
    command = "move " + line.substr(5);
  }
}
}  // namespace tovrane
