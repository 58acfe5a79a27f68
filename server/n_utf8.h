// Conversions between UTF-8 text and the 16-bit character strings the
// framework and the directory keep passwords in. One 16-bit unit per character
// (U+0000 to U+FFFF); sequences of four or more bytes are refused, and no
// surrogate pairs are formed.
#pragma once
#include <cstdint>

// Length of the UTF-8 sequence that starts at p: 1 below 0x80, else its
// lead-byte entry (0 for a byte that cannot start a sequence).
std::int32_t ldap_x_utf8_charlen(const std::uint8_t* p);
// As ldap_x_utf8_charlen, but 0 for a sequence of three or more bytes whose
// second byte marks an overlong form. p[1] must be readable.
std::int32_t ldap_x_utf8_charlen2(const std::uint8_t* p);

// Converts zero-terminated UTF-8 (null counts as empty) into out, at most
// outMax characters, with a terminator when there is room for it. With out
// null, only counts. Returns the characters converted, or -1 for text that is
// not UTF-8 of one to three bytes per character (what was stored stays, with
// no terminator).
std::int32_t utf8s_to_unicodeStr(std::uint16_t* out, const std::uint8_t* utf8, std::uint32_t outMax);

// Writes one character as UTF-8 into buf when room holds all of it: returns the
// bytes written (1 to 3), or 0 when it does not fit. With buf null, returns the
// bytes it needs.
std::int32_t unicode_to_utf8(std::uint8_t* buf, std::uint16_t ch, std::uint32_t room);

// Converts a zero-terminated 16-bit string (null counts as empty) into out.
// Returns the UTF-8 length, adding an uncounted terminator when room is left;
// when a character does not fit, the rest of the room is zero-filled and room
// itself is returned (never a partial character). With out null, returns the
// UTF-8 length. A negative room is no room.
std::int32_t unicodeStr_to_utf8s(std::uint8_t* out, const std::uint16_t* ucs, std::int32_t room);
