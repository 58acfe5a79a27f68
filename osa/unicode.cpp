#include "osa/unicode.h"

extern "C" std::int32_t OSA_UnicodeLength(const std::uint16_t* s) {
  if (s == nullptr) return 0;
  std::int32_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

extern "C" std::int32_t OSA_UnicodeSize(const std::uint16_t* s) {
  if (s == nullptr) return 0;
  return 2 * (OSA_UnicodeLength(s) + 1);
}
