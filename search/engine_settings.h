#pragma once
// What tells the programs apart. Each program's build picks one of
// these; nothing is configurable at run time.

namespace tovrane {

struct EngineSettings {
  const char* nameReply;   // the answer to "name?"
  int baseDepth;           // plies searched with 14 or more pieces on the board
  bool depthTiers;         // one ply more below 14 pieces, two below 6
  bool classicEvaluation;  // the classic evaluation profile instead of the standard one
  bool leafCache;          // remember leaf scores within a search
};

inline constexpr EngineSettings kStandardEngine{"name Tovrane(2.2)\n", 5, true, false, true};
inline constexpr EngineSettings kDeepEngine{"name Tovrane(2.2)\n", 6, true, false, true};
inline constexpr EngineSettings kClassicEngine{"name Tovrane(2.0)\n", 5, false, true, false};
// engine-pro searches by time (search/pro_search.h); of these only the name counts.
inline constexpr EngineSettings kProEngine{"name Tovrane(4.0)\n", 0, false, false, false};

}  // namespace tovrane
