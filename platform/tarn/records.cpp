#include "platform/tarn/records.h"

#include <cstring>

#include "method/status.h"

namespace tarn {
namespace {

using wistra::kStatusCcsBadRecord;
using wistra::kStatusCcsUnknownAlgorithm;
using wistra::kStatusOk;

constexpr std::uint8_t kOidTag = 0x06;
constexpr std::uint8_t kLongFormBit = 0x80;
constexpr std::size_t kOidHeaderSize = 2;

constexpr Algorithm kAlgorithms[] = {
    {Role::kDes, ccs::ALG_DES, false, ccs::ATTR_IV, ccs::kDesBlockSize},
    {Role::kMd4, ccs::ALG_MD4, true, 0, 0},
    {Role::kLmHash, ccs::ALG_LMHASH, true, 0, 0},
    {Role::kMd5, ccs::ALG_MD5, true, 0, 0},
    {Role::kSha1, ccs::ALG_SHA1, true, 0, 0},
    {Role::kCrypt, ccs::ALG_CRYPT, true, ccs::ATTR_SALT, ccs::kCryptSaltSize},
    {Role::kGaltHash, ccs::ALG_GALT_HASH, true, ccs::ATTR_SALT, ccs::kGaltSaltSize},
};

std::size_t EncodedSize(const std::uint8_t* identifier) { return kOidHeaderSize + identifier[1]; }

// The known algorithm whose whole encoding is `encoded`, or null.
const Algorithm* FindEncoded(std::span<const std::uint8_t> encoded) {
  for (const Algorithm& a : kAlgorithms) {
    if (encoded.size() == EncodedSize(a.identifier) &&
        std::memcmp(encoded.data(), a.identifier, encoded.size()) == 0) {
      return &a;
    }
  }
  return nullptr;
}

// Reads an identifier whose length only its second byte gives: the tag and the
// length byte first, then exactly the content they announce.
const Algorithm* ReadIdentifier(const std::uint8_t* identifier) {
  if (identifier[0] != kOidTag) return nullptr;
  if ((identifier[1] & kLongFormBit) != 0) return nullptr;  // no identifier of ours needs the long form
  return FindEncoded(std::span<const std::uint8_t>(identifier, kOidHeaderSize + identifier[1]));
}

bool IsBytesType(std::uint32_t type) { return (type & ccs::kAttrBytesBit) != 0; }

}  // namespace

std::int32_t ReadAlgorithmSpec(const AlgorithmSpec* spec, bool wantDigest, AlgorithmRequest* out) {
  if (spec == nullptr || spec->identifier == nullptr) return kStatusCcsBadRecord;
  const Algorithm* algorithm = ReadIdentifier(spec->identifier);
  if (algorithm == nullptr || algorithm->isDigest != wantDigest) return kStatusCcsUnknownAlgorithm;

  std::span<const std::uint8_t> parameter;
  if (spec->parameters == nullptr) {
    if (spec->parameterLength != 0) return kStatusCcsBadRecord;
  } else {
    // The block's own length must cover what is read of it.
    if (spec->parameterLength != sizeof(ParamBlock)) return kStatusCcsBadRecord;
    const ParamBlock& block = *spec->parameters;
    if (block.count != 1) return kStatusCcsBadRecord;
    const ParamEntry& entry = block.entries[0];
    if (!IsBytesType(entry.type) || entry.value == nullptr || entry.length == 0) return kStatusCcsBadRecord;
    if (entry.type != algorithm->parameterType || entry.length != algorithm->parameterLength) {
      return kStatusCcsBadRecord;
    }
    parameter = std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(entry.value), entry.length);
  }
  // A role that needs a parameter never runs without it, and one that needs
  // none is not handed one it would silently ignore.
  if ((algorithm->parameterType != 0) != !parameter.empty()) return kStatusCcsBadRecord;

  out->algorithm = algorithm;
  out->parameter = parameter;
  return kStatusOk;
}

std::int32_t ReadDesKeyTemplate(const KeyAttribute* keyTemplate, std::uint32_t count,
                                osa::SecretBuffer<ccs::kDesBlockSize>& key) {
  constexpr std::uint32_t kEntries = 6;
  if (keyTemplate == nullptr || count != kEntries) return kStatusCcsBadRecord;

  enum Seen : unsigned { kValue = 1, kAlgorithm = 2, kBits = 4, kFlags = 8, kType7 = 16, kType21 = 32 };
  constexpr unsigned kAll = kValue | kAlgorithm | kBits | kFlags | kType7 | kType21;
  constexpr std::uintptr_t kIntegerMarker = 1;
  unsigned seen = 0;

  for (std::uint32_t i = 0; i < count; ++i) {
    const KeyAttribute& a = keyTemplate[i];
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(a.value1);
    unsigned which = 0;
    bool valid = false;
    if (IsBytesType(a.type)) {
      const bool present = bytes != nullptr;
      switch (a.type) {
        case ccs::ATTR_KEY_VALUE:
          which = kValue;
          valid = present && a.value2 == ccs::kDesBlockSize;
          break;
        case ccs::ATTR_ALGORITHM: {
          which = kAlgorithm;
          // The template says how long the identifier is; it must agree with the
          // identifier's own length byte.
          valid = present && a.value2 >= kOidHeaderSize && bytes[0] == kOidTag &&
                  (bytes[1] & kLongFormBit) == 0 && a.value2 == kOidHeaderSize + bytes[1];
          if (valid) {
            const Algorithm* found = FindEncoded(std::span<const std::uint8_t>(bytes, a.value2));
            valid = found != nullptr && found->role == Role::kDes;
          }
          break;
        }
        default:
          return kStatusCcsBadRecord;
      }
    } else {
      if (a.value1 != kIntegerMarker) return kStatusCcsBadRecord;
      switch (a.type) {
        case ccs::ATTR_KEY_BITS:
          which = kBits;
          valid = a.value2 == ccs::kKeyBitsDes;
          break;
        case ccs::ATTR_KEY_FLAGS:
          which = kFlags;
          valid = a.value2 == ccs::kKeyFlagsPlain || a.value2 == ccs::kKeyFlagsCifs;
          break;
        case ccs::ATTR_TYPE_7:
          which = kType7;
          valid = a.value2 == ccs::kType7Value;
          break;
        case ccs::ATTR_TYPE_21:
          which = kType21;
          valid = a.value2 == ccs::kType21Value;
          break;
        default:
          return kStatusCcsBadRecord;
      }
    }
    if (!valid || (seen & which) != 0) return kStatusCcsBadRecord;
    seen |= which;
    if (which == kValue) std::memcpy(key.data(), bytes, ccs::kDesBlockSize);
  }
  if (seen != kAll) return kStatusCcsBadRecord;
  return kStatusOk;
}

}  // namespace tarn
