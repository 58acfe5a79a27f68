// The 24-byte DES challenge response and the check of a CIFS answer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "method/maf.h"

// CifsAnswer: the 8-byte challenge, then the 24-byte response.
inline constexpr std::size_t kCifsChallengeOffset = 0;
inline constexpr std::size_t kCifsChallengeSize = 8;
inline constexpr std::size_t kCifsResponseOffset = 8;
inline constexpr std::size_t kCifsResponseSize = 24;
inline constexpr std::size_t kCifsAnswerSize = 32;
inline constexpr std::size_t kPaddedHashSize = 21;

// out = DES of the 8-byte challenge under the key made from the 7-byte slice.
// 0; -1400 when the encryption does not yield 8 bytes; or the crypto
// service's status.
std::int32_t cifsStyleX(mafHandle handle, const std::uint8_t* challenge, std::uint8_t* out, const std::uint8_t* slice);
// The three blocks of the response under the slices at 0, 7 and 14 of the
// 21-byte padded hash, into the 24 bytes at out; stops at the first failure.
std::int32_t xP24(mafHandle handle, const std::uint8_t* paddedHash, const std::uint8_t* challenge, std::uint8_t* out);
// 0 when the answer's response was made from the NT or the LAN Manager hash of
// the password, -1642 when it was not (or the answer is shorter than 32 bytes),
// another negative status on failure.
std::int32_t doCIFSCompare(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                           const std::uint8_t* answer, std::uint32_t answerLength);
