// The configuration store's entries: numbered files in the system directory or
// in the user's own directory, and the full paths made from them.
#pragma once
#include <cstdint>

extern "C" {

inline constexpr std::uint32_t kCfgEntryCount = 14;
inline constexpr int kUserNameSize = 64;

// Writes the path of entry (with its terminator) into the buffer *out points at,
// when out is not null; returns the path's length plus 1, or 0 for an entry above 13.
std::int32_t _OSA_GetCfgName(std::uint32_t entry, char** out);
// The real user identifier in decimal, rewritten on each call.
char* _OSA_GetUserName(void);

}  // extern "C"

namespace osa::testing {
// Forgets the two directory entries and the user's number, as at load.
void ResetCfgNames();
}  // namespace osa::testing
