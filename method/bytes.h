// One bounded reader and one bounded writer for every message and record.
// Integers are little-endian. A getter either takes what it asks for and
// advances, or takes nothing, leaves the reader where it was and returns false:
// a read past the end cannot happen.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace wistra {

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const std::uint8_t> bytes) : rest_(bytes) {}
  ByteReader(const void* p, std::size_t n) : rest_(static_cast<const std::uint8_t*>(p), n) {}

  std::size_t remaining() const { return rest_.size(); }
  bool empty() const { return rest_.empty(); }
  // The bytes not yet read (a view into the input).
  std::span<const std::uint8_t> rest() const { return rest_; }

  bool ReadU8(std::uint8_t* out) {
    std::span<const std::uint8_t> b;
    if (!Take(1, &b)) return false;
    *out = b[0];
    return true;
  }
  bool ReadU16(std::uint16_t* out) {
    std::span<const std::uint8_t> b;
    if (!Take(2, &b)) return false;
    *out = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    return true;
  }
  bool ReadU32(std::uint32_t* out) {
    std::span<const std::uint8_t> b;
    if (!Take(4, &b)) return false;
    *out = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
  }
  bool ReadI32(std::int32_t* out) {
    std::uint32_t u = 0;
    if (!ReadU32(&u)) return false;
    *out = static_cast<std::int32_t>(u);
    return true;
  }
  // A view of the next n bytes.
  bool ReadBytes(std::size_t n, std::span<const std::uint8_t>* out) { return Take(n, out); }
  // Copies the next out.size() bytes.
  bool CopyBytes(std::span<std::uint8_t> out) {
    std::span<const std::uint8_t> b;
    if (!Take(out.size(), &b)) return false;
    if (!b.empty()) std::memcpy(out.data(), b.data(), b.size());
    return true;
  }
  bool Skip(std::size_t n) {
    std::span<const std::uint8_t> b;
    return Take(n, &b);
  }
  // A reader over the next n bytes; this reader moves past them.
  bool Child(std::size_t n, ByteReader* out) {
    std::span<const std::uint8_t> b;
    if (!Take(n, &b)) return false;
    *out = ByteReader(b);
    return true;
  }

 private:
  bool Take(std::size_t n, std::span<const std::uint8_t>* out) {
    if (n > rest_.size()) return false;
    *out = rest_.first(n);
    rest_ = rest_.subspan(n);
    return true;
  }

  std::span<const std::uint8_t> rest_;
};

// Reads a little-endian word from the first bytes of b; bytes that are not
// there read as zero. For the fixed headers whose short forms are defined that way.
inline std::uint32_t LoadU32Padded(std::span<const std::uint8_t> b) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4 && i < b.size(); ++i) v |= static_cast<std::uint32_t>(b[i]) << (8 * i);
  return v;
}

class ByteWriter {
 public:
  explicit ByteWriter(std::span<std::uint8_t> out) : out_(out) {}

  // Bytes written so far.
  std::size_t size() const { return used_; }
  // False once any put did not fit; nothing is written past the end.
  bool ok() const { return ok_; }
  std::span<const std::uint8_t> written() const { return out_.first(used_); }

  bool PutU8(std::uint8_t v) { return Put(&v, 1); }
  bool PutU16(std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    return Put(b, 2);
  }
  bool PutU32(std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    return Put(b, 4);
  }
  bool PutI32(std::int32_t v) { return PutU32(static_cast<std::uint32_t>(v)); }
  bool PutBytes(std::span<const std::uint8_t> b) { return Put(b.data(), b.size()); }
  bool PutZeros(std::size_t n) {
    if (!Fits(n)) return false;
    std::memset(out_.data() + used_, 0, n);
    used_ += n;
    return true;
  }

 private:
  bool Fits(std::size_t n) {
    if (!ok_ || n > out_.size() - used_) {
      ok_ = false;
      return false;
    }
    return true;
  }
  bool Put(const void* p, std::size_t n) {
    if (!Fits(n)) return false;
    if (n != 0) std::memcpy(out_.data() + used_, p, n);
    used_ += n;
    return true;
  }

  std::span<std::uint8_t> out_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

}  // namespace wistra
