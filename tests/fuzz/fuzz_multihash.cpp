// The server's walk of a multiHashAnswer over any message. The walk under test
// is checked against a plain offset-based walk written from the exchange's
// rules: the same entries must be handed to the verifier in the same order,
// every one inside the message, and the first non-zero verdict must end it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <span>
#include <vector>

#include "method/wire.h"

namespace {

struct Seen {
  std::uint32_t upcase;
  std::size_t offset;
  std::size_t length;
  bool operator==(const Seen&) const = default;
};

std::uint32_t Le32At(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The reference: positions as plain numbers, every check by subtraction.
std::vector<Seen> ReferenceWalk(const std::uint8_t* m, std::size_t size, std::size_t matchAt, int* verdict) {
  std::vector<Seen> seen;
  *verdict = 0;
  if (size <= 4) return seen;
  const std::uint32_t count = Le32At(m);
  std::size_t pos = 4;
  std::uint32_t taken = 0;
  while (pos < size && taken < count) {
    if (size - pos < 9) break;
    const std::uint32_t upcase = Le32At(m + pos);
    const std::uint32_t length = Le32At(m + pos + 4);
    pos += 8;
    ++taken;
    if (length > size - pos) continue;
    seen.push_back({upcase, pos, length});
    pos += length;
    if (seen.size() - 1 == matchAt) {
      *verdict = 7;
      return seen;
    }
  }
  return seen;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_multihash: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks which handed-over entry the verifier accepts (0xFF: none).
  const std::size_t matchAt = data[0] == 0xFF ? SIZE_MAX : data[0] % 8;
  // A copy of exactly the message's size, so that any read past it is caught.
  std::vector<std::uint8_t> message(data + 1, data + size);
  const std::uint8_t* base = message.data();
  const std::size_t n = message.size();

  std::vector<Seen> seen;
  const int verdict = wistra::WalkMultiHashAnswer(
      std::span<const std::uint8_t>(base, n), [&](std::uint32_t upcase, std::span<const std::uint8_t> bytes) {
        if (bytes.data() < base || bytes.size() > n || bytes.data() > base + (n - bytes.size())) {
          Fail("an entry's bytes lie outside the message");
        }
        seen.push_back({upcase, static_cast<std::size_t>(bytes.data() - base), bytes.size()});
        return seen.size() - 1 == matchAt ? 7 : 0;
      });

  int expectedVerdict = 0;
  const std::vector<Seen> expected = ReferenceWalk(base, n, matchAt, &expectedVerdict);
  if (verdict != expectedVerdict) Fail("verdict differs from the reference walk");
  if (seen != expected) Fail("entries handed to the verifier differ from the reference walk");
  return 0;
}
