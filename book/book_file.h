#pragma once
// Book files as the engine programs read them: in the folder startgame/ of
// the engine's working directory, one file per position named after the 36
// cells ("222...111.zjb"), holding records of a colour word and four numbers
// (from row, from column, to row, to column). The engines play one of the
// moves listed for their colour, at most nine per colour.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "game/board.h"
#include "game/opening_book.h"

namespace tovrane::book {

inline constexpr const char* kBookFolder = "startgame";
inline constexpr int kMaxMovesPerColour = OpeningBook::kMaxCandidates;

struct BookRecord {
  Side side;
  Move move;
  bool operator==(const BookRecord&) const = default;
};

// One fault in a book folder; line 0 means the file as a whole.
struct BookProblem {
  std::string file;
  int line;
  std::string message;
};

// "<36 digits>.zjb".
std::string bookFileName(const Board& board);

// True when name is 36 digits 0..2 plus ".zjb" and the position has at most
// twelve pieces a side; board then holds the position.
bool parseBookFileName(std::string_view name, Board& board);

// "black 1 2 2 2", the record line of one move.
std::string recordText(const BookRecord& record);

// The whole file: black records first, then white, each colour in the order
// given, one per line.
std::string formatBookFile(const std::vector<BookRecord>& records);

struct ParsedBookFile {
  std::vector<BookRecord> records;  // the well-formed records, in file order
  std::vector<BookProblem> problems;
};

// Reads text as the book file of board (displayName names it in problems)
// and checks every record: a colour word and four whole numbers 0..5, a move
// that is legal for that colour in board, at most nine moves a colour. The
// engines stop reading at a record that is not a word and four numbers, so
// checking stops there too.
ParsedBookFile parseBookText(const std::string& text, const Board& board, const std::string& displayName);

// Writes the book file of board into folder so that it appears complete or
// not at all: the text goes to a temporary file in tempFolder (which must be
// on the same file system), which is then renamed. Throws on failure.
void writeBookFileAtomically(const std::filesystem::path& folder, const std::filesystem::path& tempFolder,
                             const Board& board, const std::vector<BookRecord>& records);

// Reads a whole file; throws when it cannot be read.
std::string readWholeFile(const std::filesystem::path& file);

}  // namespace tovrane::book
