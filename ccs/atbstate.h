// The token-broker wrappers' one piece of state, shared by their units.
#pragma once
#include "ccs/ccsx.h"

namespace ccs {
// The handle given to ATBOpenATB: first argument of every broker call. Written
// only by ATBOpenATB while the module loads, before any login runs; never cleared.
extern CCS_Word TARNATB_ModuleHandle;
}  // namespace ccs
