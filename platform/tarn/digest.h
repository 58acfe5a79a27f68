// The service's digest roles behind one small interface, so that a context
// runs any of them one-shot or in parts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/tarn/records.h"

namespace tarn {

// One running digest. Whatever it holds (a hash state, buffered password
// bytes) is wiped when it is destroyed.
class Digest {
 public:
  virtual ~Digest() = default;
  // The number of bytes Final writes.
  virtual std::size_t size() const = 0;
  // 0, or a status when the input goes beyond what the role accepts (the digest
  // is then as it was before the call).
  virtual std::int32_t Update(std::span<const std::uint8_t> data) = 0;
  // Writes size() bytes to out. The digest is spent afterwards, whatever the result.
  virtual std::int32_t Final(std::uint8_t* out) = 0;
};

// A new digest of a digest role; parameter is the one ReadAlgorithmSpec found.
std::unique_ptr<Digest> StartDigest(Role role, std::span<const std::uint8_t> parameter);

// The roles that are not a plain hash, each in its own unit.
std::unique_ptr<Digest> StartLmHash();
std::unique_ptr<Digest> StartUnixCrypt(std::span<const std::uint8_t> salt);

}  // namespace tarn
