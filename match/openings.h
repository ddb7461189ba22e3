#pragma once
// Opening lines for matches: short legal move sequences from the initial
// position, drawn at random from a seed or read from a file. Each line is
// played twice, once with each engine as black.

#include <cstdint>
#include <string>
#include <vector>

#include "game/board.h"

namespace tovrane {

using OpeningLine = std::vector<Move>;

// count lines of plies moves each, drawn uniformly among the distinct legal
// moves at every ply with a generator seeded by seed (std::mt19937_64, so the
// lines are the same on every platform). A line is redrawn when it repeats a
// position with the same side to move, when the side to move after it has no
// move, or when it equals an earlier line; after many failed draws a
// duplicate is accepted (there may be fewer distinct lines than asked for).
std::vector<OpeningLine> randomOpenings(int count, int plies, uint64_t seed);

// Checks a line from the initial position. Returns an empty string when the
// line is usable, else why not: a move that is not legal, a position that
// recurs with the same side to move (one book file cannot hold two moves for
// it), or a side to move at the end that has no move (the game would be over).
std::string checkOpening(const OpeningLine& line);

// Parses one line of four-digit moves separated by white space. Returns false
// for a word that is not four digits.
bool parseOpeningLine(const std::string& text, OpeningLine& line);

// Reads a file of opening lines, one per line; '#' starts a comment that runs
// to the line's end, and lines left empty are skipped. Throws std::runtime_error naming the file and line
// number when a line does not parse or is not usable.
std::vector<OpeningLine> readOpeningFile(const std::string& path);

std::string openingText(const OpeningLine& line);

}  // namespace tovrane
