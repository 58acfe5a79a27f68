// The server module's load-time constructor and unload-time destructor: open
// the token broker (which brings the crypto facade up) and close it again.
#include <cstdint>

#include "ccs/atb.h"
#include "method/lifecycle.h"
#include "method/maf.h"
#include "method/status.h"

namespace {
// Only its address is used, as the broker handle; its content never is.
std::uint32_t atbHandle;

// Exactly as the host's operators know it, blank at the end included.
constexpr const char kStartupError[] = "Wistra Method LSM Error, unable to initialize TARN - %d ";
}  // namespace

__attribute__((constructor)) std::int32_t InitializeMethod() {
  if (activeThreadCount.load() == 0) {
    const std::int32_t status = ATBOpenATB(reinterpret_cast<CCS_Word>(&atbHandle));
    if (status != wistra::kStatusOk && status != wistra::kStatusStartupAlreadyUp) {
      err_warn(kStartupError, status);
      return status;
    }
  }
  ++activeThreadCount;
  return wistra::kStatusOk;
}

__attribute__((destructor)) std::int32_t ExitMethod() {
  // After a failed start-up the count goes below zero and the close is made
  // anyway; the broker and the facade both accept a close of nothing.
  if (--activeThreadCount <= 0) ATBCloseATB(reinterpret_cast<CCS_Word>(&atbHandle));
  return wistra::kStatusOk;
}
