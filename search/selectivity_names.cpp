#include "search/selectivity_names.h"

#include <algorithm>

namespace tovrane {

namespace {

// The search's switchable parts by the names --selectivity takes.
struct SelectivityName {
  const char* name;
  bool ProSelectivity::*part;
};
constexpr SelectivityName kSelectivityNames[] = {
    {"reductions", &ProSelectivity::lateMoveReductions},
    {"log-reductions", &ProSelectivity::logReductions},
    {"null-move", &ProSelectivity::nullMovePruning},
    {"null-guard", &ProSelectivity::nullMoveGuard},
    {"reverse-futility", &ProSelectivity::reverseFutility},
    {"futility", &ProSelectivity::futility},
    {"late-move-pruning", &ProSelectivity::lateMovePruning},
    {"quiescence-delta", &ProSelectivity::quiescenceDelta},
    {"internal-reduction", &ProSelectivity::internalReduction},
    {"quiescence-table", &ProSelectivity::quiescenceTable},
    {"safe-captures-first", &ProSelectivity::safeCapturesFirst},
    {"bounded-history", &ProSelectivity::boundedHistory},
    {"helper-skips", &ProSelectivity::helperDepthSkips},
};

}  // namespace

bool parseSelectivity(const std::string& text, ProSelectivity& selectivity, std::string& error) {
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    std::string word = text.substr(start, comma - start);
    const bool on = word.empty() || word[0] != '-';
    if (!on) word.erase(0, 1);
    const SelectivityName* found = nullptr;
    for (const SelectivityName& s : kSelectivityNames) {
      if (word == s.name) found = &s;
    }
    if (found == nullptr) {
      error = "--selectivity: unknown part '" + word + "' (see --help)";
      return false;
    }
    selectivity.*(found->part) = on;
    start = comma + 1;
  }
  return true;
}

}  // namespace tovrane
