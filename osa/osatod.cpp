#include <sys/time.h>

#include <atomic>

#include "osa/osactx.h"

namespace {
void PlatformClock(std::int64_t* seconds, std::int64_t* micros) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  *seconds = tv.tv_sec;
  *micros = tv.tv_usec;
}
std::atomic<osa::testing::WallClock> wallClock{&PlatformClock};

std::uint32_t ReadSeconds() {
  std::int64_t seconds = 0, micros = 0;
  wallClock.load()(&seconds, &micros);
  return static_cast<std::uint32_t>(seconds);
}
}  // namespace

void osa::testing::SetWallClock(WallClock clock) { wallClock.store(clock ? clock : &PlatformClock); }

extern "C" std::uint32_t OSA_GetTODULong(std::uint32_t) { return ReadSeconds(); }

extern "C" std::uint32_t OSA_GetSecMsec(std::uint32_t* seconds, std::uint32_t* tenfold) {
  // The second word is ten times the seconds, not a fraction: its only caller
  // mixes the pair into an identifier.
  const std::uint32_t s = ReadSeconds();
  *seconds = s;
  *tenfold = s * 10u;
  return s;
}
