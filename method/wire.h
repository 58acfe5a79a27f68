// The client-server exchange: constants, records and their byte layouts.
// Every record is built and parsed through ByteReader/ByteWriter; layouts are
// the named offsets and sizes below.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "method/bytes.h"

namespace wistra {

inline constexpr std::uint32_t PROTOCOL_MARKER = 0xFFFFFFFFu;
inline constexpr std::uint32_t PROTOCOL_VERSION = 1;

// One numbering for a stored value's type byte, the hash asked for and the answer's type.
inline constexpr std::int32_t HASH_PLAIN = 1;
inline constexpr std::int32_t HASH_SHA1 = 2;
inline constexpr std::int32_t HASH_MD5 = 3;
inline constexpr std::int32_t HASH_CRYPT = 4;
inline constexpr std::int32_t HASH_CHAP = 5;
inline constexpr std::int32_t HASH_MSCHAP = 6;
inline constexpr std::int32_t HASH_CIFS = 7;
inline constexpr std::int32_t HASH_SALTED_SHA1 = 8;
inline constexpr std::int32_t HASH_HEDRA_PIVO = 9;
inline constexpr std::int32_t HASH_AFP = 10;
inline constexpr std::int32_t HASH_VESK_PELU = 11;
inline constexpr std::int32_t HASH_GALT = 12;

// wire_pwdInfo flags.
inline constexpr std::uint32_t PWDINFO_PASSWORD_FLAG = 0x1;
inline constexpr std::uint32_t PWDINFO_SYNC_PASSWORD = 0x2;
inline constexpr std::uint32_t PWDINFO_UPPERCASE_HASH = 0x4;
inline constexpr std::uint32_t PWDINFO_SET_MASK = 0x18;

// answerHeader flags.
inline constexpr std::uint32_t ANSWER_PASSWORD_CHANGE = 0x1;
inline constexpr std::uint32_t ANSWER_MULTI_HASHES = 0x2;

// Sizes fixed by the exchange.
inline constexpr std::size_t kOpeningMessageSize = 8;
inline constexpr std::size_t kVersionMessageSize = 4;
inline constexpr std::size_t kPwdInfoSize = 16;
inline constexpr std::size_t kAnswerHeaderSize = 8;
inline constexpr std::size_t kWordMessageSize = 4;  // verdict, sync result
inline constexpr std::size_t kMaxExtraData = 128;
inline constexpr std::size_t kServerMessageBufferSize = 16384;
inline constexpr std::size_t kMultiHashEntryHeaderSize = 8;  // upcase, length

struct wire_pwdInfo {
  std::int32_t status = 0;  // 1: proceed; otherwise a (negative) status that ends the exchange
  std::uint32_t flags = 0;
  std::int32_t hashId = 0;
  std::uint32_t extraLen = 0;
};

struct answerHeader {
  std::int32_t answerType = 0;
  std::uint32_t answerFlags = 0;
};

// The CHAP answer of the direct form: 76 bytes.
struct chapAnswer {
  static constexpr std::size_t kSize = 76;
  static constexpr std::size_t kIdOffset = 0;
  static constexpr std::size_t kChallengeOffset = 4;
  static constexpr std::size_t kChallengeLenOffset = 36;
  static constexpr std::size_t kResponseOffset = 40;
  static constexpr std::size_t kResponseLenOffset = 72;
  static constexpr std::size_t kMaxField = 32;

  std::uint8_t id = 0;
  std::uint8_t challenge[kMaxField] = {};
  std::uint32_t challengeLen = 0;
  std::uint8_t response[kMaxField] = {};
  std::uint32_t responseLen = 0;
};

// --- Building -------------------------------------------------------------------
// Each writes the record's exact bytes into out and returns the count written,
// or 0 when out is too small (nothing useful is left in out then).

std::size_t EncodeOpeningMessage(std::span<std::uint8_t> out);
std::size_t EncodeWord(std::uint32_t word, std::span<std::uint8_t> out);  // version, verdict, sync result
std::size_t EncodePwdInfo(const wire_pwdInfo& info, std::span<std::uint8_t> out);
std::size_t EncodeAnswerHeader(const answerHeader& header, std::span<std::uint8_t> out);
std::size_t EncodeChapAnswer(const chapAnswer& answer, std::span<std::uint8_t> out);
// A two-entry multiHashAnswer: upcase 0 with plain, then upcase 1 with upper.
std::size_t EncodeMultiHashAnswer(std::span<const std::uint8_t> plain, std::span<const std::uint8_t> upper,
                                  std::span<std::uint8_t> out);

// --- Parsing --------------------------------------------------------------------

// True when the message's first word is PROTOCOL_MARKER; missing bytes of a
// 1-3 byte message read as zero, so such a message is never the marker.
bool IsOpeningMessage(std::span<const std::uint8_t> message);
// A wire_pwdInfo from a reply of any length: the bytes that are there fill the
// record in order and the rest reads as zero.
wire_pwdInfo DecodePwdInfo(std::span<const std::uint8_t> message);
// answerType from the first word (missing bytes zero); answerFlags only when the
// message is longer than 4 bytes (again missing bytes zero), else 0.
answerHeader DecodeAnswerHeader(std::span<const std::uint8_t> message);
// A chapAnswer from a message of exactly chapAnswer::kSize bytes; false otherwise.
bool DecodeChapAnswer(std::span<const std::uint8_t> message, chapAnswer* out);

// Walks a multiHashAnswer and returns the first entry verdict that is non-zero,
// or 0. verify(upcase, bytes) returns the verdict of one entry. The walk:
// a message of 4 bytes or fewer gives 0; after the count, an entry needs at
// least 9 bytes left (else the walk ends), and an entry whose length runs past
// the end is passed over with the walk going on after its 8-byte head.
template <typename Verify>
int WalkMultiHashAnswer(std::span<const std::uint8_t> message, Verify&& verify) {
  if (message.size() <= 4) return 0;
  ByteReader r(message);
  std::uint32_t count = 0;
  r.ReadU32(&count);
  std::uint32_t taken = 0;
  while (!r.empty() && taken < count) {
    if (r.remaining() < kMultiHashEntryHeaderSize + 1) break;  // the position would never move again
    std::uint32_t upcase = 0, length = 0;
    r.ReadU32(&upcase);
    r.ReadU32(&length);
    ++taken;
    std::span<const std::uint8_t> bytes;
    if (!r.ReadBytes(length, &bytes)) continue;
    if (const int verdict = verify(upcase, bytes); verdict != 0) return verdict;
  }
  return 0;
}

}  // namespace wistra
