#include "server/n_utf8.h"

namespace {

// Sequence length by lead byte, for lead bytes 0x80 to 0xFF; allows the
// six-byte form so that a longer sequence is recognised (and then refused).
constexpr std::int8_t ldap_utf8_lentab[128] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x80
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x90
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0xA0
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0xB0
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // 0xC0
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // 0xD0
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,  // 0xE0
    4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 0, 0,  // 0xF0
};

// By the lead byte's low five bits: the second byte must carry one of these
// bits, or the sequence is an overlong form.
constexpr std::uint8_t ldap_utf8_mintab[32] = {
    0x20, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0x30, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x38, 0x80, 0x80, 0x80, 0x3C, 0x80, 0x00, 0x00,
};

// The bits of the lead byte that carry the character, by sequence length.
constexpr std::uint8_t mask[7] = {0x00, 0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};

constexpr std::int32_t kMaxSequence = 3;

}  // namespace

std::int32_t ldap_x_utf8_charlen(const std::uint8_t* p) {
  if (p[0] < 0x80) return 1;
  return ldap_utf8_lentab[p[0] - 0x80];
}

std::int32_t ldap_x_utf8_charlen2(const std::uint8_t* p) {
  const std::int32_t length = ldap_x_utf8_charlen(p);
  if (length >= 3 && (p[1] & ldap_utf8_mintab[p[0] & 0x1F]) == 0) return 0;
  return length;
}

std::int32_t utf8s_to_unicodeStr(std::uint16_t* out, const std::uint8_t* utf8, std::uint32_t outMax) {
  static const std::uint8_t kEmpty[1] = {0};
  const std::uint8_t* p = utf8 != nullptr ? utf8 : kEmpty;
  std::uint32_t n = 0;
  while (*p != 0 && (out == nullptr || n < outMax)) {
    const std::int32_t length = *p < 0x80 ? 1 : ldap_x_utf8_charlen2(p);
    if (length == 0 || length > kMaxSequence) return -1;
    std::uint16_t ch = static_cast<std::uint16_t>(p[0] & mask[length]);
    // The zero terminator is no continuation byte, so this stops at the end of
    // the text before reading past it.
    for (std::int32_t i = 1; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) return -1;
      ch = static_cast<std::uint16_t>((ch << 6) | (p[i] & 0x3F));
    }
    if (out != nullptr) out[n] = ch;
    p += length;
    ++n;
  }
  if (out != nullptr && n < outMax) out[n] = 0;
  return static_cast<std::int32_t>(n);
}

std::int32_t unicode_to_utf8(std::uint8_t* buf, std::uint16_t ch, std::uint32_t room) {
  std::uint8_t bytes[3];
  std::uint32_t count;
  if (ch <= 0x7F) {
    bytes[0] = static_cast<std::uint8_t>(ch);
    count = 1;
  } else if (ch <= 0x7FF) {
    bytes[0] = static_cast<std::uint8_t>(0xC0 | (ch >> 6));
    bytes[1] = static_cast<std::uint8_t>(0x80 | (ch & 0x3F));
    count = 2;
  } else {
    bytes[0] = static_cast<std::uint8_t>(0xE0 | (ch >> 12));
    bytes[1] = static_cast<std::uint8_t>(0x80 | ((ch >> 6) & 0x3F));
    bytes[2] = static_cast<std::uint8_t>(0x80 | (ch & 0x3F));
    count = 3;
  }
  if (buf == nullptr) return static_cast<std::int32_t>(count);
  if (room < count) return 0;
  for (std::uint32_t i = 0; i < count; ++i) buf[i] = bytes[i];
  return static_cast<std::int32_t>(count);
}

std::int32_t unicodeStr_to_utf8s(std::uint8_t* out, const std::uint16_t* ucs, std::int32_t room) {
  static const std::uint16_t kEmpty[1] = {0};
  const std::uint16_t* u = ucs != nullptr ? ucs : kEmpty;
  if (out == nullptr) {
    std::int32_t total = 0;
    for (; *u != 0; ++u) total += unicode_to_utf8(nullptr, *u, 0);
    return total;
  }
  // A negative room would turn into a huge unsigned one below.
  std::uint32_t left = room > 0 ? static_cast<std::uint32_t>(room) : 0;
  std::uint8_t* pos = out;
  bool ranOut = false;
  for (; *u != 0; ++u) {
    const std::int32_t written = unicode_to_utf8(pos, *u, left);
    if (written == 0) {
      ranOut = true;
      break;
    }
    pos += written;
    left -= static_cast<std::uint32_t>(written);
  }
  if (ranOut) {
    // No partial character is left for a reader to take as text.
    while (left > 0) {
      *pos++ = 0;
      --left;
    }
  } else if (left > 0) {
    *pos = 0;
  }
  return static_cast<std::int32_t>(pos - out);
}
