// The check of an AFP random-number exchange, one-way and two-way.
#pragma once
#include <cstddef>
#include <cstdint>

#include "method/maf.h"

// AfpAnswer layout.
inline constexpr std::size_t kAfpAnswerSize = 36;
inline constexpr std::size_t kAfpUamOffset = 0;
inline constexpr std::size_t kAfpServerRandomOffset = 4;
inline constexpr std::size_t kAfpClientProofOffset = 12;
inline constexpr std::size_t kAfpClientRandomOffset = 20;
inline constexpr std::size_t kAfpServerProofOffset = 28;
inline constexpr std::size_t kAfpBlockSize = 8;
inline constexpr std::uint16_t kAfpUamRandNum = 2;
inline constexpr std::uint16_t kAfpUamTwoWayRandNum = 3;

// 0 when the client proof is the DES of the server random under the password
// key; then the server proof is written into the answer. -1642 when it does
// not match, is malformed or names another method; another negative status on
// a crypto failure.
std::int32_t doAFPCompare(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                          std::uint8_t* answer, std::uint32_t answerLength);
