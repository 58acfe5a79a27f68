// What the directory holds for one user, as veskhost keeps it in its directory
// file and hands it to the framework stand-in.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/vesk/veskhost/hex.h"

namespace veskhost {

struct UserRecord {
  std::optional<std::string> password;  // the framework's password value (UTF-8 here, UCS-2 in the framework)
  bool passwordFlag = false;            // bit 0 of the password value's flag word
  std::optional<Bytes> passwordHash;    // "Password Hash", type byte first
  std::optional<std::uint32_t> passwordFlags;  // "Password Flags"
  std::optional<Bytes> galtHash;
  std::optional<Bytes> galtSalt;        // 4 bytes, with galtHash
};

// Lays the fields that are set in `update` over `base`.
void Overlay(UserRecord& base, const UserRecord& update);

}  // namespace veskhost
