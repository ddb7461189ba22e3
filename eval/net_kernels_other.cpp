// Processors other than x86: the network runs its plain routines, which the
// compiler vectorises as the target allows.

#include "eval/net_eval.h"

namespace tovrane {

const NetKernels* netSse2Kernels() { return nullptr; }
const NetKernels* netAvx2Kernels() { return nullptr; }

}  // namespace tovrane
