#include "client/digest_decode.h"

#include <cstring>
#include <span>

#include "client/maf_buffer.h"
#include "method/status.h"
#include "osa/secure.h"

namespace wistra {
namespace {

inline constexpr std::int32_t kDigestTypeCifs = 7;
inline constexpr std::int32_t kDigestTypeHedraPivo = 9;
inline constexpr std::int32_t kDigestTypeAfp = 10;
inline constexpr std::int32_t kDigestTypeVeskPelu = 11;

// Only length tests of the text; they are shorter than the layouts need, which
// the bounded reader then catches.
inline constexpr std::uint32_t kCifsLongestRefused = 68;
inline constexpr std::uint32_t kHedraPivoLongestRefused = 16;
inline constexpr std::uint32_t kAfpLongestRefused = 40;

inline constexpr std::size_t kCifsChallengeSize = 8;
inline constexpr std::size_t kCifsResponseSize = 24;
inline constexpr std::size_t kHedraPivoLengthOffset = 8;
// Larger encrypted digests than this were never made by a front end.
inline constexpr std::uint32_t kHedraPivoLargestDigest = 1999;

// Where the Vesk Pelu head's four words and the three byte fields sit in the record.
inline constexpr std::size_t kVeskPeluSaltOffset = 0;            // salt, expectedLength: 8 bytes
inline constexpr std::size_t kVeskPeluFirstHeadSize = 8;
inline constexpr std::size_t kVeskPeluExpectedLengthOffset = 4;
inline constexpr std::size_t kVeskPeluExpectedOffset = 8;
inline constexpr std::size_t kVeskPeluDataALengthOffset = 44;
inline constexpr std::size_t kVeskPeluDataAOffset = 48;
inline constexpr std::size_t kVeskPeluDataBLengthOffset = 84;
inline constexpr std::size_t kVeskPeluDataBOffset = 88;

int DigitValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return -1;
}

// Fills out with two-character bytes, stopping at the first error.
std::int32_t DecodePairs(ByteReader* cursor, std::span<std::uint8_t> out) {
  for (std::uint8_t& byte : out) {
    if (const std::int32_t rc = hextoByte(cursor, &byte); rc != kStatusOk) return rc;
  }
  return kStatusOk;
}

std::int32_t DecodeEscaped(ByteReader* cursor, std::span<std::uint8_t> out) {
  for (std::uint8_t& byte : out) {
    if (const std::int32_t rc = F3toByte(cursor, &byte); rc != kStatusOk) return rc;
  }
  return kStatusOk;
}

std::int32_t LoadI32(const std::uint8_t* record, std::size_t offset) {
  return static_cast<std::int32_t>(LoadU32Padded(std::span<const std::uint8_t>(record + offset, 4)));
}

std::int32_t DecodeFixed(ByteReader* text, std::span<std::uint8_t> work, std::uint8_t* buffer) {
  const std::int32_t rc = DecodePairs(text, work);
  std::memcpy(buffer, work.data(), work.size());
  return rc;
}

std::int32_t DecodeHedraPivo(ByteReader* text, std::uint32_t capacity, std::uint8_t* buffer) {
  std::uint8_t head[kHedraPivoHeadSize] = {};
  if (const std::int32_t rc = DecodePairs(text, head); rc != kStatusOk) return rc;
  const std::uint32_t n = LoadU32Padded(std::span<const std::uint8_t>(head + kHedraPivoLengthOffset, 4));
  // An empty digest cannot be checked, and a longer one than the buffer holds
  // behind the head would be written past it.
  if (n == 0 || n > kHedraPivoLargestDigest || capacity < kHedraPivoHeadSize || n > capacity - kHedraPivoHeadSize) return kStatusNotSupported;

  MafBuffer digest;
  if (!digest.Allocate(n)) return kStatusNoMemory;
  std::memset(digest.data(), 0, n);
  const std::int32_t rc = DecodePairs(text, digest.span());
  std::memcpy(buffer, head, sizeof head);
  std::memcpy(buffer + sizeof head, digest.data(), n);
  return rc;
}

std::int32_t DecodeVeskPelu(ByteReader* text, std::uint32_t textLength, std::uint32_t capacity, std::uint8_t* buffer,
                            std::uint32_t* length) {
  if (capacity < kVeskPeluSentLength) return kStatusBadArgument;
  std::uint8_t record[kVeskPeluAnswerSize] = {};
  const std::span<std::uint8_t> r(record);
  std::int32_t rc = DecodeEscaped(text, r.subspan(kVeskPeluSaltOffset, kVeskPeluFirstHeadSize));
  if (rc == kStatusOk) rc = DecodeEscaped(text, r.subspan(kVeskPeluDataALengthOffset, 4));
  if (rc == kStatusOk) rc = DecodeEscaped(text, r.subspan(kVeskPeluDataBLengthOffset, 4));
  if (rc != kStatusOk) return rc;

  const std::int32_t lengths[3] = {LoadI32(record, kVeskPeluExpectedLengthOffset),
                                   LoadI32(record, kVeskPeluDataALengthOffset),
                                   LoadI32(record, kVeskPeluDataBLengthOffset)};
  const std::size_t offsets[3] = {kVeskPeluExpectedOffset, kVeskPeluDataAOffset, kVeskPeluDataBOffset};
  for (int i = 0; i < 3; ++i) {
    // A field longer than 36 bytes would run into the next field of the record.
    if (lengths[i] < 0 || lengths[i] > static_cast<std::int32_t>(kVeskPeluField)) return kStatusNotSupported;
  }
  for (int i = 0; i < 3; ++i) {
    rc = DecodeEscaped(text, r.subspan(offsets[i], static_cast<std::size_t>(lengths[i])));
    if (rc != kStatusOk) return rc;
  }

  std::memcpy(buffer, record, sizeof record);
  // The 20 bytes sent behind the record: what the text had there, and zeros
  // where the text had already ended, never what an earlier use left.
  if (textLength < kVeskPeluSentLength) {
    const std::uint32_t from = textLength > kVeskPeluAnswerSize ? textLength : kVeskPeluAnswerSize;
    std::memset(buffer + from, 0, kVeskPeluSentLength - from);
  }
  *length = kVeskPeluSentLength;
  return kStatusOk;
}

}  // namespace

std::int32_t pwdIsEncodedDigest(std::int32_t length, const std::uint8_t* text) {
  if (text == nullptr || length <= static_cast<std::int32_t>(sizeof kEncodedDigestMarker)) return 0;
  return std::memcmp(text, kEncodedDigestMarker, sizeof kEncodedDigestMarker) == 0 ? 1 : 0;
}

std::int32_t hextoByte(ByteReader* cursor, std::uint8_t* out) {
  std::uint8_t c = 0;
  if (!cursor->ReadU8(&c)) return kStatusNotSupported;
  const int first = DigitValue(c);
  if (first < 0) return kStatusBadFirstDigit;
  *out = static_cast<std::uint8_t>(first * 16);
  if (!cursor->ReadU8(&c)) return kStatusNotSupported;
  const int second = DigitValue(c);
  if (second < 0) return kStatusBadSecondDigit;
  *out = static_cast<std::uint8_t>(*out + second);
  return kStatusOk;
}

std::int32_t F3toByte(ByteReader* cursor, std::uint8_t* out) {
  std::uint8_t c = 0;
  if (!cursor->ReadU8(&c)) return kStatusNotSupported;
  if (c == 0xF3) {
    if (!cursor->ReadU8(&c)) return kStatusNotSupported;
    c = static_cast<std::uint8_t>(c - 1);
  }
  *out = c;
  return kStatusOk;
}

std::int32_t decodeDigest(std::uint32_t* length, std::uint32_t capacity, std::uint8_t* buffer, std::int32_t* type) {
  if (length == nullptr || buffer == nullptr || type == nullptr || *length > capacity) return kStatusBadArgument;
  const std::uint32_t textLength = *length;
  if (textLength <= kEncodedDigestTypeOffset) return kStatusNotSupported;
  *type = static_cast<std::int8_t>(buffer[kEncodedDigestTypeOffset]);

  ByteReader text(buffer + kEncodedDigestTextOffset, textLength - kEncodedDigestTextOffset);
  switch (*type) {
    case kDigestTypeAfp: {
      if (textLength <= kAfpLongestRefused) return kStatusNotSupported;
      std::uint8_t work[kAfpAnswerSize] = {};
      return DecodeFixed(&text, work, buffer);
    }
    case kDigestTypeHedraPivo:
      if (textLength <= kHedraPivoLongestRefused) return kStatusNotSupported;
      return DecodeHedraPivo(&text, capacity, buffer);
    case kDigestTypeCifs: {
      if (textLength <= kCifsLongestRefused) return kStatusNotSupported;
      static_assert(kCifsChallengeSize + kCifsResponseSize == kCifsAnswerSize);
      std::uint8_t work[kCifsAnswerSize] = {};
      return DecodeFixed(&text, work, buffer);
    }
    case kDigestTypeVeskPelu:
      return DecodeVeskPelu(&text, textLength, capacity, buffer, length);
    default:
      return kStatusNotSupported;
  }
}

}  // namespace wistra
