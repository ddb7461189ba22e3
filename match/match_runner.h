#pragma once
// The referee of a match: plays games between two engine programs over the
// engines' own command protocol, checks every move with the move generator,
// and reports each game and the final standings. A match can be stopped by
// a signal, resumed from its record, and split into shards whose records
// are merged afterwards.

#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "match/game_record.h"
#include "match/match_config.h"
#include "match/match_report.h"

namespace tovrane {

// An engine that cannot be started or does not answer "name?", a working
// directory that cannot be made, or a record that cannot be written,
// resumed or merged.
struct MatchError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Plays the match (or its shard). Writes a line per finished game, in game
// order, and the standings at the end to out. Games run concurrently but are
// reported, and counted, as if played one after another, so the output does
// not depend on the concurrency. With config.resume the games already in
// the record are counted (and reprinted) and only the others played.
// SIGINT or SIGTERM stop the match: the games under way are dropped, the
// finished ones kept and reported, and result.stopSignal says so. Throws
// MatchError before the first game when an engine cannot be started or the
// record cannot be used.
MatchResult runMatch(const MatchConfig& config, std::ostream& out);

// Reads the records of one match (shards, or a stopped run and its
// resumption) and reports their games as a single run over them would,
// with the sequential test of the match. Notes on missing or dropped games
// follow the report. Throws MatchError when a file cannot be read, the
// records belong to different matches, or a game appears twice. sprt, when
// given, replaces the match's own sequential test (or adds one): what it
// would have decided on these games, in their order.
MatchResult mergeRecords(const std::vector<std::string>& paths, std::ostream& out,
                         const std::optional<SprtSetup>& sprt = std::nullopt);

}  // namespace tovrane
