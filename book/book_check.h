#pragma once
// Checks a book folder the way the engines will read it, and reports every
// fault with its file and line.

#include <filesystem>
#include <vector>

#include "book/book_file.h"

namespace tovrane::book {

struct CheckReport {
  int files = 0;    // book files looked at
  int records = 0;  // well-formed records with a legal move
  std::vector<BookProblem> problems;
};

// Every entry of folder (the startgame/ folder itself) must be a regular
// file named after a position (36 digits 0..2 and ".zjb"); each file is
// checked with parseBookText. Entries are visited in name order. A folder
// that does not exist is one problem.
CheckReport checkBookFolder(const std::filesystem::path& folder);

}  // namespace tovrane::book
