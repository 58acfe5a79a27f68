// Encoded digests: a finished answer record that the client's host hands over
// in place of a password, as printable text behind a 4-byte marker. The client
// decodes it in place and passes the record on in the direct form.
#pragma once
#include <cstddef>
#include <cstdint>

#include "method/bytes.h"

namespace wistra {

inline constexpr std::uint8_t kEncodedDigestMarker[4] = {0xFF, 0xFE, 0xFE, 0xFF};
inline constexpr std::size_t kEncodedDigestTypeOffset = 4;
inline constexpr std::size_t kEncodedDigestTextOffset = 5;

// hextoByte's statuses for a character that is not a digit or a letter.
inline constexpr std::int32_t kStatusBadFirstDigit = -1;
inline constexpr std::int32_t kStatusBadSecondDigit = 57005;

// Sizes of the decoded records.
inline constexpr std::size_t kCifsAnswerSize = 32;
inline constexpr std::size_t kHedraPivoHeadSize = 12;
inline constexpr std::size_t kAfpAnswerSize = 36;
inline constexpr std::size_t kVeskPeluAnswerSize = 124;
inline constexpr std::size_t kVeskPeluField = 36;  // each byte field of the record
// The length reported for a decoded Vesk Pelu record: the server receives the
// record and the 20 buffer bytes behind it.
inline constexpr std::uint32_t kVeskPeluSentLength = 144;

// 1 when length exceeds 4 and text starts with the marker, else 0.
std::int32_t pwdIsEncodedDigest(std::int32_t length, const std::uint8_t* text);

// Two characters (0-9, A-Z, a-z as 0-35) into (first * 16 + second) mod 256,
// advancing the cursor past each character read. 0; -1 when the first is not a
// digit or letter (*out untouched); 57005 when the second is not (*out holds
// first * 16); -1636 when the text ends before the pair does.
std::int32_t hextoByte(ByteReader* cursor, std::uint8_t* out);

// One byte, where 0xF3 escapes the next byte minus 1. 0; -1636 when the text
// ends before the byte does (nothing is written then).
std::int32_t F3toByte(ByteReader* cursor, std::uint8_t* out);

// Decodes the encoded digest of *length bytes in buffer (capacity bytes) in
// place: the record overwrites the start of the buffer and *type receives the
// digest type (byte 4, sign-extended). *length stays the text's length, except
// for type 11, where it becomes 144. 0, or: -1636 for a type not handled, a text
// too short for its type or one that ends before its layout, a type 9 encrypted
// length of 0 or beyond what the buffer holds, a type 11 length field outside 0
// to 36; -1 or 57005 for a character that is not a digit or letter; -1635 when no
// memory is left; -1643 for a missing pointer, a text longer than its buffer or a
// buffer too small for the record. On failure the buffer is not to be used.
std::int32_t decodeDigest(std::uint32_t* length, std::uint32_t capacity, std::uint8_t* buffer, std::int32_t* type);

}  // namespace wistra
