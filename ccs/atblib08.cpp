// Encrypting two inputs under the broker's key.
#include <cstdint>

#include "ccs/atb.h"
#include "ccs/atbstate.h"

extern "C" std::int32_t ATEncryptWithSecretKey(std::uint32_t firstLength, const std::uint8_t* first,
                                               std::uint32_t secondLength, const std::uint8_t* second,
                                               std::uint32_t capacity, std::uint32_t* outputLength,
                                               std::uint8_t* output) {
  // No facade lock: the broker serialises its own calls.
  const std::int32_t status = ATBX_StartCall(ccs::TARNATB_ModuleHandle);
  if (status != 0) return status;
  return ATX_EncryptWithSecretKey(ccs::TARNATB_ModuleHandle, firstLength, first, secondLength, second, capacity,
                                  outputLength, output);
}
