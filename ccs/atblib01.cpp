// Comparing a value with one encrypted under the broker's key.
#include <cstdint>

#include "ccs/atb.h"
#include "ccs/atbstate.h"

extern "C" std::int32_t ATCompareSecretKeyEncrypted(const std::uint8_t* encrypted, const std::uint8_t* other) {
  // No facade lock: the broker serialises its own calls.
  const std::int32_t status = ATBX_StartCall(ccs::TARNATB_ModuleHandle);
  if (status != 0) return status;
  return ATX_CompareSecretKeyEncrypted(ccs::TARNATB_ModuleHandle, encrypted, other);
}
