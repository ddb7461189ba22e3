#pragma once
// The search's switchable parts by name, as engine-pro --selectivity and
// tovrane bench --pro --selectivity take them: "NAME" turns one on,
// "-NAME" off, several separated by commas.

#include <string>

#include "search/pro_search.h"

namespace tovrane {

// Applies text to selectivity; false with a one-line message in error for
// an unknown name (selectivity may then be changed in part).
bool parseSelectivity(const std::string& text, ProSelectivity& selectivity, std::string& error);

}  // namespace tovrane
