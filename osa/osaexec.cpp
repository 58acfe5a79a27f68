#include <sched.h>

#include <atomic>

#include "osa/osactx.h"

namespace {
void PlatformYield() { sched_yield(); }
std::atomic<osa::testing::YieldHook> yieldHook{&PlatformYield};
}  // namespace

void osa::testing::SetYield(YieldHook hook) { yieldHook.store(hook ? hook : &PlatformYield); }

extern "C" std::int32_t OSA_YieldExecution(std::int32_t level) {
  // Only level 2 gives the processor away; the facade's shutdown spin passes 1
  // and so retries at once.
  if (level == 2) yieldHook.load()();
  return 0;
}

extern "C" std::int32_t OSA_Delay(std::uint32_t) { return 0; }
