// The check of an MS-CHAP (version 1) record.
#pragma once
#include <cstddef>
#include <cstdint>

#include "method/maf.h"

// MsChapAnswer layout.
inline constexpr std::size_t kMsChapAnswerSize = 91;
inline constexpr std::size_t kMsChapChallengeOffset = 0;
inline constexpr std::size_t kMsChapChallengeSize = 8;
inline constexpr std::size_t kMsChapLmResponseOffset = 16;
inline constexpr std::size_t kMsChapNtResponseOffset = 40;
inline constexpr std::size_t kMsChapResponseSize = 24;
inline constexpr std::size_t kMsChapLmHashHeadOffset = 64;
inline constexpr std::size_t kMsChapLmHashHeadSize = 8;
inline constexpr std::size_t kMsChapNtHashOffset = 72;
inline constexpr std::size_t kMsChapNtHashSize = 16;
inline constexpr std::size_t kMsChapChallengeLengthOffset = 88;
inline constexpr std::size_t kMsChapFlagsOffset = 89;
inline constexpr std::uint8_t kMsChapFlagUseNt = 0x01;

// Statuses of this check.
inline constexpr std::int32_t kStatusMsChapBadRecord = -1;
inline constexpr std::int32_t kStatusMsChapHashFailed = -2;
inline constexpr std::int32_t kStatusMsChapNtMismatch = -3;
inline constexpr std::int32_t kStatusMsChapLmMismatch = -4;

// The 24-byte response to the 8-byte challenge from a 16-byte hash held in at
// least 21 writable bytes (bytes 16-20 are zeroed). 0; -1 when hashLength is
// not 16; -2 when an encryption does not yield 8 bytes; or the crypto
// service's status.
std::int32_t MSCHAP_ChallengeResponse(const std::uint8_t* challenge, std::uint8_t* hash, std::uint32_t hashLength,
                                      std::uint8_t* out);
// Checks the record against the password. *matched is the verdict (1 or 0); on
// a match both password hashes are written back into the record. Status: 0;
// -1 malformed record; -2 hashing failed; -3/-4 the NT/LAN Manager response
// differs; or the status of the second hash after a match.
std::int32_t doMSChapCompare(mafHandle handle, std::int32_t* matched, const std::uint8_t* password,
                             std::int32_t passwordLength, std::uint8_t* answer, std::uint32_t answerLength);
