// A module that needs a framework call no host provides: loading it with
// RTLD_NOW must fail at once.
#include <cstdint>

extern "C" std::int32_t MAF_NoSuchCall(std::uint32_t handle);

extern "C" __attribute__((visibility("default"))) std::int32_t VTM_Unbound(std::uint32_t h) {
  return MAF_NoSuchCall(h);
}
