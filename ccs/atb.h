// The server module's token-broker wrappers. They take no facade lock; the
// broker serialises itself.
#pragma once
#include <cstdint>

#include "ccs/ccsx.h"

extern "C" {

// Brings the facade up (CCS_Init) and opens the broker for handle. 0, -8 when the
// broker did not open (the facade stays up), or the status of CCS_Init.
std::int32_t ATBOpenATB(CCS_Word handle);
// Closes the broker and drops one facade reference; an argument is ignored.
void ATBCloseATB(...);
// 0 when the two encrypted values match, non-zero otherwise.
std::int32_t ATCompareSecretKeyEncrypted(const std::uint8_t* encrypted, const std::uint8_t* other);
// Encrypts first ‖ second under the broker's key; -649 with the needed length in
// *outputLength when capacity is too small.
std::int32_t ATEncryptWithSecretKey(std::uint32_t firstLength, const std::uint8_t* first, std::uint32_t secondLength,
                                    const std::uint8_t* second, std::uint32_t capacity, std::uint32_t* outputLength,
                                    std::uint8_t* output);
std::int32_t ATGetRandom(std::uint32_t length, std::uint8_t* buffer);

}  // extern "C"
