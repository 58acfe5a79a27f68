// The lifecycle state both entries and the load-time constructor share.
#include "method/lifecycle.h"

std::atomic<std::int32_t> activeThreadCount{0};
std::uint32_t ourThreadGroupID = 0;

// Thread groups mean nothing on this platform; the entries call this in pairs
// so that the code reads the same everywhere.
std::uint32_t SetThreadGroupID(std::uint32_t) { return 0; }
