// Random bytes from the broker.
#include <cstdint>

#include "ccs/atb.h"
#include "ccs/atbstate.h"

extern "C" std::int32_t ATGetRandom(std::uint32_t length, std::uint8_t* buffer) {
  // No facade lock: the broker serialises its own calls.
  const std::int32_t status = ATBX_StartCall(ccs::TARNATB_ModuleHandle);
  if (status != 0) return status;
  return ATX_GetRandom(ccs::TARNATB_ModuleHandle, length, buffer);
}
