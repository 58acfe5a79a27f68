#include "server/password_store.h"

#include <cstring>

#include "ccs/atb.h"
#include "method/bytes.h"
#include "method/status.h"
#include "osa/secure.h"
#include "server/late_bind.h"
#include "server/maf_buffer.h"
#include "server/n_utf8.h"

namespace wistra {
namespace {

// A zero-terminated UTF-16LE attribute name built from an ASCII literal.
template <std::size_t N>
struct AttributeName {
  std::uint16_t units[N] = {};
  constexpr explicit AttributeName(const char (&text)[N]) {
    for (std::size_t i = 0; i < N; ++i) units[i] = static_cast<std::uint8_t>(text[i]);
  }
};
constexpr AttributeName kPasswordHashName("Password Hash");
constexpr AttributeName kPasswordFlagsName("Password Flags");

// Bit 0 of the password value's flag word, passed on to the client.
constexpr std::uint32_t kValueFlagPassword = 0x1;
constexpr std::size_t kCryptSaltLength = 2;
constexpr std::size_t kSha1Length = 20;
// A salted SHA-1 value: type byte, 20-byte digest, salt, one trailing byte.
constexpr std::size_t kSaltedSha1SaltOffset = 1 + kSha1Length;
constexpr std::size_t kSaltedSha1Overhead = kSaltedSha1SaltOffset + 1;
constexpr std::size_t kGaltSaltLength = 4;
constexpr std::size_t kGaltRandomLength = 16;
constexpr std::size_t kGaltExtraLength = kGaltSaltLength + kGaltRandomLength;

// The statuses that mean "no password value" and "no stored hash": the next
// source is tried. Any other failure ends the search.
bool IsNoPasswordValue(std::int32_t status) {
  return status == kStatusNotSupported || status == kStatusNoSuchValue || status == kStatusNoSuchAttribute ||
         status == kStatusNoAccess || status == kStatusNoObject;
}

bool IsNoStoredHash(std::int32_t status) {
  return status == kStatusNoHash || status == kStatusNoSuchAttribute || status == kStatusNoAccess ||
         status == kStatusNoObject;
}

// ORs the "Password Flags" word of one kind into flags, when the framework has one.
void MergePasswordFlags(mafHandle handle, std::uint32_t kind, std::uint32_t* flags) {
  std::uint8_t word[4] = {};
  std::uint32_t length = sizeof word;
  if (MAF_GetAttribute(handle, kind, kPasswordFlagsName.units, &length, word) != kStatusOk) return;
  const std::size_t got = length < sizeof word ? length : sizeof word;
  *flags |= LoadU32Padded(std::span<const std::uint8_t>(word, got));
}

// Reads the "Password Hash" value into the record and extra data.
std::int32_t ReadStoredHashInfo(mafHandle handle, wire_pwdInfo* record, std::span<std::uint8_t> extra) {
  std::uint32_t needed = 0;
  MAF_GetAttribute(handle, kKindPasswordHash, kPasswordHashName.units, &needed, nullptr);
  MafBuffer value(needed);
  if (!value.ok()) return kStatusNoMemory;

  std::uint32_t length = value.size();
  const std::int32_t status = MAF_GetAttribute(handle, kKindPasswordHash, kPasswordHashName.units, &length, value.data());
  if (status != kStatusOk) return status;
  if (length > value.size()) return kStatusValueTooLong;
  // A value without even its type byte holds no hash.
  if (length == 0) return kStatusNoHash;

  const std::span<const std::uint8_t> stored(value.data(), length);
  record->hashId = static_cast<std::int8_t>(stored[0]);
  if (record->hashId != HASH_PLAIN) record->flags |= PWDINFO_SYNC_PASSWORD;

  if (record->hashId == HASH_CRYPT) {
    if (extra.size() < kCryptSaltLength) return kStatusBadArgument;
    // A crypt text too short to hold its salt yields no salt: nothing beyond
    // the value is ever sent as one.
    if (stored.size() < 1 + kCryptSaltLength) return kStatusOk;
    std::memcpy(extra.data(), stored.data() + 1, kCryptSaltLength);
    record->extraLen = kCryptSaltLength;
  } else if (record->hashId == HASH_SALTED_SHA1 && stored.size() > kSaltedSha1Overhead) {
    const std::size_t saltLength = stored.size() - kSaltedSha1Overhead;
    if (extra.size() < saltLength) return kStatusBadArgument;
    std::memcpy(extra.data(), stored.data() + kSaltedSha1SaltOffset, saltLength);
    record->extraLen = static_cast<std::uint32_t>(saltLength);
  }
  return kStatusOk;
}

// Asks the framework for the Galt hash's salt and draws the challenge behind it.
std::int32_t ReadGaltHashInfo(mafHandle handle, wire_pwdInfo* record, std::span<std::uint8_t> extra,
                              bool hashIsNotThePassword) {
  std::uint8_t salt[kGaltSaltLength] = {};
  const std::int32_t status = WISTRA_MAF_GetPELUPwdHash(handle, salt, nullptr, nullptr, 0, 0);
  if (status != kStatusOk) return status;
  if (hashIsNotThePassword) record->flags |= PWDINFO_SYNC_PASSWORD;
  record->hashId = HASH_GALT;
  if (extra.size() < kGaltExtraLength) return kStatusBadArgument;
  std::memcpy(extra.data(), salt, kGaltSaltLength);
  const std::int32_t drawn = ATGetRandom(kGaltRandomLength, extra.data() + kGaltSaltLength);
  if (drawn != kStatusOk) {
    // A challenge that was not drawn is never offered or checked against.
    osa::Wipe(extra.data(), kGaltExtraLength);
    return drawn;
  }
  record->extraLen = kGaltExtraLength;
  return kStatusOk;
}

}  // namespace

std::int32_t getPasswordInfo(mafHandle handle, wire_pwdInfo* record, std::span<std::uint8_t> extra) {
  record->extraLen = 0;
  record->flags = 0;
  record->hashId = HASH_PLAIN;

  MergePasswordFlags(handle, kKindPasswordFlagsA, &record->flags);
  MergePasswordFlags(handle, kKindPasswordFlagsB, &record->flags);

  std::uint32_t units = 0;
  std::uint32_t valueFlags = 0;
  std::int32_t status = WISTRA_MAF_GetPassword(handle, &units, nullptr, &valueFlags, 0, 0);
  if (status == kStatusOk && (valueFlags & kValueFlagPassword) != 0) record->flags |= PWDINFO_PASSWORD_FLAG;

  bool storedHashTried = false;
  bool valueNotMissing = false;
  if (IsNoPasswordValue(status)) {
    storedHashTried = true;
    // A Galt hash found after a password value that was refused, rather than
    // one the user simply does not have, asks the client for the password.
    valueNotMissing = status != kStatusNoSuchValue;
    status = ReadStoredHashInfo(handle, record, extra);
  }
  if (IsNoStoredHash(status)) {
    status = ReadGaltHashInfo(handle, record, extra, storedHashTried && valueNotMissing);
  }

  record->status = status == kStatusOk ? 1 : status;
  return status;
}

std::int32_t getPasswordValue(mafHandle handle, std::int8_t* type, std::uint32_t* length, std::uint8_t* buffer) {
  if (type == nullptr || length == nullptr || buffer == nullptr) return kStatusBadArgument;
  const std::uint32_t capacity = *length;
  *length = 0;

  std::uint16_t ucs[kMaxPasswordUnits] = {};
  osa::WipeOnExit wipeUcs(ucs);
  osa::SecretBuffer<kStoredValueBuffer> value;

  std::uint32_t units = capacity < kMaxPasswordUnits ? capacity : kMaxPasswordUnits;
  std::int32_t status = WISTRA_MAF_GetPassword(handle, &units, ucs, nullptr, 0, 0);
  if (status == kStatusOk) {
    // The text must end within what the framework handed back; one that does
    // not is too long for the working buffer, not a shorter password.
    const std::uint32_t held = units < kMaxPasswordUnits ? units : kMaxPasswordUnits;
    bool terminated = false;
    for (std::uint32_t i = 0; i < held && !terminated; ++i) terminated = ucs[i] == 0;
    if (!terminated) return kStatusValueTooLong;
    const std::int32_t needed = unicodeStr_to_utf8s(nullptr, ucs, 0);
    // Room for the text and its zero, or the secret would be cut.
    if (needed < 0 || static_cast<std::uint32_t>(needed) >= capacity) {
      *length = static_cast<std::uint32_t>(needed) + 1;
      return kStatusValueTooLong;
    }
    const std::int32_t written = unicodeStr_to_utf8s(buffer, ucs, static_cast<std::int32_t>(capacity));
    *type = HASH_PLAIN;
    *length = static_cast<std::uint32_t>(written);
    return kStatusOk;
  }
  if (!IsNoPasswordValue(status)) return status;

  // One byte of the working buffer stays free for the zero behind the value.
  const std::uint32_t valueCapacity = capacity < kMaxStoredValue ? capacity : kMaxStoredValue;
  std::uint32_t valueLength = valueCapacity;
  status = MAF_GetAttribute(handle, kKindPasswordHash, kPasswordHashName.units, &valueLength, value.data());
  if (status == kStatusOk && valueLength == 0) status = kStatusNoHash;
  if (status == kStatusOk) {
    if (valueLength > valueCapacity) {
      *length = valueLength;
      return kStatusValueTooLong;
    }
    value[valueLength] = 0;
    const std::int8_t storedType = static_cast<std::int8_t>(value[0]);
    // The data behind the type byte and the appended zero.
    std::memcpy(buffer, value.data() + 1, valueLength);
    const std::uint32_t dataLength = valueLength - 1;
    if (storedType == HASH_PLAIN || storedType == HASH_CRYPT) {
      *length = static_cast<std::uint32_t>(strnlen(reinterpret_cast<const char*>(buffer), dataLength));
    } else {
      // The trailing byte of these types is never part of the secret.
      *length = dataLength == 0 ? 0 : dataLength - 1;
    }
    *type = storedType;
    return kStatusOk;
  }
  if (valueLength > valueCapacity) {
    // The framework refused a value longer than the working buffer.
    *length = valueLength;
    return kStatusValueTooLong;
  }
  if (!IsNoStoredHash(status)) return status;

  std::uint32_t hashLength = capacity;
  status = WISTRA_MAF_GetPELUPwdHash(handle, nullptr, &hashLength, buffer, 0, 0);
  if (status != kStatusOk) {
    if (hashLength > capacity) *length = hashLength;
    return status;
  }
  if (hashLength > capacity) {
    *length = hashLength;
    return kStatusValueTooLong;
  }
  *type = HASH_GALT;
  *length = hashLength;
  return kStatusOk;
}

std::int32_t setPassword(mafHandle handle, std::uint32_t length, const std::uint8_t* text, std::uint32_t flags) {
  if (text == nullptr || length > kMaxSyncPasswordBytes) return kStatusBadArgument;

  const std::int32_t characters = utf8s_to_unicodeStr(nullptr, text, 0);
  // A password with more characters than the buffer holds is refused whole,
  // never stored cut short.
  if (characters < 0 || static_cast<std::uint32_t>(characters) >= kMaxPasswordUnits) return kStatusBadArgument;

  // One working buffer: first the UCS-2 form, then, if the framework has no
  // password value, the "Password Hash" value.
  std::uint16_t ucs[kFallbackValueBuffer / 2] = {};
  osa::WipeOnExit wipeWork(ucs);
  if (utf8s_to_unicodeStr(ucs, text, kMaxPasswordUnits) != characters) return kStatusBadArgument;

  std::int32_t status =
      WISTRA_MAF_SetPassword(handle, static_cast<std::uint32_t>(characters) + 1, ucs, flags);
  if (status == kStatusNotSupported || status == kStatusNoSuchValue) {
    if (length + 1 > kFallbackValueBuffer) return kStatusBadArgument;
    std::uint8_t* value = reinterpret_cast<std::uint8_t*>(ucs);
    value[0] = HASH_PLAIN;
    std::memcpy(value + 1, text, length);
    status = MAF_PutAttribute(handle, kKindPasswordHash, kPasswordHashName.units, length + 1, value);
  }
  return status;
}

}  // namespace wistra
