// Reading the records a caller hands the service (algorithm identifiers,
// AlgorithmSpec with its ParamBlock, DES key templates). Each is read only as
// far as its own lengths allow, and anything malformed is refused with a status.
#pragma once
#include <cstdint>
#include <span>

#include "ccs/ccsrec.h"
#include "osa/secure.h"

namespace tarn {

enum class Role { kDes, kMd4, kLmHash, kMd5, kSha1, kCrypt, kGaltHash };

// One algorithm the service knows, with the single parameter it needs (type 0:
// it takes none).
struct Algorithm {
  Role role;
  const std::uint8_t* identifier;
  bool isDigest;
  std::uint32_t parameterType;
  std::uint32_t parameterLength;
};

// An AlgorithmSpec as read: the algorithm and the bytes of its parameter (empty
// when it takes none). The bytes stay the caller's.
struct AlgorithmRequest {
  const Algorithm* algorithm = nullptr;
  std::span<const std::uint8_t> parameter;
};

// Reads spec: its identifier by the identifier's own length byte, and its
// ParamBlock, which must carry exactly the parameter the algorithm needs.
// kStatusCcsUnknownAlgorithm for an identifier the service does not know or one
// of the other kind (a cipher where a digest is wanted, or the reverse),
// kStatusCcsBadRecord for anything malformed.
std::int32_t ReadAlgorithmSpec(const AlgorithmSpec* spec, bool wantDigest, AlgorithmRequest* out);

// Reads a DES key template: exactly the six entries the callers make, each once,
// in any order, with either flag word. The key bytes go to key.
std::int32_t ReadDesKeyTemplate(const KeyAttribute* keyTemplate, std::uint32_t count,
                                osa::SecretBuffer<ccs::kDesBlockSize>& key);

}  // namespace tarn
