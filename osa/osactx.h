// Layer initialisation, contexts, clock and scheduling.
#pragma once
#include <cstdint>

extern "C" {

// Made by OSA_CreateContext; the check word is always 0x11111111.
struct OSA_Context {
  std::uint32_t check;
  std::uint32_t value;
};

inline constexpr std::uint32_t kOsaContextCheck = 0x11111111u;

// Always 0; the argument is not used.
std::int32_t OSA_Initialize(void* unused);
// 0, or -2 when the layer is not initialised.
std::int32_t OSA_Deinitialize(void* unused);
// 1 while initialised for which == 0; 0 otherwise.
std::int32_t OSA_GetModuleHandle(std::int32_t which);
// 0 and a new record through *out, or -2 (null out, no memory) with nothing stored.
std::int32_t OSA_CreateContext(std::uint32_t value, OSA_Context** out);
// Releases the record (null allowed); always 0.
std::int32_t OSA_DestroyContext(OSA_Context* context);
std::int32_t OSA_DisableShutDownEvents(void);
// Returns at once; it never waited on any platform this layer served.
std::int32_t OSA_Delay(std::uint32_t unused);
// Level 2 yields the processor once; every other level returns at once.
std::int32_t OSA_YieldExecution(std::int32_t level);
// Whole seconds since 1 January 1970 UTC.
std::uint32_t OSA_GetTODULong(std::uint32_t unused);
// Stores the seconds and ten times the seconds (wrapping); returns the seconds.
std::uint32_t OSA_GetSecMsec(std::uint32_t* seconds, std::uint32_t* tenfold);

}  // extern "C"

namespace osa::testing {
// The wall-clock reading used by the clock operations; tests replace it to fix the time.
using WallClock = void (*)(std::int64_t* seconds, std::int64_t* micros);
void SetWallClock(WallClock clock);  // nullptr restores the real clock
// The scheduler yield used by OSA_YieldExecution; tests replace it to count yields.
using YieldHook = void (*)();
void SetYield(YieldHook hook);  // nullptr restores sched_yield
bool IsInitialized();
}  // namespace osa::testing
