// The client's decoder of encoded digests over any text, in a buffer of any
// capacity. Checked: no write past the capacity (the buffer is exactly that
// size), on success the length the client will send stays within the buffer
// and the type is one it passes on, and every MAF_Malloc is freed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>

#include "client/digest_decode.h"
#include "platform/vesk/vesk.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_decode_digest: %s\n", what);
  std::abort();
}

// The client's own password buffer size: the capacity it decodes in.
constexpr std::uint32_t kClientCapacity = 512;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static vesk::Attempt attempt;
  vesk::Attempt::ThreadScope scope(attempt);

  // Byte 0: capacity (0 for the client's own); bit 0x80 of byte 1 puts the
  // marker in front of the rest, its low bits picking the digest type, so that
  // the run spends its time past the marker.
  const std::uint32_t capacity = data[0] == 0 ? kClientCapacity : data[0] * 3u;
  const bool withMarker = (data[1] & 0x80) != 0;
  static constexpr std::uint8_t kTypes[] = {7, 9, 10, 11, 1, 0xFF, 8, 12};
  data += 2;
  size -= 2;

  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[capacity]);
  std::memset(buffer.get(), 0xA5, capacity);
  std::uint32_t length = 0;
  if (withMarker) {
    const std::uint8_t head[5] = {0xFF, 0xFE, 0xFE, 0xFF, kTypes[data[-1] & 7]};
    const std::size_t n = std::min<std::size_t>(capacity, 5);
    std::memcpy(buffer.get(), head, n);
    const std::size_t rest = std::min<std::size_t>(capacity - n, size);
    std::memcpy(buffer.get() + n, data, rest);
    length = static_cast<std::uint32_t>(n + rest);
  } else {
    const std::size_t n = std::min<std::size_t>(capacity, size);
    std::memcpy(buffer.get(), data, n);
    length = static_cast<std::uint32_t>(n);
  }

  const std::uint64_t before = attempt.Allocs().outstanding;
  std::int32_t type = 0;
  const std::int32_t status = wistra::decodeDigest(&length, capacity, buffer.get(), &type);
  if (attempt.Allocs().outstanding != before) Fail("a MAF_Malloc was not freed");
  if (status == 0) {
    if (length > capacity) Fail("decoded length runs past the buffer the client sends from");
    if (type != 7 && type != 9 && type != 10 && type != 11) Fail("success for a digest type that is not handled");
  }
  return 0;
}
