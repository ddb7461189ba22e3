#include "match/engine_workdir.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tovrane {

namespace fs = std::filesystem;

namespace {
constexpr const char* kBookSubfolder = "startgame";
}

std::string bookFileName(const Board& board) { return boardDigits(board) + ".zjb"; }

std::string bookRecord(Side side, const Move& move) {
  return std::string(side == kWhite ? "white" : "black") + " " + std::to_string(move.fromRow) + " " +
         std::to_string(move.fromCol) + " " + std::to_string(move.toRow) + " " + std::to_string(move.toCol);
}

void EngineWorkDir::create(const std::string& path, const std::string& ownDir) {
  path_ = path;
  placed_.clear();
  ownBook_.clear();
  const fs::path book = fs::path(path) / kBookSubfolder;
  fs::create_directories(book);
  if (ownDir.empty()) return;
  const fs::path own = fs::path(ownDir) / kBookSubfolder;
  if (!fs::is_directory(own)) return;
  ownBook_ = fs::absolute(own).string();
  for (const fs::directory_entry& entry : fs::directory_iterator(own)) {
    if (entry.is_regular_file()) fs::copy_file(entry.path(), book / entry.path().filename());
  }
}

void EngineWorkDir::placeBookMove(const Board& board, Side side, const Move& move) {
  restore();
  placed_ = bookFileName(board);
  const fs::path file = fs::path(path_) / kBookSubfolder / placed_;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bookRecord(side, move) << "\n";
  if (!out.flush()) throw std::runtime_error("cannot write book file " + file.string());
}

void EngineWorkDir::restore() {
  if (placed_.empty()) return;
  const fs::path file = fs::path(path_) / kBookSubfolder / placed_;
  const fs::path own = ownBook_.empty() ? fs::path() : fs::path(ownBook_) / placed_;
  if (!own.empty() && fs::is_regular_file(own)) {
    fs::copy_file(own, file, fs::copy_options::overwrite_existing);
  } else {
    fs::remove(file);
  }
  placed_.clear();
}

}  // namespace tovrane
