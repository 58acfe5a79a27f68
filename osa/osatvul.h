// Random bytes: the platform's random device, mixed with a stream drawn from
// clocks, identifiers, resource usage and a congruential generator.
#pragma once
#include <cstdint>

extern "C" {
// Fills length bytes of buffer; always 0.
std::int32_t OSA_GetRandom(std::uint8_t* buffer, std::uint32_t length);
}

namespace osa::testing {
// The random device; nullptr restores "/dev/urandom".
void SetRandomDevice(const char* path);
struct RandomState {
  std::uint32_t nextRand;
  std::uint32_t callsCount;
};
RandomState GetRandomState();
}  // namespace osa::testing
