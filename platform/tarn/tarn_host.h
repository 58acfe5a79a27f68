// What a host process needs from the crypto service stand-in beyond the
// operations that the login modules bind by name (ccs/ccsx.h).
#pragma once
#include <cstddef>
#include <cstdint>

namespace tarn {

inline constexpr std::size_t kBrokerKeySize = 32;
inline constexpr std::size_t kGaltSaltSize = 4;
inline constexpr std::size_t kGaltHashSize = 16;

}  // namespace tarn

extern "C" {

// Names the key file that the broker reads each time it opens from closed: it
// must hold exactly kBrokerKeySize bytes. When the file cannot be read or has
// another size, ATBX_OpenATB returns 0 rather than fall back to a key that no
// other front end shares. Null forgets the name; the broker then draws a random
// key when it opens. The path is copied. Takes effect at the next opening, not
// for a broker that is already open. 0, or kStatusAtbBadArgument for a path
// longer than the system allows.
std::int32_t TarnHost_SetBrokerKeyFile(const char* path);

// The stand-in's Galt hash, for a host that must store one for a user: the first
// 16 bytes of SHA-1(salt ‖ password), as the service computes it under
// ALG_GALT_HASH. 0, or kStatusCcsBadRecord for a missing pointer.
std::int32_t TarnHost_GaltHash(const std::uint8_t* salt, const std::uint8_t* password, std::uint32_t passwordLength,
                               std::uint8_t* out);

}  // extern "C"

// A host that must hand a module a value encrypted by another front end (the
// encrypted digest of a client's answer) opens the broker with a handle of its
// own (ATBX_OpenATB) and calls ATX_EncryptWithSecretKey with it: the encryption
// is deterministic, so the server's own encryption of the same inputs compares
// equal.
