#include "book/book_file.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "rules/move_generator.h"

namespace tovrane::book {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kExtension = ".zjb";

struct Token {
  std::string text;
  int line;
};

std::vector<Token> tokenize(const std::string& text) {
  std::vector<Token> tokens;
  int line = 1;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char ch = static_cast<unsigned char>(text[i]);
    if (std::isspace(ch)) {
      if (ch == '\n') ++line;
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    tokens.push_back({text.substr(start, i - start), line});
  }
  return tokens;
}

// The engines read numbers as an optional sign and decimal digits.
bool isWholeNumber(const std::string& text) {
  size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// Only a single digit 0..5, possibly with a sign or leading zeros, names a square row or column.
bool onBoardNumber(const std::string& text, int& value) {
  size_t i = text[0] == '+' || text[0] == '-' ? 1 : 0;
  const bool negative = text[0] == '-';
  while (i + 1 < text.size() && text[i] == '0') ++i;
  if (text.size() - i != 1) return false;
  value = text[i] - '0';
  return value <= 5 && !(negative && value != 0);
}

// A word from the file in quotes, cut short when long.
std::string quoted(const std::string& text) {
  std::string shown(1, '\'');
  shown.append(text, 0, 20);
  if (text.size() > 20) shown.append("...");
  shown.push_back('\'');
  return shown;
}

}  // namespace

std::string bookFileName(const Board& board) { return boardDigits(board) + std::string(kExtension); }

bool parseBookFileName(std::string_view name, Board& board) {
  if (name.size() != static_cast<size_t>(kCellCount) + kExtension.size()) return false;
  if (name.substr(kCellCount) != kExtension) return false;
  if (!parseBoardDigits(name.substr(0, kCellCount), board)) return false;
  return countPieces(board, kWhite) <= kPiecesPerSide && countPieces(board, kBlack) <= kPiecesPerSide;
}

std::string recordText(const BookRecord& record) {
  const Move& m = record.move;
  return std::string(record.side == kWhite ? "white" : "black") + " " + std::to_string(m.fromRow) + " " +
         std::to_string(m.fromCol) + " " + std::to_string(m.toRow) + " " + std::to_string(m.toCol);
}

std::string formatBookFile(const std::vector<BookRecord>& records) {
  std::string text;
  for (Side side : {kBlack, kWhite}) {
    for (const BookRecord& r : records) {
      if (r.side == side) text += recordText(r) + "\n";
    }
  }
  return text;
}

ParsedBookFile parseBookText(const std::string& text, const Board& board, const std::string& displayName) {
  ParsedBookFile parsed;
  auto problem = [&](int line, const std::string& message) {
    parsed.problems.push_back({displayName, line, message});
  };
  const std::vector<Token> tokens = tokenize(text);
  int counts[3] = {0, 0, 0};
  for (size_t i = 0; i < tokens.size(); i += 5) {
    const Token& word = tokens[i];
    if (i + 4 >= tokens.size()) {
      problem(word.line, "record " + quoted(word.text) +
                             " is not a colour word and four numbers; the engines stop reading here");
      break;
    }
    bool numbers = true;
    for (size_t k = 1; k <= 4 && numbers; ++k) {
      if (!isWholeNumber(tokens[i + k].text)) {
        problem(tokens[i + k].line, quoted(tokens[i + k].text) +
                                        " is not a whole number; the engines stop reading here");
        numbers = false;
      }
    }
    if (!numbers) break;
    int values[4] = {0, 0, 0, 0};
    bool onBoard = true;
    for (size_t k = 1; k <= 4; ++k) {
      if (!onBoardNumber(tokens[i + k].text, values[k - 1])) {
        problem(tokens[i + k].line, "number " + quoted(tokens[i + k].text) +
                                        " is outside 0..5; the engines skip this record");
        onBoard = false;
      }
    }
    Side side = 0;
    if (word.text == "black") side = kBlack;
    if (word.text == "white") side = kWhite;
    if (side == 0) {
      problem(word.line, "colour word " + quoted(word.text) + " is neither black nor white; the engines skip this record");
      continue;
    }
    if (!onBoard) continue;
    const Move move{values[0], values[2], values[1], values[3]};
    if (++counts[side] > kMaxMovesPerColour) {
      problem(word.line, "more than " + std::to_string(kMaxMovesPerColour) + " moves for " + word.text +
                             "; the engines ignore this one");
      continue;
    }
    if (!isLegalMove(board, side, move)) {
      problem(word.line, "move " + moveText(move) + " is not legal for " + word.text + " in this position");
      continue;
    }
    parsed.records.push_back({side, move});
  }
  return parsed;
}

std::string readWholeFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw std::runtime_error("cannot read " + file.string());
  return text.str();
}

void writeBookFileAtomically(const fs::path& folder, const fs::path& tempFolder, const Board& board,
                             const std::vector<BookRecord>& records) {
  const std::string name = bookFileName(board);
  const fs::path temp = tempFolder / (".partial-" + name);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << formatBookFile(records);
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + temp.string());
  }
  fs::rename(temp, folder / name);
}

}  // namespace tovrane::book
