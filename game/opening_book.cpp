#include "game/opening_book.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "game/platform.h"

namespace tovrane {

namespace {

constexpr int kColourWordLength = 5;  // "black" and "white"

int skipSpace(std::FILE* file) {
  int ch = std::fgetc(file);
  while (ch != EOF && std::isspace(ch)) ch = std::fgetc(file);
  return ch;
}

// Reads one whitespace-delimited word of any length; keeps its first few
// characters and its length. False at end of file.
bool readWord(std::FILE* file, char (&head)[kColourWordLength + 1], size_t& length) {
  int ch = skipSpace(file);
  if (ch == EOF) return false;
  length = 0;
  while (ch != EOF && !std::isspace(ch)) {
    if (length < static_cast<size_t>(kColourWordLength)) head[length] = static_cast<char>(ch);
    ++length;
    ch = std::fgetc(file);
  }
  head[length < static_cast<size_t>(kColourWordLength) ? length : kColourWordLength] = '\0';
  return true;
}

// Reads a decimal integer the way the "%d" conversion does: leading white
// space, an optional sign, then digits up to the first other character, which
// is left for the next read. Values beyond int saturate (they are off the
// board either way). False when no digit follows.
bool readInt(std::FILE* file, int& value) {
  int ch = skipSpace(file);
  bool negative = false;
  if (ch == '+' || ch == '-') {
    negative = ch == '-';
    ch = std::fgetc(file);
  }
  if (ch == EOF || !std::isdigit(ch)) {
    if (ch != EOF) std::ungetc(ch, file);
    return false;
  }
  long long magnitude = 0;
  while (ch != EOF && std::isdigit(ch)) {
    if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (ch - '0');
    ch = std::fgetc(file);
  }
  if (ch != EOF) std::ungetc(ch, file);
  if (magnitude > INT_MAX) magnitude = INT_MAX;
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

bool wordIs(const char* head, size_t length, const char* word) {
  return length == std::strlen(word) && std::strcmp(head, word) == 0;
}

}  // namespace

OpeningBook::OpeningBook() { std::srand(static_cast<unsigned>(std::time(nullptr))); }

void OpeningBook::buildPath(const Board& board) {
  std::memset(path_, 0, sizeof(path_));
  std::memcpy(path_, platform::kBookFolder, 10);
  for (int i = 0; i < kCellCount; ++i) path_[10 + i] = static_cast<char>('0' + board.cells[i]);
  std::memcpy(path_ + 10 + kCellCount, ".zjb", 4);
}

OpeningBook::Candidates OpeningBook::readRecords(std::FILE* file) {
  Candidates found;
  for (;;) {
    char word[kColourWordLength + 1];
    size_t length = 0;
    int numbers[4];
    if (!readWord(file, word, length)) break;
    bool complete = true;
    for (int& n : numbers) complete = complete && readInt(file, n);
    if (!complete) break;
    const Move move{numbers[0], numbers[2], numbers[1], numbers[3]};
    if (!moveOnBoard(move)) continue;
    if (wordIs(word, length, "black")) {
      if (found.blackCount < kMaxCandidates) found.black[found.blackCount++] = move;
    } else if (wordIs(word, length, "white")) {
      if (found.whiteCount < kMaxCandidates) found.white[found.whiteCount++] = move;
    }
  }
  return found;
}

bool OpeningBook::findBookMove(const Board& board, Move& out, Side side) {
  buildPath(board);
  // Only a regular file is a book: opening a named pipe would wait for a
  // writer, and a device such as /dev/zero would never end.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path_, error)) return false;
  std::FILE* file = std::fopen(path_, "r");
  if (file == nullptr) return false;
  const Candidates found = readRecords(file);
  std::fclose(file);
  const Move* list = side == kWhite ? found.white : found.black;
  const int count = side == kWhite ? found.whiteCount : found.blackCount;
  if (count == 0) return false;
  const int r = std::rand() % 32768;  // the generator's portable range, 0..32767
  out = list[r % count];
  return true;
}

}  // namespace tovrane
