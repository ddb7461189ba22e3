#include "match/match_config.h"

#include <charconv>
#include <cmath>

namespace tovrane {

namespace {

constexpr double kMaxBaseSeconds = 7 * 24 * 3600;
constexpr double kMaxIncrementSeconds = 3600;
constexpr double kMinSeconds = 0.001;

// Fixed notation, which readSeconds reads back: the plain shortest form
// may be scientific ("4e-04").
std::string shortest(double value) {
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return ec == std::errc() ? std::string(text, end) : "?";
}

bool readSeconds(const std::string& text, double& value) {
  // Plain decimals only: no signs, exponents or words.
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

}  // namespace

std::string clockText(const GameClock& clock) {
  std::string text = shortest(clock.base);
  if (clock.increment > 0) text.append("+").append(shortest(clock.increment));
  return text;
}

bool parseClockText(const std::string& text, GameClock& clock) {
  const size_t plus = text.find('+');
  GameClock read;
  if (!readSeconds(text.substr(0, plus), read.base)) return false;
  if (plus != std::string::npos && !readSeconds(text.substr(plus + 1), read.increment)) return false;
  if (!(read.base >= kMinSeconds && read.base <= kMaxBaseSeconds && read.increment <= kMaxIncrementSeconds &&
        (read.increment == 0 || read.increment >= kMinSeconds))) {
    return false;
  }
  clock = read;
  return true;
}

}  // namespace tovrane
