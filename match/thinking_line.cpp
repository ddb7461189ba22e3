#include "match/thinking_line.h"

#include <charconv>

namespace tovrane {

namespace {

// The line's words, split at spaces and tabs.
std::vector<std::string_view> wordsOf(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    const size_t begin = at;
    while (at < text.size() && text[at] != ' ' && text[at] != '\t') ++at;
    if (at > begin) words.push_back(text.substr(begin, at - begin));
  }
  return words;
}

// A decimal number, optionally negative, within [low, high].
template <typename Number>
bool readNumber(std::string_view word, Number low, Number high, Number& value) {
  if (word.empty() || word.front() == '+') return false;
  Number read{};
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), read);
  if (ec != std::errc() || end != word.data() + word.size() || read < low || read > high) return false;
  value = read;
  return true;
}

bool isMoveWord(std::string_view word) {
  if (word.size() != 4) return false;
  for (char ch : word) {
    if (ch < '0' || ch > '5') return false;
  }
  return true;
}

}  // namespace

bool parseThinkingFields(std::string_view text, Thinking& thinking) {
  const std::vector<std::string_view> words = wordsOf(text);
  Thinking read;
  bool haveDepth = false;
  bool haveScore = false;
  size_t i = 0;
  while (i < words.size()) {
    const std::string_view key = words[i];
    if (key == "pv") {
      // The rest of the line: move words only, the first kMaxPvMoves kept.
      for (++i; i < words.size(); ++i) {
        if (!isMoveWord(words[i])) return false;
        if (read.pv.size() < kMaxPvMoves) read.pv.push_back(readMoveText(std::string(words[i]).c_str()));
      }
      break;
    }
    if (i + 1 >= words.size()) return false;
    const std::string_view value = words[i + 1];
    if (key == "depth" && !haveDepth) {
      if (!readNumber(value, 0, kMaxThinkingDepth, read.depth)) return false;
      haveDepth = true;
      i += 2;
    } else if (key == "score" && !haveScore) {
      if (value == "win" || value == "loss") {
        if (i + 2 >= words.size() || !readNumber(words[i + 2], 0, kMaxProvedPlies, read.score.value)) return false;
        read.score.kind = value == "win" ? ThinkingScore::Kind::kWin : ThinkingScore::Kind::kLoss;
        i += 3;
      } else {
        if (!readNumber(value, -kMaxCentis, kMaxCentis, read.score.value)) return false;
        i += 2;
      }
      haveScore = true;
    } else if (key == "nodes" && !read.nodes) {
      uint64_t nodes = 0;
      if (!readNumber(value, uint64_t{0}, UINT64_MAX, nodes)) return false;
      read.nodes = nodes;
      i += 2;
    } else {
      return false;
    }
  }
  if (!haveDepth || !haveScore) return false;
  thinking = std::move(read);
  return true;
}

bool parseInfoLine(std::string_view line, Thinking& thinking) {
  const std::vector<std::string_view> words = wordsOf(line);
  if (words.empty() || words[0] != "info") return false;
  const size_t start = line.find("info") + 4;
  return parseThinkingFields(line.substr(start), thinking);
}

std::string scoreText(const ThinkingScore& score) {
  switch (score.kind) {
    case ThinkingScore::Kind::kWin:
      return "win " + std::to_string(score.value);
    case ThinkingScore::Kind::kLoss:
      return "loss " + std::to_string(score.value);
    case ThinkingScore::Kind::kCentis:
      break;
  }
  return std::to_string(score.value);
}

std::string thinkingFieldsText(const Thinking& thinking) {
  std::string text = "depth ";
  text.append(std::to_string(thinking.depth)).append(" score ").append(scoreText(thinking.score));
  if (thinking.nodes) text.append(" nodes ").append(std::to_string(*thinking.nodes));
  if (!thinking.pv.empty()) {
    text += " pv";
    for (const Move& m : thinking.pv) text.append(" ").append(moveText(m));
  }
  return text;
}

}  // namespace tovrane
