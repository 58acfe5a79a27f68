// The vocabulary shared with the crypto service: algorithm identifiers, the
// records that name an algorithm and its parameters, and key templates.
// Records are built on the caller's stack and passed by address; the service
// reads them only during the call (or, for an init call, until its operation
// completes).
#pragma once
#include <cstddef>
#include <cstdint>

extern "C" {

// Each field is one word: 32 bits on the deliverable build; addresses are whole
// pointers on the native build.
struct ParamEntry {
  std::uint32_t type;    // ATTR_IV or ATTR_SALT
  std::uint32_t length;  // bytes at value
  const void* value;
};

struct ParamBlock {
  std::uint32_t count;  // always 1 here
  ParamEntry entries[1];
};

struct AlgorithmSpec {
  const std::uint8_t* identifier;  // DER object identifier; its length is in its own second byte
  const ParamBlock* parameters;    // or null
  std::uint32_t parameterLength;   // sizeof(ParamBlock) with parameters, 0 without
};

// A byte-string attribute (bit 31 of type set) carries {address, length}; an
// integer attribute carries {1, value}. reserved is never set by the callers.
struct KeyAttribute {
  std::uint32_t type;
  std::uintptr_t value1;
  std::uint32_t value2;
  std::uint32_t reserved;
};

}  // extern "C"

namespace ccs {

inline constexpr std::uint32_t kAttrBytesBit = 0x80000000u;
inline constexpr std::uint32_t ATTR_IV = 0x80000004u;
inline constexpr std::uint32_t ATTR_SALT = 0x80000007u;
inline constexpr std::uint32_t ATTR_ALGORITHM = 0x80000010u;
inline constexpr std::uint32_t ATTR_KEY_VALUE = 0x80000017u;
inline constexpr std::uint32_t ATTR_KEY_BITS = 20;
inline constexpr std::uint32_t ATTR_KEY_FLAGS = 22;
inline constexpr std::uint32_t ATTR_TYPE_7 = 7;
inline constexpr std::uint32_t ATTR_TYPE_21 = 21;

inline constexpr std::uint32_t kKeyBitsDes = 56;
inline constexpr std::uint32_t kType7Value = 3;
inline constexpr std::uint32_t kType21Value = 1;
inline constexpr std::uint32_t kKeyFlagsPlain = 0x10000u;
inline constexpr std::uint32_t kKeyFlagsCifs = 0x1110000u;

// Algorithm identifiers: DER object identifiers (tag 0x06, length, content)
// under a private arc of the service's choosing. Only their bytes matter; the
// service reads each by its own length byte. Each is 13 bytes long, the length
// the key templates of the DES callers carry for ALG_DES.
inline constexpr std::uint8_t ALG_DES[] = {
    0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xF1, 0x5A, 0x01, 0x01, 0x01};
inline constexpr std::uint8_t ALG_MD4[] = {
    0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xF1, 0x5A, 0x01, 0x01, 0x02};
inline constexpr std::uint8_t ALG_LMHASH[] = {
    0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xF1, 0x5A, 0x01, 0x01, 0x03};
inline constexpr std::uint8_t ALG_MD5[] = {
    0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xF1, 0x5A, 0x01, 0x01, 0x04};
inline constexpr std::uint8_t ALG_SHA1[] = {
    0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xF1, 0x5A, 0x01, 0x01, 0x05};
inline constexpr std::uint8_t ALG_CRYPT[] = {
    0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xF1, 0x5A, 0x01, 0x01, 0x06};
inline constexpr std::uint8_t ALG_GALT_HASH[] = {
    0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xF1, 0x5A, 0x01, 0x01, 0x07};

// Output sizes the callers rely on.
inline constexpr std::size_t kDesBlockSize = 8;
inline constexpr std::size_t kMd4Size = 16;
inline constexpr std::size_t kLmHashSize = 16;
inline constexpr std::size_t kMd5Size = 16;
inline constexpr std::size_t kSha1Size = 20;
inline constexpr std::size_t kGaltHashSize = 16;
inline constexpr std::size_t kCryptSaltSize = 2;
inline constexpr std::size_t kGaltSaltSize = 4;
inline constexpr std::size_t kLmMaxInput = 14;
inline constexpr std::size_t kAlgorithmIdSize = sizeof(ALG_DES);
static_assert(kAlgorithmIdSize == 13);

}  // namespace ccs
