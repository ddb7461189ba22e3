// Fuzz target: arbitrary bytes as the book file of the current position.
//
// The first byte picks the position (one of four) and the side to move; the
// rest is written as that position's book file in a private folder, and the
// OpeningBook is asked for a move. An independent reader of the same record
// format says which moves the file offers. The target checks that
//   - the records read are exactly the reference reader's (first nine
//     on-board moves per colour, reading stopped at the first record that is
//     not a word and four integers);
//   - a book move is returned exactly when the file offers one for the side,
//     it is one of those offered, and the result record is untouched when
//     there is none;
//   - the path is the 50-character name of the position;
//   - the Board after the book move still has cells 0, 1 or 2 only and at
//     most 12 pieces a side.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "fuzz/fuzz_check.h"
#include "game/opening_book.h"

namespace tovrane::fuzz {
namespace {

constexpr const char* kPositions[] = {
    "222222222222000000000000111111111111",  // the start
    "020200212220000002101100000000001111",  // a middle game
    "000002002000000000000000000000000201",  // an endgame
    "000000000000000000000000000000000000",  // no piece at all
};

struct Offered {
  Move black[OpeningBook::kMaxCandidates];
  int blackCount = 0;
  Move white[OpeningBook::kMaxCandidates];
  int whiteCount = 0;
};

// The record format read straight from memory: a word, then four decimal
// numbers (optional sign, digits up to the first other character). Only
// whether a number lies in 0..5, and which, matters.
class ReferenceReader {
 public:
  explicit ReferenceReader(std::string_view text) : text_(text) {}

  Offered read() {
    Offered offered;
    for (;;) {
      skipSpace();
      if (pos_ == text_.size()) break;
      const size_t begin = pos_;
      while (pos_ < text_.size() && !isSpaceByte(byte())) ++pos_;
      const std::string_view word = text_.substr(begin, pos_ - begin);
      int numbers[4];
      bool onBoard = true;
      bool complete = true;
      for (int& n : numbers) {
        if (!readNumber(n)) {
          complete = false;
          break;
        }
        onBoard = onBoard && n >= 0 && n <= 5;
      }
      if (!complete) break;
      if (!onBoard) continue;
      const Move move{numbers[0], numbers[2], numbers[1], numbers[3]};
      if (word == "black" && offered.blackCount < OpeningBook::kMaxCandidates) {
        offered.black[offered.blackCount++] = move;
      } else if (word == "white" && offered.whiteCount < OpeningBook::kMaxCandidates) {
        offered.white[offered.whiteCount++] = move;
      }
    }
    return offered;
  }

 private:
  unsigned char byte() const { return static_cast<unsigned char>(text_[pos_]); }
  void skipSpace() {
    while (pos_ < text_.size() && isSpaceByte(byte())) ++pos_;
  }
  // n is the value when it lies in 0..5, else -1.
  bool readNumber(int& n) {
    skipSpace();
    bool negative = false;
    if (pos_ < text_.size() && (byte() == '+' || byte() == '-')) negative = text_[pos_++] == '-';
    if (pos_ == text_.size() || byte() < '0' || byte() > '9') return false;
    int value = 0;
    for (; pos_ < text_.size() && byte() >= '0' && byte() <= '9'; ++pos_) {
      if (value <= 5) value = value * 10 + (byte() - '0');
    }
    n = value > 5 || (negative && value != 0) ? -1 : value;
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

bool sameMoves(const Move* a, int aCount, const Move* b, int bCount) {
  if (aCount != bCount) return false;
  for (int i = 0; i < aCount; ++i) {
    if (!(a[i] == b[i])) return false;
  }
  return true;
}

// A private working folder with a book folder in it, made once; in memory
// when the system offers it, since a disk file system may flush a file
// rewritten in place on every close. The target changes its working folder,
// so give it corpus folders as absolute paths.
void enterBookFolder() {
  static bool entered = false;
  if (entered) return;
  char memoryPattern[] = "/dev/shm/tovrane-book-fuzz-XXXXXX";
  char diskPattern[] = "/tmp/tovrane-book-fuzz-XXXXXX";
  char* folder = mkdtemp(memoryPattern);
  if (folder == nullptr) folder = mkdtemp(diskPattern);
  check(folder != nullptr && chdir(folder) == 0, "cannot make a working folder");
  mkdir("startgame", 0700);
  static const std::string made = folder;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(made, ignored);
  });
  entered = true;
}

}  // namespace
}  // namespace tovrane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrane;
  using namespace tovrane::fuzz;
  if (size == 0) return 0;
  enterBookFolder();
  static OpeningBook book;

  const std::string digits = kPositions[data[0] % 4];
  const Side side = (data[0] & 4) != 0 ? kWhite : kBlack;
  const std::string_view content(reinterpret_cast<const char*>(data + 1), size - 1);
  Board board{};
  check(parseBoardDigits(digits, board), "bad position");

  const std::string path = "startgame/" + digits + ".zjb";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  check(file != nullptr, "cannot write the book file");
  std::fwrite(content.data(), 1, content.size(), file);
  std::fclose(file);

  // The record reader on its own.
  const Offered offered = ReferenceReader(content).read();
  file = std::fopen(path.c_str(), "r");
  check(file != nullptr, "cannot read the book file");
  const OpeningBook::Candidates found = OpeningBook::readRecords(file);
  std::fclose(file);
  check(sameMoves(found.black, found.blackCount, offered.black, offered.blackCount), "black records differ");
  check(sameMoves(found.white, found.whiteCount, offered.white, offered.whiteCount), "white records differ");

  // The whole lookup for the position.
  const Move untouched{7, 7, 7, 7};
  Move out = untouched;
  const bool booked = book.findBookMove(board, out, side);
  check(std::string(book.path()) == path, "wrong book path");
  const Move* list = side == kWhite ? offered.white : offered.black;
  const int count = side == kWhite ? offered.whiteCount : offered.blackCount;
  check(booked == (count > 0), "book move found or missed wrongly");
  if (!booked) {
    check(out == untouched, "result changed without a book move");
    return 0;
  }
  bool listed = false;
  for (int i = 0; i < count; ++i) listed = listed || list[i] == out;
  check(listed, "book move not among the offered ones");
  check(moveOnBoard(out), "book move off the board");
  applyMove(board, out);
  checkBoard(board);
  return 0;
}
