// Module-wide lifecycle state shared by a module's entry and its load-time
// constructor and unload-time destructor.
#pragma once
#include <atomic>
#include <cstdint>

// 1 for the module after a successful start-up, plus 1 per attempt in flight.
extern std::atomic<std::int32_t> activeThreadCount;
// Handed to SetThreadGroupID by the entries.
extern std::uint32_t ourThreadGroupID;

// Returns the previous thread-group value: always 0 on this platform.
std::uint32_t SetThreadGroupID(std::uint32_t value);

// Load-time constructor and unload-time destructor (one pair per module).
std::int32_t InitializeMethod();
std::int32_t ExitMethod();
