// The server's one-shot digest through the crypto facade, and the upper-casing
// used before the LAN Manager hash and for upper-cased answers.
#pragma once
#include <cstdint>

#include "ccs/ccsrec.h"

// Digests data[0..dataLength) with algorithm in a context of its own. *outLength is
// the capacity of out on entry and the digest length on return. 0, or the
// first failing status of the crypto service.
std::int32_t generateHash(const AlgorithmSpec* algorithm, const std::uint8_t* data, std::uint32_t dataLength,
                          std::uint8_t* out, std::uint32_t* outLength);

// Upper-cases a zero-terminated byte string in place with the platform's
// toupper; bytes 0x80-0xFF stay as they are in the default locale.
void my_strupr(std::uint8_t* text);
inline void my_strupr(char* text) { my_strupr(reinterpret_cast<std::uint8_t*>(text)); }
