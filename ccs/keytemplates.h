// The three DES key templates the login methods build: the same six entries,
// in an order and with a flag word that differ by user. Kept as data in one
// place, so that a scheme check and its test agree on what the service is sent.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ccs/ccsrec.h"

namespace ccs {

inline constexpr std::size_t kKeyTemplateEntries = 6;
inline constexpr std::size_t kDesKeySize = 8;

enum class KeyEntry : std::uint8_t { Value, Bits, Algorithm, Flags, Type7, Type21 };

struct DesKeyTemplate {
  KeyEntry order[kKeyTemplateEntries];
  std::uint32_t flags;  // the ATTR_KEY_FLAGS value
};

inline constexpr DesKeyTemplate kMsChapKeyTemplate{
    {KeyEntry::Value, KeyEntry::Bits, KeyEntry::Algorithm, KeyEntry::Flags, KeyEntry::Type7, KeyEntry::Type21},
    kKeyFlagsPlain};
inline constexpr DesKeyTemplate kCifsKeyTemplate{
    {KeyEntry::Flags, KeyEntry::Type21, KeyEntry::Bits, KeyEntry::Algorithm, KeyEntry::Value, KeyEntry::Type7},
    kKeyFlagsCifs};
inline constexpr DesKeyTemplate kAfpKeyTemplate{
    {KeyEntry::Bits, KeyEntry::Value, KeyEntry::Type21, KeyEntry::Flags, KeyEntry::Type7, KeyEntry::Algorithm},
    kKeyFlagsPlain};

// One entry of a template: a byte-string attribute carries {address, length},
// an integer attribute {1, value}; reserved is left 0.
inline KeyAttribute KeyEntryAttribute(KeyEntry entry, std::uint32_t flags, const std::uint8_t* key) {
  switch (entry) {
    case KeyEntry::Value:
      return KeyAttribute{ATTR_KEY_VALUE, reinterpret_cast<std::uintptr_t>(key), kDesKeySize, 0};
    case KeyEntry::Bits: return KeyAttribute{ATTR_KEY_BITS, 1, kKeyBitsDes, 0};
    case KeyEntry::Algorithm:
      return KeyAttribute{ATTR_ALGORITHM, reinterpret_cast<std::uintptr_t>(ALG_DES), sizeof(ALG_DES), 0};
    case KeyEntry::Flags: return KeyAttribute{ATTR_KEY_FLAGS, 1, flags, 0};
    case KeyEntry::Type7: return KeyAttribute{ATTR_TYPE_7, 1, kType7Value, 0};
    case KeyEntry::Type21: return KeyAttribute{ATTR_TYPE_21, 1, kType21Value, 0};
  }
  return KeyAttribute{};
}

// Fills out with the template's six entries for the 8 key bytes at key. The
// entries point at key, which must outlive the CCS_InjectKey call.
inline void BuildDesKeyTemplate(const DesKeyTemplate& keyTemplate, const std::uint8_t* key,
                                KeyAttribute (&out)[kKeyTemplateEntries]) {
  for (std::size_t i = 0; i < kKeyTemplateEntries; ++i)
    out[i] = KeyEntryAttribute(keyTemplate.order[i], keyTemplate.flags, key);
}

}  // namespace ccs
