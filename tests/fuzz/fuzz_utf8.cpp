// The server's UTF-8 conversions over any bytes. Checked: no write past the
// capacity given (every output buffer is exactly that size), counting agrees
// with converting, truncation never leaves a partial character, and the two
// directions round-trip where the conversion is defined.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "server/n_utf8.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_utf8: %s\n", what);
  std::abort();
}

// UTF-8 to 16-bit units, into a buffer of exactly outMax units.
void Utf8ToUnits(const std::uint8_t* data, std::size_t size, std::uint32_t outMax) {
  std::vector<std::uint8_t> text(data, data + size);
  text.push_back(0);
  const std::int32_t counted = utf8s_to_unicodeStr(nullptr, text.data(), 0);
  std::vector<std::uint16_t> out(outMax);
  const std::int32_t got = utf8s_to_unicodeStr(outMax != 0 ? out.data() : nullptr, text.data(), outMax);
  if (outMax == 0) return;
  if (got < -1 || got > static_cast<std::int32_t>(outMax)) Fail("utf8s_to_unicodeStr: result outside [-1, outMax]");
  if (counted >= 0 && static_cast<std::uint32_t>(counted) < outMax && got != counted) {
    Fail("utf8s_to_unicodeStr: count differs from conversion with room to spare");
  }
  if (counted == -1 && got >= 0 && static_cast<std::uint32_t>(got) < outMax) {
    Fail("utf8s_to_unicodeStr: counting refused a text that converted whole");
  }
  if (got < 0 || static_cast<std::uint32_t>(got) >= outMax) return;
  if (out[got] != 0) Fail("utf8s_to_unicodeStr: no terminator although there was room");

  // Back to UTF-8: the same bytes, unless the text holds a two-byte overlong
  // form (C0/C1 leads) or a character 0, neither of which encodes back as read.
  bool canonical = true;
  for (std::int32_t i = 0; i < got; ++i) {
    if (out[i] == 0) canonical = false;
  }
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] == 0xC0 || text[i] == 0xC1) canonical = false;
  }
  if (!canonical) return;
  const std::int32_t need = unicodeStr_to_utf8s(nullptr, out.data(), 0);
  std::vector<std::uint8_t> back(static_cast<std::size_t>(need) + 1);
  const std::int32_t wrote = unicodeStr_to_utf8s(back.data(), out.data(), need + 1);
  if (wrote != need) Fail("unicodeStr_to_utf8s: length differs from the measured one");
  if (back[need] != 0) Fail("unicodeStr_to_utf8s: no terminator although there was room");
  // The converted prefix of the text is what comes back.
  if (std::memcmp(back.data(), text.data(), static_cast<std::size_t>(need)) != 0) {
    Fail("UTF-8 -> units -> UTF-8 changed the text");
  }
  if (text[need] != 0) Fail("UTF-8 -> units -> UTF-8 lost part of the text");
}

// 16-bit units to UTF-8 into exactly `room` bytes, and back.
void UnitsToUtf8(const std::uint8_t* data, std::size_t size, std::int32_t room) {
  std::vector<std::uint16_t> units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto u = static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8));
    if (u == 0) break;
    units.push_back(u);
  }
  units.push_back(0);

  std::int32_t need = 0;
  for (std::size_t i = 0; units[i] != 0; ++i) need += unicode_to_utf8(nullptr, units[i], 0);
  if (unicodeStr_to_utf8s(nullptr, units.data(), room) != need) Fail("unicodeStr_to_utf8s: measure disagrees");

  // Exactly `room` bytes (none for a negative room) behind a real address, so
  // that a write into no room is caught too.
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[room > 0 ? room : 0]);
  std::uint8_t* out = buffer.get();
  const std::int32_t wrote = unicodeStr_to_utf8s(out, units.data(), room);
  if (room <= 0) {
    if (wrote != 0) Fail("unicodeStr_to_utf8s: wrote into no room");
    return;
  }
  if (wrote > room || wrote < 0) Fail("unicodeStr_to_utf8s: result outside [0, room]");
  if (need <= room) {
    if (wrote != need) Fail("unicodeStr_to_utf8s: whole conversion returned another length");
    if (need < room && out[need] != 0) Fail("unicodeStr_to_utf8s: no terminator although there was room");
  } else if (wrote != room) {
    Fail("unicodeStr_to_utf8s: truncated conversion did not return the room");
  }

  // The text written must decode to a prefix of the units made of whole
  // characters only, followed by nothing but zero bytes.
  std::vector<std::uint8_t> text(out, out + wrote);
  text.push_back(0);
  std::vector<std::uint16_t> back(units.size());
  const std::int32_t chars = utf8s_to_unicodeStr(back.data(), text.data(), static_cast<std::uint32_t>(back.size()));
  if (chars < 0) Fail("utf8s_to_unicodeStr refused what unicodeStr_to_utf8s wrote");
  for (std::int32_t i = 0; i < chars; ++i) {
    if (back[i] != units[i]) Fail("units -> UTF-8 -> units changed a character");
  }
  std::int32_t used = 0;
  for (std::int32_t i = 0; i < chars; ++i) used += unicode_to_utf8(nullptr, units[i], 0);
  for (std::int32_t i = used; i < wrote; ++i) {
    if (out[i] != 0) Fail("unicodeStr_to_utf8s: a partial character before the zero fill");
  }
  if (need <= room && chars != static_cast<std::int32_t>(units.size() - 1)) Fail("units -> UTF-8 -> units lost characters");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t mode = data[0];
  const std::uint32_t capacity = data[1];
  data += 2;
  size -= 2;
  if ((mode & 1) == 0) {
    Utf8ToUnits(data, size, capacity);
  } else {
    UnitsToUtf8(data, size, (mode & 2) != 0 ? -static_cast<std::int32_t>(capacity) : static_cast<std::int32_t>(capacity));
  }
  // The two length helpers read the byte after a lead byte at most.
  if (size >= 2) {
    const std::vector<std::uint8_t> two(data, data + 2);
    const std::int32_t a = ldap_x_utf8_charlen(two.data());
    const std::int32_t b = ldap_x_utf8_charlen2(two.data());
    if (a < 0 || a > 6 || (b != a && b != 0)) Fail("charlen helpers disagree");
  }
  return 0;
}
