#include "match/adjudication.h"

#include <charconv>
#include <limits>
#include <sstream>

namespace tovrane {

namespace {

constexpr int kMaxScore = 100000;
constexpr int kMaxMoves = 1000;
constexpr int kMaxFromPly = 100000;

bool readWhole(const std::string& text, int low, int high, int& value) {
  int read = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), read);
  if (text.empty() || text[0] == '-' || ec != std::errc() || end != text.data() + text.size() || read < low ||
      read > high) {
    return false;
  }
  value = read;
  return true;
}

std::vector<std::string> splitColons(const std::string& text) {
  std::vector<std::string> parts;
  size_t begin = 0;
  while (true) {
    const size_t colon = text.find(':', begin);
    parts.push_back(text.substr(begin, colon == std::string::npos ? std::string::npos : colon - begin));
    if (colon == std::string::npos) return parts;
    begin = colon + 1;
  }
}

// The score from black's side, with proved results beyond every other.
long long blackView(const ThinkingScore& score, Side mover) {
  constexpr long long kProved = std::numeric_limits<int>::max();
  long long value = score.value;
  if (score.kind == ThinkingScore::Kind::kWin) value = kProved;
  if (score.kind == ThinkingScore::Kind::kLoss) value = -kProved;
  return mover == kBlack ? value : -value;
}

// The last count moves of side (black moved at even indices), or fewer
// when a move of them had no thinking line.
std::vector<const PlayedMove*> lastMovesOf(const std::vector<PlayedMove>& moves, Side side, int count) {
  std::vector<const PlayedMove*> found;
  for (int i = static_cast<int>(moves.size()) - 1; i >= 0 && static_cast<int>(found.size()) < count; --i) {
    if ((i % 2 == 0 ? kBlack : kWhite) != side) continue;
    if (!moves[static_cast<size_t>(i)].thinking) break;
    found.push_back(&moves[static_cast<size_t>(i)]);
  }
  return found;
}

const char* sideName(Side side) { return side == kBlack ? "black" : "white"; }

}  // namespace

bool parseAdjudicateWin(const std::string& text, Adjudication& rules) {
  const std::vector<std::string> parts = splitColons(text);
  int score = 0;
  int moves = 0;
  if (parts.size() != 2 || !readWhole(parts[0], 1, kMaxScore, score) || !readWhole(parts[1], 1, kMaxMoves, moves)) {
    return false;
  }
  rules.win = true;
  rules.winScore = score;
  rules.winMoves = moves;
  return true;
}

bool parseAdjudicateDraw(const std::string& text, Adjudication& rules) {
  const std::vector<std::string> parts = splitColons(text);
  int score = 0;
  int moves = 0;
  int from = 0;
  if (parts.size() != 3 || !readWhole(parts[0], 0, kMaxScore, score) || !readWhole(parts[1], 1, kMaxMoves, moves) ||
      !readWhole(parts[2], 0, kMaxFromPly, from)) {
    return false;
  }
  rules.draw = true;
  rules.drawScore = score;
  rules.drawMoves = moves;
  rules.drawFromPly = from;
  return true;
}

std::string adjudicationText(const Adjudication& rules) {
  std::string text;
  if (rules.win) text = "win " + std::to_string(rules.winScore) + ":" + std::to_string(rules.winMoves);
  if (rules.draw) {
    text += std::string(text.empty() ? "" : " ") + "draw " + std::to_string(rules.drawScore) + ":" +
            std::to_string(rules.drawMoves) + ":" + std::to_string(rules.drawFromPly);
  }
  return text;
}

bool parseAdjudicationText(const std::string& text, Adjudication& rules) {
  std::istringstream words(text);
  std::string key;
  std::string value;
  Adjudication read;
  while (words >> key) {
    if (!(words >> value)) return false;
    if (key == "win" && !read.win) {
      if (!parseAdjudicateWin(value, read)) return false;
    } else if (key == "draw" && !read.draw) {
      if (!parseAdjudicateDraw(value, read)) return false;
    } else {
      return false;
    }
  }
  rules = read;
  return true;
}

AdjudicationVerdict adjudicate(const Adjudication& rules, const std::vector<PlayedMove>& moves) {
  AdjudicationVerdict verdict;
  if (rules.win) {
    const std::vector<const PlayedMove*> black = lastMovesOf(moves, kBlack, rules.winMoves);
    const std::vector<const PlayedMove*> white = lastMovesOf(moves, kWhite, rules.winMoves);
    const auto full = [&](const std::vector<const PlayedMove*>& m) {
      return static_cast<int>(m.size()) == rules.winMoves;
    };
    // Which side every line of lines puts ahead by at least the margin
    // (provedOnly: by a proved result); 0 when they do not agree.
    const auto ahead = [&](const std::vector<const PlayedMove*>& lines, Side mover, bool provedOnly) -> Side {
      Side side = 0;
      for (const PlayedMove* m : lines) {
        const ThinkingScore& s = m->thinking->score;
        if (provedOnly && s.kind == ThinkingScore::Kind::kCentis) return 0;
        const long long value = blackView(s, mover);
        const Side now = value >= rules.winScore ? kBlack : value <= -rules.winScore ? kWhite : 0;
        if (now == 0 || (side != 0 && now != side)) return 0;
        side = now;
      }
      return side;
    };
    if (full(black) && full(white)) {
      const Side b = ahead(black, kBlack, false);
      if (b != 0 && b == ahead(white, kWhite, false)) {
        verdict = {true, b,
                   "both engines put " + std::string(sideName(b)) + " ahead by " + std::to_string(rules.winScore) +
                       " or more for " + std::to_string(rules.winMoves) + " move(s)"};
        return verdict;
      }
    }
    for (const Side mover : {kBlack, kWhite}) {
      const std::vector<const PlayedMove*>& lines = mover == kBlack ? black : white;
      if (!full(lines)) continue;
      const Side proved = ahead(lines, mover, true);
      if (proved != 0) {
        verdict = {true, proved,
                   std::string(sideName(mover)) + "'s engine reported a proved win for " + sideName(proved) +
                       " for " + std::to_string(rules.winMoves) + " move(s)"};
        return verdict;
      }
    }
  }
  if (rules.draw && static_cast<int>(moves.size()) >= rules.drawFromPly) {
    const std::vector<const PlayedMove*> black = lastMovesOf(moves, kBlack, rules.drawMoves);
    const std::vector<const PlayedMove*> white = lastMovesOf(moves, kWhite, rules.drawMoves);
    const auto level = [&](const std::vector<const PlayedMove*>& lines) {
      if (static_cast<int>(lines.size()) != rules.drawMoves) return false;
      for (const PlayedMove* m : lines) {
        const ThinkingScore& s = m->thinking->score;
        if (s.kind != ThinkingScore::Kind::kCentis || s.value > rules.drawScore || s.value < -rules.drawScore) {
          return false;
        }
      }
      return true;
    };
    if (level(black) && level(white)) {
      verdict = {true, 0,
                 "both engines' scores stayed within " + std::to_string(rules.drawScore) + " of 0 for " +
                     std::to_string(rules.drawMoves) + " move(s)"};
    }
  }
  return verdict;
}

}  // namespace tovrane
