#include "selfplay/position_file.h"

#include <charconv>
#include <istream>
#include <sstream>
#include <stdexcept>

namespace tovrane {

namespace {

const char* endWord(RuleEnd end) {
  switch (end) {
    case RuleEnd::kNoMoves: return "no-moves";
    case RuleEnd::kRepetition: return "repetition";
    case RuleEnd::kQuietLimit: return "quiet-limit";
    case RuleEnd::kPlyCap: return "ply-cap";
    case RuleEnd::kNone: break;
  }
  return "none";
}

const char* resultText(Side winner, Side side) {
  if (winner == 0) return "0.5";
  return winner == side ? "1" : "0";
}

// Splits text at blanks; views into text.
std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
    const size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r') ++i;
    if (i > start) out.push_back(text.substr(start, i - start));
  }
  return out;
}

template <typename T>
bool number(std::string_view word, T& value) {
  const auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  return ec == std::errc() && ptr == word.data() + word.size();
}

bool moveWord(std::string_view word, Move& move) {
  if (word.size() != 4 || !isOnBoardMoveText(word)) return false;
  move = readMoveText(word.data());
  return true;
}

}  // namespace

int64_t firstShardGame(const SelfplayRun& run) { return (run.shard - 1) * run.games / run.shards + 1; }
int64_t lastShardGame(const SelfplayRun& run) { return run.shard * run.games / run.shards; }

std::string selfplaySettingsLine(const SelfplayRun& run) {
  const SelfplaySettings& s = run.settings;
  std::ostringstream line;
  line << "# selfplay games " << run.games << " seed " << s.seed << " opening-plies " << s.openingPlies
       << " random " << s.randomRate << " random-plies " << s.randomPlies << " nodes " << s.nodes << " depth "
       << s.depth << " hash " << s.hashMegabytes << " rules " << rulesName(s.rules) << " shard " << run.shard
       << "/" << run.shards;
  if (s.net != nullptr) line << " eval " << s.evalName;
  return line.str();
}

std::string selfplayHeader(const SelfplayRun& run) {
  return std::string(kSelfplayTitle) + "\n" + selfplaySettingsLine(run) +
         "\n# BOARD SIDE SCORE RESULT PLY GAME [CAPTURE...] per position; a game line closes each game\n";
}

std::string selfplayGameText(const SelfplayGame& game) {
  std::string text;
  text.reserve(game.positions.size() * 64 + game.moves.size() * 5 + 128);
  for (const SelfplayPosition& p : game.positions) {
    text += boardDigits(p.board);
    text += ' ';
    text += static_cast<char>('0' + p.side);
    text += ' ';
    text += std::to_string(p.score);
    text += ' ';
    text += resultText(game.winner, p.side);
    text += ' ';
    text += std::to_string(p.ply);
    text += ' ';
    text += std::to_string(game.number);
    for (int k = 0; k < p.captureCount; ++k) {
      text += ' ';
      text += moveText(p.captures[k]);
    }
    text += '\n';
  }
  text += "game " + std::to_string(game.number) + " result " +
          (game.winner == kBlack ? "black" : game.winner == kWhite ? "white" : "draw") + " end " +
          endWord(game.end) + " plies " + std::to_string(game.moves.size()) + " opening " +
          std::to_string(game.openingPlies) + " random ";
  if (game.randomPlies.empty()) text += '-';
  for (size_t i = 0; i < game.randomPlies.size(); ++i) {
    if (i > 0) text += ',';
    text += std::to_string(game.randomPlies[i]);
  }
  text += " moves";
  for (const Move& m : game.moves) {
    text += ' ';
    text += moveText(m);
  }
  text += '\n';
  return text;
}

bool parsePositionLine(std::string_view line, SelfplayRecord& record) {
  const std::vector<std::string_view> w = words(line);
  if (w.size() < 6 || w[0].size() != 36 || !parseBoardDigits(w[0], record.board)) return false;
  if (w[1] != "1" && w[1] != "2") return false;
  record.side = w[1][0] - '0';
  if (!number(w[2], record.score)) return false;
  if (w[3] == "1") {
    record.result = 1.0f;
  } else if (w[3] == "0") {
    record.result = 0.0f;
  } else if (w[3] == "0.5") {
    record.result = 0.5f;
  } else {
    return false;
  }
  if (!number(w[4], record.ply) || !number(w[5], record.game)) return false;
  record.captures.clear();
  for (size_t i = 6; i < w.size(); ++i) {
    Move m{};
    if (!moveWord(w[i], m)) return false;
    record.captures.push_back(m);
  }
  return true;
}

bool parseGameLine(std::string_view line, SelfplayGameLine& game) {
  const std::vector<std::string_view> w = words(line);
  if (w.size() < 13 || w[0] != "game" || w[2] != "result" || w[4] != "end" || w[6] != "plies" ||
      w[8] != "opening" || w[10] != "random" || w[12] != "moves") {
    return false;
  }
  size_t plies = 0;
  if (!number(w[1], game.number) || !number(w[7], plies) || !number(w[9], game.openingPlies)) return false;
  if (w[3] == "black") {
    game.winner = kBlack;
  } else if (w[3] == "white") {
    game.winner = kWhite;
  } else if (w[3] == "draw") {
    game.winner = 0;
  } else {
    return false;
  }
  game.end = std::string(w[5]);
  game.randomPlies.clear();
  if (w[11] != "-") {
    std::string_view rest = w[11];
    while (!rest.empty()) {
      const size_t comma = rest.find(',');
      int ply = 0;
      if (!number(rest.substr(0, comma), ply)) return false;
      game.randomPlies.push_back(ply);
      rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    }
  }
  game.moves.clear();
  for (size_t i = 13; i < w.size(); ++i) {
    Move m{};
    if (!moveWord(w[i], m)) return false;
    game.moves.push_back(m);
  }
  return game.moves.size() == plies;
}

SelfplayFileState readSelfplayState(std::istream& in) {
  SelfplayFileState state;
  std::string line;
  uint64_t offset = 0;
  int64_t pending = 0;  // positions since the last complete game
  int lineNumber = 0;
  bool sawTitle = false;
  while (std::getline(in, line)) {
    ++lineNumber;
    const bool complete = !in.eof();  // the line ended with its newline
    offset += line.size() + (complete ? 1 : 0);
    if (lineNumber == 1 && line == kSelfplayTitle) sawTitle = true;
    if (!line.empty() && line[0] == '#') {
      if (line.rfind("# selfplay ", 0) == 0 && state.settingsLine.empty()) state.settingsLine = line;
      if (state.games == 0 && pending == 0) state.completeBytes = offset;
      continue;
    }
    if (line.rfind("game ", 0) == 0 && complete) {
      SelfplayGameLine game;
      if (!parseGameLine(line, game)) {
        throw std::runtime_error("line " + std::to_string(lineNumber) + " is not a game line: " + line.substr(0, 80));
      }
      if (state.games > 0 && game.number != state.lastGame + 1) {
        throw std::runtime_error("line " + std::to_string(lineNumber) + ": game " + std::to_string(game.number) +
                                 " follows game " + std::to_string(state.lastGame));
      }
      ++state.games;
      state.positions += pending;
      pending = 0;
      state.lastGame = game.number;
      state.completeBytes = offset;
    } else {
      ++pending;
    }
  }
  if (!sawTitle) throw std::runtime_error("not a self-play position file (its first line is not '" +
                                          std::string(kSelfplayTitle) + "')");
  state.droppedPartial = offset > state.completeBytes;
  return state;
}

}  // namespace tovrane
