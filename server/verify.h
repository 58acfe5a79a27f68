// Whether a client's answer proves the password: the answer is checked by its
// own type against the stored secret, fetched afresh for every answer.
#pragma once
#include <cstdint>
#include <span>

#include "method/maf.h"

namespace wistra {

// 1 when the answer matches the stored secret, 0 otherwise (every failure on
// the way reads as no match). upcase 1 compares against the upper-cased stored
// password. extra is the data prepared for this attempt, sent or not. The
// answer is writable because the MS-CHAP and AFP checks fill in their records.
int verifyPassword(mafHandle handle, std::int32_t answerType, std::uint32_t upcase, std::span<std::uint8_t> answer,
                   std::span<const std::uint8_t> extra);

// Walks a multiHashAnswer and verifies each entry that lies whole within it:
// 1 at the first match, else 0.
int multiHashVerify(mafHandle handle, std::int32_t answerType, std::span<std::uint8_t> message,
                    std::span<const std::uint8_t> extra);

}  // namespace wistra
