// Opening and closing the token broker, which also brings the facade up and
// down.
#include <cstdint>

#include "ccs/atb.h"
#include "ccs/atbstate.h"
#include "ccs/ccs.h"
#include "method/status.h"

namespace ccs {
CCS_Word TARNATB_ModuleHandle = 0;
}  // namespace ccs

extern "C" std::int32_t ATBOpenATB(CCS_Word handle) {
  // Any non-null address serves as the facade's caller; this one is ours.
  const std::int32_t status = CCS_Init(&handle);
  if (status != 0) return status;
  ccs::TARNATB_ModuleHandle = handle;
  // The facade reference stays taken when the broker refuses: the matching
  // ATBCloseATB drops it.
  if (ATBX_OpenATB(handle) == 0) return wistra::kStatusBrokerNotOpen;
  return wistra::kStatusOk;
}

extern "C" void ATBCloseATB(...) {
  (void)ATBX_CloseATB(ccs::TARNATB_ModuleHandle);
  CCS_Shutdown();
}
