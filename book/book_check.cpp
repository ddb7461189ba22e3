#include "book/book_check.h"

#include <algorithm>
#include <system_error>

namespace tovrane::book {

namespace fs = std::filesystem;

CheckReport checkBookFolder(const fs::path& folder) {
  CheckReport report;
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    report.problems.push_back({folder.string(), 0, "no book folder here"});
    return report;
  }
  std::vector<fs::path> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) entries.push_back(entry.path());
  if (error) {
    report.problems.push_back({folder.string(), 0, "cannot list the folder: " + error.message()});
    return report;
  }
  std::sort(entries.begin(), entries.end());
  for (const fs::path& path : entries) {
    const std::string shown = path.string();
    Board board{};
    if (!parseBookFileName(path.filename().string(), board)) {
      report.problems.push_back({shown, 0, "name is not a position: 36 digits 0..2 (at most 12 of a side) and .zjb"});
      continue;
    }
    if (!fs::is_regular_file(path, error)) {
      report.problems.push_back({shown, 0, "not a regular file; the engines ignore it"});
      continue;
    }
    ++report.files;
    std::string text;
    try {
      text = readWholeFile(path);
    } catch (const std::exception& e) {
      report.problems.push_back({shown, 0, e.what()});
      continue;
    }
    ParsedBookFile parsed = parseBookText(text, board, shown);
    report.records += static_cast<int>(parsed.records.size());
    for (BookProblem& p : parsed.problems) report.problems.push_back(std::move(p));
  }
  return report;
}

}  // namespace tovrane::book
