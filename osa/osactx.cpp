#include "osa/osactx.h"

#include <cstdlib>

namespace {
// Plain words: the facade calls Initialize/Deinitialize only under its state lock.
int osaInitialized = 0;
int givenModuleHandle = 0;
}  // namespace

extern "C" std::int32_t OSA_Initialize(void*) {
  if (osaInitialized == 0) {
    givenModuleHandle = 1;
    osaInitialized = 1;
  }
  return 0;
}

extern "C" std::int32_t OSA_Deinitialize(void*) {
  if (osaInitialized == 0 || givenModuleHandle == 0) return -2;
  givenModuleHandle = 0;
  osaInitialized = 0;
  return 0;
}

extern "C" std::int32_t OSA_GetModuleHandle(std::int32_t which) {
  return which == 0 ? givenModuleHandle : 0;
}

extern "C" std::int32_t OSA_CreateContext(std::uint32_t value, OSA_Context** out) {
  (void)OSA_GetModuleHandle(0);
  if (out == nullptr) return -2;
  auto* ctx = static_cast<OSA_Context*>(std::malloc(sizeof(OSA_Context)));
  if (ctx == nullptr) return -2;
  ctx->check = kOsaContextCheck;
  ctx->value = value;
  *out = ctx;
  return 0;
}

extern "C" std::int32_t OSA_DestroyContext(OSA_Context* context) {
  std::free(context);
  return 0;
}

extern "C" std::int32_t OSA_DisableShutDownEvents(void) { return 0; }

bool osa::testing::IsInitialized() { return osaInitialized != 0; }
