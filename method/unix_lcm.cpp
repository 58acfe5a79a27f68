// The client module's load-time constructor and unload-time destructor: bring
// the crypto facade up and take it down again.
#include <cstdint>

#include "ccs/ccs.h"
#include "method/lifecycle.h"
#include "method/maf.h"
#include "method/status.h"

namespace {
// Exactly as the host's operators know it, with no blank at the end.
constexpr const char kStartupError[] = "Wistra Method LCM Error, unable to initialize TARN - %d";
}  // namespace

__attribute__((constructor)) std::int32_t InitializeMethod() {
  if (activeThreadCount.load() == 0) {
    // Any non-null address of ours serves as the facade's caller.
    const std::int32_t status = CCS_Init(&ourThreadGroupID);
    if (status != wistra::kStatusOk && status != wistra::kStatusStartupAlreadyUp) {
      err_warn(kStartupError, status);
      return status;
    }
  }
  ++activeThreadCount;
  return wistra::kStatusOk;
}

__attribute__((destructor)) std::int32_t ExitMethod() {
  // After a failed start-up the count goes below zero; CCS_Shutdown while down
  // makes no call into the service.
  if (--activeThreadCount <= 0) CCS_Shutdown();
  return wistra::kStatusOk;
}
