// SPDX-License-Identifier: MIT
#ifndef VARNAK_SIM_FAULT_H
#define VARNAK_SIM_FAULT_H

#include "simconfig.h"

namespace varnaksim {

// Ends the calling thread's call the way a broken vendor library would: it never returns, and
// except for a hang the whole process goes with it. Holds no lock of the simulator.
[[noreturn]] void actOutFault(FaultKind kind);

} // namespace varnaksim

#endif // VARNAK_SIM_FAULT_H
