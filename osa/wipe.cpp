#include <string.h>

#include "osa/secure.h"

namespace osa {

#if defined(WISTRA_HAVE_EXPLICIT_BZERO)
void Wipe(void* p, std::size_t n) {
  if (p != nullptr && n != 0) explicit_bzero(p, n);
}
#else
// A store through a volatile pointer is an observable effect the compiler must keep.
void Wipe(void* p, std::size_t n) {
  volatile std::uint8_t* v = static_cast<volatile std::uint8_t*>(p);
  for (std::size_t i = 0; p != nullptr && i < n; ++i) v[i] = 0;
}
#endif

bool ConstantTimeEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  if (a.size() != b.size()) return false;
  std::uint8_t diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<std::uint8_t>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace osa
