#include "match/match_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>

namespace tovrane {

namespace {

std::string formatNumber(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string pointsText(double points) {
  return std::fmod(points, 1.0) == 0 ? formatNumber("%.0f", points) : formatNumber("%.1f", points);
}

std::string eloText(const MatchScore& score) {
  if (score.games() == 0) return "-";
  const EloEstimate e = estimateElo(score);
  // A perfect score has no upper end (no win: no lower end): the other end says how far it reaches.
  if (e.elo > 0 && !std::isfinite(e.elo)) return ">= " + formatNumber("%+.1f", e.low);
  if (e.elo < 0 && !std::isfinite(e.elo)) return "<= " + formatNumber("%+.1f", e.high);
  // Rounded to zero, an even score prints as +0.0, not -0.0.
  return formatNumber("%+.1f", std::fabs(e.elo) < 0.05 ? 0.0 : e.elo) + " +- " + formatNumber("%.1f", e.margin);
}

std::string padRight(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string padLeft(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void printTable(const MatchResult& result, bool withClock, std::ostream& out) {
  size_t nameWidth = 6;
  for (const std::string& n : result.names) nameWidth = std::max(nameWidth, n.size());
  out << "\n"
      << padRight("engine", nameWidth) << "  games  wins  draws  losses   score  elo (95%)         avg move"
      << "  max move" << (withClock ? "  min left  med left" : "") << "\n";
  for (size_t e = 0; e < result.names.size(); ++e) {
    const EngineTally& t = result.tally[e];
    const MatchScore& s = t.score;
    out << padRight(result.names[e], nameWidth) << padLeft(std::to_string(s.games()), 7)
        << padLeft(std::to_string(s.wins), 6) << padLeft(std::to_string(s.draws), 7)
        << padLeft(std::to_string(s.losses), 8)
        << padLeft(formatNumber("%.1f%%", s.games() > 0 ? (100.0 * s.wins + 50.0 * s.draws) / s.games() : 50.0), 8)
        << "  " << padRight(eloText(s), 16)
        << padLeft(formatNumber("%.3f s", t.moves > 0 ? t.moveSeconds / t.moves : 0.0), 10)
        << padLeft(formatNumber("%.3f s", t.longestMove), 10);
    if (withClock) {
      const std::vector<double>& left = t.clockLeft;
      out << padLeft(formatNumber("%.3f s", left.empty() ? 0.0 : *std::min_element(left.begin(), left.end())), 10)
          << padLeft(formatNumber("%.3f s", median(left)), 10);
    }
    out << "\n";
  }
}

// Points of each engine against each other one, engines numbered as given.
void printCrossTable(const MatchResult& result, std::ostream& out) {
  const size_t n = result.names.size();
  size_t labelWidth = 6;
  for (size_t e = 0; e < n; ++e) labelWidth = std::max(labelWidth, std::to_string(e + 1).size() + 1 + result.names[e].size());
  std::vector<std::vector<std::string>> cells(n, std::vector<std::string>(n));
  size_t cellWidth = 4;
  for (size_t p = 0; p < result.pairings.size(); ++p) {
    const Pairing& pairing = result.pairings[p];
    const MatchScore& s = result.pairScores[p];
    if (s.games() == 0) continue;
    std::string games = std::to_string(s.games());
    games.insert(games.begin(), '/');
    std::string& first = cells[static_cast<size_t>(pairing.first)][static_cast<size_t>(pairing.second)];
    std::string& second = cells[static_cast<size_t>(pairing.second)][static_cast<size_t>(pairing.first)];
    first = pointsText(s.wins + 0.5 * s.draws) + games;
    second = pointsText(s.losses + 0.5 * s.draws) + games;
    cellWidth = std::max({cellWidth, first.size(), second.size()});
  }
  out << "\ncross table: points of the row's engine against the column's, of the games played\n"
      << std::string(labelWidth, ' ');
  for (size_t c = 0; c < n; ++c) out << "  " << padLeft(std::to_string(c + 1), cellWidth);
  out << "\n";
  for (size_t r = 0; r < n; ++r) {
    out << padRight(std::to_string(r + 1) + " " + result.names[r], labelWidth);
    for (size_t c = 0; c < n; ++c) out << "  " << padLeft(r == c ? "-" : cells[r][c], cellWidth);
    out << "\n";
  }
}

std::string pairCountsText(const PairScore& score) {
  static const char* const kPoints[] = {"0", "1/2", "1", "3/2", "2"};
  std::string text;
  for (size_t k = 0; k < score.counts.size(); ++k) {
    text += std::string(k == 0 ? "" : "  ") + kPoints[k] + ": " + std::to_string(score.counts[k]);
  }
  return text;
}

std::string eloText(const EloEstimate& e) {
  if (!std::isfinite(e.elo)) return e.elo > 0 ? "+inf" : "-inf";
  return formatNumber("%+.1f", std::fabs(e.elo) < 0.05 ? 0.0 : e.elo) + " +- " +
         (std::isfinite(e.margin) ? formatNumber("%.1f", e.margin) : std::string("inf"));
}

// Per pairing: the pentanomial counts and the Elo from them, with the Elo
// from single games beside it; the games without their other colour apart.
void printPairs(const MatchResult& result, std::ostream& out) {
  out << "\npairs of games (one opening, both colours): the first engine's points per pair\n";
  for (size_t p = 0; p < result.pairings.size(); ++p) {
    const PairScore& pairs = result.pairPairs[p];
    const std::string& first = result.names[static_cast<size_t>(result.pairings[p].first)];
    const std::string& second = result.names[static_cast<size_t>(result.pairings[p].second)];
    if (pairs.pairs() == 0 && result.unpaired[p] == 0) continue;
    out << "  " << first << " - " << second << ": " << pairCountsText(pairs) << " (" << pairs.pairs() << " pairs)";
    if (result.unpaired[p] > 0) out << "; " << result.unpaired[p] << " game(s) without their pair, left out";
    out << "\n    elo " << (pairs.pairs() > 0 ? eloText(estimatePairElo(pairs)) : std::string("-"))
        << " from pairs; " << eloText(result.pairScores[p]) << " from single games (trinomial)\n";
  }
}

}  // namespace

int winningEngine(const GameRecord& game) {
  if (game.winner == 0) return -1;
  return game.winner == kBlack ? game.blackEngine : game.whiteEngine;
}

double clockLeftAtEnd(const GameRecord& game, Side side, const GameClock& clock) {
  if (game.end == GameEnd::kTimeForfeit && game.winner == opponent(side)) return 0;
  double left = clock.base;
  for (int i = side == kBlack ? 0 : 1; i < game.plies(); i += 2) {
    left += clock.increment - game.moves[static_cast<size_t>(i)].seconds;
  }
  return std::max(left, 0.0);
}

MatchReport::MatchReport(const std::vector<std::string>& names, const std::vector<Pairing>& pairings,
                         int totalGames, const SprtSetup& sprt, const GameClock& clock, std::ostream& out)
    : totalGames_(totalGames), sprt_(sprt), clock_(clock), out_(out) {
  result_.names = names;
  result_.pairings = pairings;
  result_.tally.resize(names.size());
  result_.pairScores.resize(pairings.size());
  result_.pairPairs.resize(pairings.size());
  result_.unpaired.resize(pairings.size());
  halfPairs_.resize(pairings.size());
  if (names.size() != 2) sprt_.on = false;
}

void MatchReport::add(GameRecord game) {
  const int winner = winningEngine(game);
  for (const int e : {game.blackEngine, game.whiteEngine}) {
    MatchScore& s = result_.tally[static_cast<size_t>(e)].score;
    if (winner < 0) {
      ++s.draws;
    } else if (winner == e) {
      ++s.wins;
    } else {
      ++s.losses;
    }
  }
  // The pairing's score, from its first engine's side.
  size_t pairing = 0;
  while (pairing + 1 < result_.pairings.size() &&
         !(std::min(game.blackEngine, game.whiteEngine) == result_.pairings[pairing].first &&
           std::max(game.blackEngine, game.whiteEngine) == result_.pairings[pairing].second)) {
    ++pairing;
  }
  const Pairing& players = result_.pairings[pairing];
  MatchScore& s = result_.pairScores[pairing];
  if (winner < 0) {
    ++s.draws;
  } else if (winner == players.first) {
    ++s.wins;
  } else {
    ++s.losses;
  }
  // Games 2k-1 and 2k are one opening with the colours swapped (tournament.h).
  const double points = winner < 0 ? 0.5 : winner == players.first ? 1.0 : 0.0;
  std::map<int, double>& half = halfPairs_[pairing];
  const int pair = (game.number - 1) / 2;
  if (const auto other = half.find(pair); other != half.end()) {
    ++result_.pairPairs[pairing].counts[static_cast<size_t>(std::lround(2 * (other->second + points)))];
    half.erase(other);
  } else {
    half.emplace(pair, points);
  }
  for (int i = 0; i < game.plies(); ++i) {
    const int e = i % 2 == 0 ? game.blackEngine : game.whiteEngine;
    EngineTally& t = result_.tally[static_cast<size_t>(e)];
    t.moveSeconds += game.moves[static_cast<size_t>(i)].seconds;
    t.longestMove = std::max(t.longestMove, game.moves[static_cast<size_t>(i)].seconds);
    ++t.moves;
  }
  if (clock_.on()) {
    result_.tally[static_cast<size_t>(game.blackEngine)].clockLeft.push_back(clockLeftAtEnd(game, kBlack, clock_));
    result_.tally[static_cast<size_t>(game.whiteEngine)].clockLeft.push_back(clockLeftAtEnd(game, kWhite, clock_));
  }
  out_ << "game " << game.number << "/" << totalGames_ << ": " << game.blackName << " (black) - " << game.whiteName
       << " (white): " << (winner < 0 ? "draw" : resultWord(game.winner) + " wins") << ", " << game.reason << ", "
       << game.plies() << " plies; score " << result_.names[static_cast<size_t>(players.first)] << " "
       << pointsText(s.wins + 0.5 * s.draws) << " - " << pointsText(s.losses + 0.5 * s.draws) << " "
       << result_.names[static_cast<size_t>(players.second)];
  if (sprt_.on) {
    const SprtBounds bounds = sprtBounds(sprt_.alpha, sprt_.beta);
    const double pairs = sprtPairLlr(result_.pairPairs[pairing], sprt_.elo0, sprt_.elo1);
    const double games = sprtLlr(s, sprt_.elo0, sprt_.elo1);
    result_.llr = sprt_.trinomial ? games : pairs;
    result_.otherLlr = sprt_.trinomial ? pairs : games;
    out_ << "; LLR " << formatNumber("%.2f", result_.llr) << " (" << formatNumber("%.2f", bounds.lower) << ", "
         << formatNumber("%.2f", bounds.upper) << ")";
    if (result_.llr <= bounds.lower || result_.llr >= bounds.upper) result_.sprtDecision = result_.llr >= bounds.upper ? 1 : -1;
  }
  out_ << "\n" << std::flush;
  result_.games.push_back(std::move(game));
}

void MatchReport::finish() {
  for (size_t p = 0; p < halfPairs_.size(); ++p) result_.unpaired[p] = static_cast<int>(halfPairs_[p].size());
  printTable(result_, clock_.on(), out_);
  if (result_.names.size() > 2) printCrossTable(result_, out_);
  printPairs(result_, out_);
  if (sprt_.on) {
    const SprtBounds bounds = sprtBounds(sprt_.alpha, sprt_.beta);
    out_ << "\nSPRT elo0 " << formatNumber("%g", sprt_.elo0) << ", elo1 " << formatNumber("%g", sprt_.elo1)
         << " (alpha " << formatNumber("%g", sprt_.alpha) << ", beta " << formatNumber("%g", sprt_.beta)
         << ") on " << (sprt_.trinomial ? "single games" : "pairs of games") << ": LLR "
         << formatNumber("%.2f", result_.llr) << " (" << (sprt_.trinomial ? "on pairs" : "on single games") << " "
         << formatNumber("%.2f", result_.otherLlr) << "), bounds (" << formatNumber("%.2f", bounds.lower) << ", "
         << formatNumber("%.2f", bounds.upper) << "); ";
    const std::string accepted = formatNumber("%g", result_.sprtDecision > 0 ? sprt_.elo1 : sprt_.elo0);
    const std::string rejected = formatNumber("%g", result_.sprtDecision > 0 ? sprt_.elo0 : sprt_.elo1);
    if (result_.sprtDecision != 0) {
      out_ << (result_.sprtDecision > 0 ? "H1" : "H0") << " accepted: " << result_.names[0] << " - "
           << result_.names[1] << " = " << accepted << " Elo rather than " << rejected;
    } else {
      out_ << "no decision after " << result_.games.size() << " games";
    }
    out_ << "\n";
  }
  std::map<std::string, int> ends;
  // Who did not play the opening's move, by engine; -1: a record too old to say.
  std::map<int, std::vector<int>> leftOpening;
  for (const GameRecord& g : result_.games) {
    ++ends[gameEndCode(g.end)];
    if (!g.leftOpening) continue;
    const int engine = g.leftOpeningPly == 0 ? -1 : g.leftOpeningPly % 2 == 1 ? g.blackEngine : g.whiteEngine;
    leftOpening[engine].push_back(g.number);
  }
  out_ << "\ngame ends:";
  for (const auto& [code, count] : ends) out_ << " " << code << " " << count;
  out_ << "\n";
  for (const auto& [engine, games] : leftOpening) {
    std::string numbers;
    for (size_t i = 0; i < games.size() && i < 10; ++i) numbers += (i == 0 ? "" : ", ") + std::to_string(games[i]);
    if (games.size() > 10) numbers += ", ...";
    out_ << "note: " << (engine < 0 ? "an engine" : result_.names[static_cast<size_t>(engine)])
         << " did not play the opening move from its book folder in " << games.size() << " game(s) (game "
         << numbers << "); an engine gets its opening only from the startgame/ folder in its working folder\n";
  }
}

}  // namespace tovrane
