// The checks of the encrypted Galt digest, the chained Vesk Pelu digest and the
// current-form Galt challenge.
#pragma once
#include <cstddef>
#include <cstdint>

#include "method/maf.h"

// HedraPivoAnswer layout: key reference, salt, encrypted length, then the
// broker's encrypted digest.
inline constexpr std::size_t kHedraKeyReferenceOffset = 0;
inline constexpr std::size_t kHedraSaltOffset = 4;
inline constexpr std::size_t kHedraEncryptedOffset = 12;

// VeskPeluAnswer layout.
inline constexpr std::size_t kVeskPeluAnswerSize = 124;
inline constexpr std::size_t kVeskPeluFieldSize = 36;
inline constexpr std::size_t kVeskPeluSaltOffset = 0;
inline constexpr std::size_t kVeskPeluExpectedLengthOffset = 4;
inline constexpr std::size_t kVeskPeluExpectedOffset = 8;
inline constexpr std::size_t kVeskPeluDataALengthOffset = 44;
inline constexpr std::size_t kVeskPeluDataAOffset = 48;
inline constexpr std::size_t kVeskPeluDataBLengthOffset = 84;
inline constexpr std::size_t kVeskPeluDataBOffset = 88;

// Room for the stored Galt hash and the random challenge behind its salt.
inline constexpr std::size_t kGaltInputMax = 112;
inline constexpr std::size_t kGaltExtraSaltSize = 4;

// 0 when the answer's encrypted digest is the broker's encryption of the Galt
// hash of the password; -1642 when not, or when the encrypted digest is not
// whole within answerLength; another negative status on failure.
std::int32_t doHEDRA_PIVOCompare(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                                 const std::uint8_t* answer, std::uint32_t answerLength);
// Encrypts the 16-byte digest with the key reference under the broker's key and
// compares it with clientEncrypted, which the caller has checked to be whole.
// *compareResult is 0 when they are equal. 0; -150 without memory; or the
// broker's status.
std::int32_t atbTestHashValidity(const std::uint8_t* digest, std::uint32_t keyReference,
                                 const std::uint8_t* clientEncrypted, std::int32_t* compareResult);
// 0 when expectedDigest = SHA1(SHA1(password) | dataB | dataA) or
// SHA1(Galt(password, salt) | dataB | dataA); -1642 when neither, or when the
// record is shorter than 124 bytes or a length field lies outside 0 to 36;
// another negative status on failure.
std::int32_t doVESKPELUCompare(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                               const std::uint8_t* answer, std::uint32_t answerLength);
// 0 when the answer is SHA1(storedHash | extra[4..]); -1642 when not; -1643 when
// the stored hash and the challenge exceed 112 bytes or extra holds no salt;
// another negative status on failure.
std::int32_t doRimoGALTCompare(mafHandle handle, const std::uint8_t* storedHash, std::uint32_t storedLength,
                               const std::uint8_t* answer, std::uint32_t answerLength, const std::uint8_t* extra,
                               std::uint32_t extraLength);
