// Fuzz target: the words of the match options for clocks, rules and
// adjudication (--tc, --rules, --adjudicate-win, --adjudicate-draw and the
// record header's forms of them). The input is one word. The target checks
// that
//   - an accepted clock lies within its bounds and its text form reads back
//     to the same clock; a refused one leaves the clock alone;
//   - a rules name gives rules only for a listed preset;
//   - accepted adjudication words give settings within their bounds whose
//     header text reads back to the same settings; refused ones leave them
//     alone.

#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "match/adjudication.h"
#include "match/match_config.h"
#include "rules/game_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrane;
  using namespace tovrane::fuzz;
  const std::string word(reinterpret_cast<const char*>(data), size);

  GameClock clock{1, 2};
  if (parseClockText(word, clock)) {
    check(clock.base >= 0.001 && clock.base <= 604800 && clock.increment >= 0 && clock.increment <= 3600,
          "clock out of bounds");
    GameClock back;
    check(parseClockText(clockText(clock), back) && back == clock, "clock text reads back otherwise");
  } else {
    check(clock == GameClock{1, 2}, "a refused clock changed it");
  }

  bool listed = false;
  for (const RulesPreset& preset : rulesPresets()) listed = listed || word == preset.name;
  check(rulesByName(word).has_value() == listed, "rules for a name that is no preset, or none for one");

  for (const bool win : {true, false}) {
    Adjudication rules;
    const bool ok = win ? parseAdjudicateWin(word, rules) : parseAdjudicateDraw(word, rules);
    if (!ok) {
      check(rules == Adjudication{}, "refused adjudication words changed the settings");
      continue;
    }
    check(rules.on() && rules.win == win && rules.draw == !win, "the wrong part was set");
    check(rules.winMoves >= 0 && rules.drawMoves >= 0 && rules.winScore >= 0 && rules.drawScore >= 0,
          "negative adjudication numbers");
    Adjudication back;
    check(parseAdjudicationText(adjudicationText(rules), back) && back == rules, "header text reads back otherwise");
  }
  Adjudication header;
  if (parseAdjudicationText(word, header)) {
    Adjudication back;
    check(parseAdjudicationText(adjudicationText(header), back) && back == header, "header words do not round trip");
  }
  return 0;
}
