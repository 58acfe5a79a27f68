// Small byte helpers for scripting messages and printing them.
#include <cstdio>

#include "platform/vesk/vesk.h"

namespace vesk {

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Le32(std::uint32_t word) {
  return Bytes{static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
               static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
}

Bytes Le32s(std::initializer_list<std::uint32_t> words) {
  Bytes out;
  for (std::uint32_t w : words) {
    const Bytes b = Le32(w);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

Bytes Concat(std::initializer_list<std::span<const std::uint8_t>> parts) {
  Bytes out;
  for (auto p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string out;
  char b[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, i == 0 ? "%02x" : " %02x", bytes[i]);
    out += b;
  }
  return out;
}

}  // namespace vesk
