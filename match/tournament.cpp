#include "match/tournament.h"

namespace tovrane {

const char* tournamentName(TournamentKind kind) {
  return kind == TournamentKind::kGauntlet ? "gauntlet" : "round-robin";
}

bool parseTournamentName(const std::string& name, TournamentKind& kind) {
  if (name == "round-robin") {
    kind = TournamentKind::kRoundRobin;
  } else if (name == "gauntlet") {
    kind = TournamentKind::kGauntlet;
  } else {
    return false;
  }
  return true;
}

std::vector<Pairing> tournamentPairings(int engineCount, TournamentKind kind) {
  std::vector<Pairing> pairings;
  for (int a = 0; a < engineCount; ++a) {
    for (int b = a + 1; b < engineCount; ++b) pairings.push_back({a, b});
    if (kind == TournamentKind::kGauntlet) break;
  }
  return pairings;
}

GameSeat gameSeat(const std::vector<Pairing>& pairings, int index) {
  const int count = static_cast<int>(pairings.size());
  GameSeat seat{};
  seat.opening = index / (2 * count);
  seat.pairing = (index / 2) % count;
  const Pairing& p = pairings[static_cast<size_t>(seat.pairing)];
  const bool swapped = index % 2 == 1;
  seat.blackEngine = swapped ? p.second : p.first;
  seat.whiteEngine = swapped ? p.first : p.second;
  return seat;
}

}  // namespace tovrane
