#include "book/book_builder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "book/book_file.h"
#include "rules/move_generator.h"

namespace tovrane::book {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string settingsText(const BuildOptions& options) {
  return "# made by tovrane book build; a build into this folder must use the same settings\n"
         "player " +
         describePlayer(options.player) + "\nmoves " + std::to_string(options.moves) + "\nmargin " +
         std::to_string(options.margin) + "\n";
}

// Positions by their digits, so that every list comes out in one order.
using PositionSet = std::map<std::string, Board>;

void addPosition(PositionSet& set, const Board& board) { set.emplace(boardDigits(board), board); }

// The records of file for side when it has some; throws when the file is
// not a clean book file (a folder written by hand, say).
std::vector<BookRecord> readExisting(const fs::path& file, const Board& board) {
  std::error_code error;
  if (!fs::exists(file, error)) return {};
  const ParsedBookFile parsed = parseBookText(readWholeFile(file), board, file.string());
  if (!parsed.problems.empty()) {
    const BookProblem& p = parsed.problems.front();
    throw std::runtime_error(p.file + ":" + std::to_string(p.line) + ": " + p.message +
                             " (not a file of this build; remove it)");
  }
  return parsed.records;
}

std::vector<Move> movesOf(const std::vector<BookRecord>& records, Side side) {
  std::vector<Move> moves;
  for (const BookRecord& r : records) {
    if (r.side == side) moves.push_back(r.move);
  }
  return moves;
}

class Builder {
 public:
  Builder(const BuildOptions& options, const std::function<void(const BuildProgress&)>& progress)
      : options_(options), progress_(progress), folder_(options.out / kBookFolder) {}

  BuildResult run() {
    prepareFolder();
    start_ = Clock::now();
    Board initial{};
    resetBoard(initial);
    // Ply 0: black's book starts at the initial position; white's book has
    // black move freely there.
    PositionSet book;
    PositionSet free;
    addPosition(book, initial);
    addPosition(free, initial);
    knownPlies_.push_back(1);
    for (int ply = 0; ply < options_.plies; ++ply) {
      const Side side = ply % 2 == 0 ? kBlack : kWhite;
      std::vector<Board> positions;
      for (const auto& [digits, board] : book) {
        if (analysed_[side].insert(digits).second) positions.push_back(board);
      }
      knownPlies_[ply] = static_cast<int64_t>(positions.size());
      PositionSet nextBook;
      PositionSet nextFree;
      if (ply + 1 < options_.plies) {
        // The other colour's book positions: every legal move from here.
        MoveList list;
        int64_t children = 0;
        for (const auto& [digits, board] : free) {
          if (!expanded_[side].insert(digits).second) continue;
          list.generateMoves(board, side);
          for (int i = 0; i < list.size(); ++i) {
            Board child = board;
            applyMove(child, list.moves[i]);
            addPosition(nextBook, child);
            ++children;
          }
        }
        if (!free.empty()) branching_ = static_cast<double>(children) / static_cast<double>(free.size());
        knownPlies_.push_back(static_cast<int64_t>(nextBook.size()));
      }
      const std::vector<std::vector<Move>> moves = analysePly(ply, side, positions);
      for (size_t i = 0; i < positions.size(); ++i) {
        for (const Move& m : moves[i]) {
          Board child = positions[i];
          applyMove(child, m);
          addPosition(nextFree, child);
        }
      }
      book = std::move(nextBook);
      free = std::move(nextFree);
    }
    BuildResult result;
    result.positions = done_;
    result.searched = searched_;
    result.kept = kept_;
    result.seconds = secondsSince(start_);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
      if (entry.path().extension() == ".zjb") ++result.files;
    }
    return result;
  }

 private:
  void prepareFolder() {
    fs::create_directories(folder_);
    const fs::path settingsFile = options_.out / kBuildSettingsFile;
    const std::string settings = settingsText(options_);
    std::error_code error;
    if (fs::exists(settingsFile, error)) {
      if (readWholeFile(settingsFile) != settings) {
        throw std::runtime_error(settingsFile.string() +
                                 " records other build settings; build into another folder or remove it");
      }
    } else {
      if (!fs::is_empty(folder_)) {
        throw std::runtime_error(folder_.string() + " already holds files that no book build made");
      }
      const fs::path temp = options_.out / (std::string(".partial-") + kBuildSettingsFile);
      {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << settings;
        if (!out.flush()) throw std::runtime_error("cannot write " + temp.string());
      }
      fs::rename(temp, settingsFile);
    }
    // Temporary files of an interrupted run.
    for (const fs::directory_entry& entry : fs::directory_iterator(options_.out)) {
      if (entry.path().filename().string().rfind(".partial-", 0) == 0) fs::remove(entry.path());
    }
  }

  // Searches (or takes from existing files) the book moves of positions.
  std::vector<std::vector<Move>> analysePly(int ply, Side side, const std::vector<Board>& positions) {
    std::vector<std::vector<Move>> moves(positions.size());
    std::vector<size_t> todo;
    for (size_t i = 0; i < positions.size(); ++i) {
      const std::vector<BookRecord> existing = readExisting(folder_ / bookFileName(positions[i]), positions[i]);
      moves[i] = movesOf(existing, side);
      if (moves[i].empty()) {
        todo.push_back(i);
      } else {
        ++kept_;
        ++done_;
        bookMoves_ += static_cast<int64_t>(moves[i].size());
      }
    }
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::condition_variable changed;
    int running = std::max(1, std::min<int>(options_.jobs, static_cast<int>(todo.size())));
    std::exception_ptr failure;
    std::atomic<bool> stop{false};
    auto worker = [&] {
      try {
        const std::unique_ptr<BookPlayer> player = makePlayer(options_.player);
        for (size_t k = next++; k < todo.size() && !stop; k = next++) {
          const size_t i = todo[k];
          const std::vector<ScoredMove> found = player->analyse(positions[i], side, options_.moves, options_.margin);
          std::vector<Move> chosen;
          for (const ScoredMove& s : found) chosen.push_back(s.move);
          // Positions of one ply all have the same side to move, so no other
          // thread writes this file now; keep the other colour's records.
          std::vector<BookRecord> records =
              readExisting(folder_ / bookFileName(positions[i]), positions[i]);
          for (const Move& m : chosen) records.push_back({side, m});
          if (!chosen.empty()) writeBookFileAtomically(folder_, options_.out, positions[i], records);
          std::lock_guard<std::mutex> lock(mutex);
          moves[i] = std::move(chosen);
          ++searched_;
          ++done_;
          bookMoves_ += static_cast<int64_t>(moves[i].size());
          changed.notify_all();
        }
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure) failure = std::current_exception();
        stop = true;
      }
      std::lock_guard<std::mutex> lock(mutex);
      --running;
      changed.notify_all();
    };
    std::vector<std::thread> threads;
    const int jobs = running;
    if (!todo.empty()) {
      for (int j = 0; j < jobs; ++j) threads.emplace_back(worker);
    } else {
      running = 0;
    }
    {
      std::unique_lock<std::mutex> lock(mutex);
      for (;;) {
        report(ply);
        if (running == 0) break;
        changed.wait_for(lock, std::chrono::milliseconds(500));
      }
    }
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);
    return moves;
  }

  // Positions of later plies are unknown until the book moves before them
  // are; they are projected from the moves per position and the legal moves
  // per position seen so far.
  void report(int ply) {
    if (!progress_) return;
    BuildProgress p;
    p.ply = ply;
    p.done = done_;
    p.kept = kept_;
    const double perPosition = done_ > 0 ? static_cast<double>(bookMoves_) / static_cast<double>(done_) : 1.0;
    std::vector<double> counts(knownPlies_.begin(), knownPlies_.end());
    p.totalExact = static_cast<int>(counts.size()) >= options_.plies;
    while (static_cast<int>(counts.size()) < options_.plies) {
      const size_t q = counts.size();
      counts.push_back(q >= 2 ? counts[q - 2] * perPosition * branching_ : counts[q - 1] * branching_);
    }
    double total = 0;
    for (double c : counts) total += c;
    p.total = static_cast<int64_t>(total + 0.5);
    const double elapsed = secondsSince(start_);
    p.rate = elapsed > 0 ? static_cast<double>(searched_) / elapsed : 0;
    p.secondsLeft = p.rate > 0 ? std::max(0.0, static_cast<double>(p.total - p.done) / p.rate) : 0;
    progress_(p);
  }

  const BuildOptions& options_;
  const std::function<void(const BuildProgress&)>& progress_;
  const fs::path folder_;
  Clock::time_point start_;
  std::set<std::string> analysed_[3];  // by side: positions searched or kept
  std::set<std::string> expanded_[3];  // by side: positions whose moves were all followed
  std::vector<int64_t> knownPlies_;    // positions per ply, as far as known
  double branching_ = 16;              // legal moves per position, last measured
  int64_t done_ = 0;
  int64_t kept_ = 0;
  int64_t searched_ = 0;
  int64_t bookMoves_ = 0;
};

}  // namespace

BuildResult buildBook(const BuildOptions& options, const std::function<void(const BuildProgress&)>& progress) {
  if (options.plies < 1 || options.moves < 1 || options.moves > kMaxMovesPerColour || options.jobs < 1) {
    throw std::invalid_argument("book build: plies and jobs must be at least 1, moves 1..9");
  }
  makePlayer(options.player);  // an unknown program fails before any file is made
  return Builder(options, progress).run();
}

}  // namespace tovrane::book
