// The Windows-network password hashes and the DES key expansion of the
// challenge response. A password is UTF-8 bytes with a zero byte behind them
// that passwordLength does not count.
#pragma once
#include <cstdint>

#include "method/maf.h"

inline constexpr std::int32_t kNtHashPasswordMax = 256;
inline constexpr std::int32_t kStatusNtPasswordTooLong = -3;

// The 256-entry DES key-parity table: entry i is i with its lowest bit chosen
// so that the byte has an odd number of one bits.
extern const std::uint8_t odd_parity[256];

// MD4 of the password as UTF-16LE. *outLength: capacity in, 16 out. 0; -3 for a
// password over 256 bytes; -1635 without memory; -1642 for text that is not
// convertible; or the crypto service's status.
std::int32_t computeNTHash(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                           std::uint8_t* out, std::uint32_t* outLength);
// The LAN Manager hash of the first 14 bytes of the password, upper-cased.
// *outLength: capacity in, 16 out. 0, or the crypto service's status.
std::int32_t computeLanmanHash(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                               std::uint8_t* out, std::uint32_t* outLength);

// Spreads the 56 bits of a 7-byte slice over an 8-byte DES key with odd parity.
void str_to_key(const std::uint8_t* slice, std::uint8_t* key);
// Gives each of the 8 key bytes odd parity, in place.
void des_set_odd_parity(std::uint8_t* key);
