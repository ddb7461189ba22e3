#pragma once
// Who plays whom: a match of two engines, or a tournament of more, as a list
// of pairings, and where each game of the match stands in it.
//
// Games are laid out opening by opening: for each opening, every pairing
// plays it twice, first with the pairing's first engine as black, then with
// the colours swapped. So game k (0-based) is opening k / (2P) of pairing
// (k / 2) % P, and a block of consecutive openings (a shard) holds whole
// rounds. With two engines (one pairing) this is the match's old order:
// engine 1 has black in the odd games.

#include <string>
#include <vector>

namespace tovrane {

enum class TournamentKind {
  kRoundRobin,  // every engine against every other
  kGauntlet,    // the first engine against each other one
};

const char* tournamentName(TournamentKind kind);  // "round-robin", "gauntlet"
bool parseTournamentName(const std::string& name, TournamentKind& kind);

struct Pairing {
  int first;   // engine indices, first < second
  int second;
};

// Round robin: (0,1), (0,2), ..., (1,2), ...; gauntlet: (0,1), (0,2), ...
// Two engines always make the one pairing (0,1).
std::vector<Pairing> tournamentPairings(int engineCount, TournamentKind kind);

struct GameSeat {
  int opening;
  int pairing;
  int blackEngine;
  int whiteEngine;
};

// Where game index (0-based) stands among pairingCount pairings.
GameSeat gameSeat(const std::vector<Pairing>& pairings, int index);

}  // namespace tovrane
