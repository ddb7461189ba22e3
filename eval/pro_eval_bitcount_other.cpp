// Processors other than x86: the evaluation's bit counts come from the
// compiler's own code for the target.

#include "eval/pro_eval.h"

namespace tovrane {

ProEvalFunctions proEvalWithBitCountInstruction() { return {nullptr, nullptr}; }

}  // namespace tovrane
