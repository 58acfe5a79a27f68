// What the directory holds for the user, read from three sources in a fixed
// order (the framework's password value, the "Password Hash" attribute, the
// Galt hash), and the store of a password the client syncs after a login.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "method/maf.h"
#include "method/wire.h"

namespace wistra {

// Attribute kinds the server reads and writes.
inline constexpr std::uint32_t kKindPasswordFlagsA = 22;
inline constexpr std::uint32_t kKindPasswordFlagsB = 18;
inline constexpr std::uint32_t kKindPasswordHash = 24;

// Working buffers. A password value is held as at most this many UCS-2 units,
// terminator included; a stored "Password Hash" value as at most
// kMaxStoredValue bytes (one more is the zero appended behind it).
inline constexpr std::uint32_t kMaxPasswordUnits = 512;
inline constexpr std::uint32_t kStoredValueBuffer = 512;
inline constexpr std::uint32_t kMaxStoredValue = kStoredValueBuffer - 1;
// A synced password stored as a "Password Hash" value: type byte and text.
inline constexpr std::uint32_t kFallbackValueBuffer = 1024;
// The longest UTF-8 text that can convert to kMaxPasswordUnits - 1 characters.
inline constexpr std::uint32_t kMaxSyncPasswordBytes = 3 * (kMaxPasswordUnits - 1);

// Fills record (flags, hashId, extraLen, status) and extra for the first source
// that has something. Returns the status of the last source tried; the record's
// status is 1 when that is 0 and the status itself otherwise. extraLen never
// exceeds extra.size(), and the extra data never holds a byte that did not come
// from the stored value, the Galt salt or a successful random draw.
std::int32_t getPasswordInfo(mafHandle handle, wire_pwdInfo* record, std::span<std::uint8_t> extra);

// The stored secret and its type, for verification. *length is the capacity of
// buffer on entry and the secret's length on return; a text secret (types 1
// and 4) is followed by a zero byte in buffer. -1643 when a pointer is missing;
// -1633 with the needed length when the secret does not fit; else the status
// of the last source tried. A secret is never cut short to fit.
std::int32_t getPasswordValue(mafHandle handle, std::int8_t* type, std::uint32_t* length, std::uint8_t* buffer);

// Stores a synced password: text[0..length) is UTF-8 and text[length] is 0
// whenever length <= kMaxSyncPasswordBytes (longer text is refused unread).
// flags go to the framework unchanged. -1643 for text that is not UTF-8 or
// does not fit the working buffers (nothing is stored then).
std::int32_t setPassword(mafHandle handle, std::uint32_t length, const std::uint8_t* text, std::uint32_t flags);

}  // namespace wistra
