#include "match/game_record.h"

#include <cstdint>
#include <cstdio>
#include <istream>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace tovrane {

namespace {

struct EndName {
  GameEnd end;
  const char* code;
};

constexpr EndName kEndNames[] = {
    {GameEnd::kNoMoves, "no-moves"}, {GameEnd::kIllegal, "illegal"},     {GameEnd::kMalformed, "malformed"},
    {GameEnd::kTimeout, "timeout"},  {GameEnd::kCrash, "crash"},         {GameEnd::kNoStart, "no-start"},
    {GameEnd::kQuietDraw, "quiet-draw"}, {GameEnd::kPlyCap, "ply-cap"},   {GameEnd::kUnfinished, "unfinished"},
    {GameEnd::kRepetition, "repetition"}, {GameEnd::kQuietLimit, "quiet-limit"},
    {GameEnd::kTimeForfeit, "time-forfeit"}, {GameEnd::kResigned, "resigned"},
    {GameEnd::kAdjudicated, "adjudicated"}, {GameEnd::kLeftOpening, "left-opening"},
};

const char* sideWord(Side side) { return side == kWhite ? "white" : "black"; }

bool isMoveWord(const std::string& word) {
  if (word.size() != 4) return false;
  for (char ch : word) {
    if (ch < '0' || ch > '5') return false;
  }
  return true;
}

}  // namespace

bool endedByRule(GameEnd end) {
  return end == GameEnd::kNoMoves || end == GameEnd::kQuietDraw || end == GameEnd::kPlyCap ||
         end == GameEnd::kRepetition || end == GameEnd::kQuietLimit;
}

const char* gameEndCode(GameEnd end) {
  for (const EndName& e : kEndNames) {
    if (e.end == end) return e.code;
  }
  return "?";
}

bool parseGameEndCode(const std::string& code, GameEnd& end) {
  for (const EndName& e : kEndNames) {
    if (code == e.code) {
      end = e.end;
      return true;
    }
  }
  return false;
}

std::string resultWord(Side winner) {
  if (winner == kBlack) return "black";
  if (winner == kWhite) return "white";
  return "draw";
}

void writeGameRecord(std::ostream& out, const GameRecord& game) { out << gameRecordText(game); }

std::string gameRecordText(const GameRecord& game) {
  std::ostringstream out;
  out << "game " << game.number << "\n"
      << "black " << game.blackName << "\n"
      << "white " << game.whiteName << "\n"
      << "opening " << openingText(game.opening) << "\n"
      << "result " << (game.end == GameEnd::kUnfinished ? "none" : resultWord(game.winner)) << "\n"
      << "end " << gameEndCode(game.end) << "\n"
      << "reason " << game.reason << "\n"
      << "plies " << game.plies() << "\n";
  if (game.leftOpeningPly > 0) {
    out << "opening-left " << game.leftOpeningPly << " " << sideWord(game.leftOpeningPly % 2 == 1 ? kBlack : kWhite)
        << "\n";
  }
  // The engines' other lines go before the move they came with; those of a
  // turn that gave no move, after the last move.
  size_t note = 0;
  auto writeNotes = [&](int beforePly) {
    for (; note < game.notes.size() && game.notes[note].ply <= beforePly; ++note) {
      out << "# " << sideWord(game.notes[note].side) << " said before ply " << game.notes[note].ply << ": "
          << game.notes[note].text << "\n";
    }
  };
  Side side = kBlack;
  char seconds[32];
  for (int i = 0; i < game.plies(); ++i) {
    writeNotes(i + 1);
    const PlayedMove& played = game.moves[static_cast<size_t>(i)];
    std::snprintf(seconds, sizeof seconds, "%.3f", played.seconds);
    out << i + 1 << " " << sideWord(side) << " " << moveText(played.move) << " " << seconds;
    if (played.thinking) out << " " << thinkingFieldsText(*played.thinking);
    out << "\n";
    side = opponent(side);
  }
  writeNotes(INT32_MAX);
  if (game.notesDropped > 0) out << "# and " << game.notesDropped << " more line(s) from the engines, not kept\n";
  out << "\n";
  return out.str();
}

std::vector<GameRecord> readGameRecords(std::istream& in) {
  std::vector<GameRecord> games;
  std::string text;
  int number = 0;
  auto fail = [&](const std::string& why) {
    throw std::runtime_error("line " + std::to_string(number) + ": " + why);
  };
  while (std::getline(in, text)) {
    ++number;
    // Every carriage return at a line's end goes, not just a CRLF's one: a value
    // that kept one would lose it when written and read again.
    while (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty() || text[0] == '#') continue;
    const size_t space = text.find(' ');
    const std::string key = text.substr(0, space);
    const std::string value = space == std::string::npos ? "" : text.substr(space + 1);
    if (key == "game") {
      GameRecord game;
      try {
        game.number = std::stoi(value);
      } catch (const std::exception&) {
        fail("bad game number '" + value + "'");
      }
      games.push_back(game);
      continue;
    }
    if (games.empty()) fail("'" + key + "' before the first 'game' line");
    GameRecord& game = games.back();
    if (key == "black") {
      game.blackName = value;
    } else if (key == "white") {
      game.whiteName = value;
    } else if (key == "opening") {
      if (!parseOpeningLine(value, game.opening)) fail("bad opening '" + value + "'");
    } else if (key == "result") {
      if (value == "black") {
        game.winner = kBlack;
      } else if (value == "white") {
        game.winner = kWhite;
      } else if (value == "draw" || value == "none") {
        game.winner = 0;  // none: a game saved before its end
      } else {
        fail("bad result '" + value + "'");
      }
    } else if (key == "end") {
      if (!parseGameEndCode(value, game.end)) fail("bad end code '" + value + "'");
    } else if (key == "reason") {
      game.reason = value;
    } else if (key == "plies") {
      // Written for the reader; the move lines are what counts.
    } else if (key == "opening-left") {
      std::istringstream fields(value);
      int ply = 0;
      std::string colour;
      if (!(fields >> ply >> colour) || ply < 1 || colour != sideWord(ply % 2 == 1 ? kBlack : kWhite)) {
        fail("bad opening-left '" + value + "'");
      }
      game.leftOpeningPly = ply;
    } else {
      std::istringstream fields(text);
      int ply = 0;
      std::string colour;
      std::string move;
      double seconds = 0;
      if (!(fields >> ply >> colour >> move >> seconds) || ply != game.plies() + 1 || !isMoveWord(move) ||
          colour != sideWord(ply % 2 == 1 ? kBlack : kWhite)) {
        fail("expected move " + std::to_string(game.plies() + 1) + ", got '" + text + "'");
      }
      PlayedMove played{readMoveText(move.c_str()), seconds};
      // What the engine thought, when the line goes on.
      std::string rest;
      std::getline(fields, rest);
      if (rest.find_first_not_of(" \t") != std::string::npos) {
        Thinking thinking;
        if (!parseThinkingFields(rest, thinking)) fail("bad thinking fields in '" + text + "'");
        played.thinking = std::move(thinking);
      }
      game.moves.push_back(std::move(played));
    }
  }
  for (GameRecord& game : games) {
    // The engines left the opening when a played move differs from the line's.
    for (size_t i = 0; i < game.moves.size() && i < game.opening.size() && !game.leftOpening; ++i) {
      if (!(game.moves[i].move == game.opening[i])) {
        game.leftOpening = true;
        game.leftOpeningPly = static_cast<int>(i) + 1;
      }
    }
    if (game.leftOpeningPly > 0) game.leftOpening = true;
  }
  return games;
}

RecordFile readRecordFile(const std::string& text) {
  RecordFile file;
  // Everything up to the last empty line is whole: a game block ends with
  // one, and the block after it, if any, was cut short.
  const size_t lastEnd = text.rfind("\n\n");
  file.completeBytes = lastEnd == std::string::npos ? 0 : lastEnd + 2;
  const std::string complete = text.substr(0, file.completeBytes);
  const std::string rest = text.substr(file.completeBytes);
  std::istringstream lines(complete);
  file.games = readGameRecords(lines);
  // Comments before the first game; the header is whole once its empty line is there.
  std::istringstream head(complete);
  std::string line;
  while (std::getline(head, line) && (line.empty() || line[0] == '#')) {
    if (!line.empty()) file.comments.push_back(line.substr(1));
  }
  file.droppedPartial = rest.find_first_not_of(" \t\r\n") != std::string::npos;
  if (!file.droppedPartial) file.completeBytes = text.size();
  return file;
}

}  // namespace tovrane
