#include "osa/mem.h"

#include <cstring>

// A negative count moves or compares nothing: these helpers take the count as
// a signed word, and passing it on to the platform would make it enormous.

extern "C" void* OSA_memset(void* buf, std::int32_t value, std::int32_t n) {
  if (n > 0) std::memset(buf, value & 0xFF, static_cast<std::size_t>(n));
  return buf;
}

extern "C" void* OSA_memcpy(void* dst, const void* src, std::int32_t n) {
  if (n > 0) std::memcpy(dst, src, static_cast<std::size_t>(n));
  return dst;
}

extern "C" void* OSA_memchr(const void* data, std::int32_t value, std::int32_t n) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  const auto wanted = static_cast<std::uint8_t>(value & 0xFF);
  for (std::int32_t i = 0; i < n; ++i) {
    if (p[i] == wanted) return const_cast<std::uint8_t*>(p + i);
  }
  return nullptr;
}

extern "C" std::int32_t OSA_memcmp(const void* a, const void* b, std::int32_t n) {
  if (a == b || n <= 0) return 0;
  const auto* x = static_cast<const std::uint8_t*>(a);
  const auto* y = static_cast<const std::uint8_t*>(b);
  for (std::int32_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return static_cast<std::int32_t>(x[i]) - static_cast<std::int32_t>(y[i]);
  }
  return 0;
}

extern "C" void* OSA_memmove(void* dst, const void* src, std::int32_t n) {
  if (n <= 0) return dst;
  auto* d = static_cast<std::uint8_t*>(dst);
  const auto* s = static_cast<const std::uint8_t*>(src);
  if (reinterpret_cast<std::uintptr_t>(d) > reinterpret_cast<std::uintptr_t>(s)) {
    for (std::int32_t i = n; i-- > 0;) d[i] = s[i];
  } else {
    for (std::int32_t i = 0; i < n; ++i) d[i] = s[i];
  }
  return dst;
}
