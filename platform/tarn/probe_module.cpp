// A stand-in for a login module in the loading test: it refers to every
// operation of the service, so that it loads with RTLD_NOW only when the host
// process exports them all.
#include <cstdint>

#include "ccs/ccsx.h"

namespace {

using AnyFunction = void (*)();
#define TARN_PROBE_REF(name) reinterpret_cast<AnyFunction>(&name),

// Kept (and its references with it) although nothing reads it.
[[gnu::used]] const AnyFunction kEveryOperation[] = {
    TARN_PROBE_REF(CCSX_CreateContext) TARN_PROBE_REF(CCSX_DestroyContext) TARN_PROBE_REF(CCSX_DestroyObject)
    TARN_PROBE_REF(CCSX_InjectKey) TARN_PROBE_REF(CCSX_DataEncryptInit) TARN_PROBE_REF(CCSX_Encrypt)
    TARN_PROBE_REF(CCSX_DigestInit) TARN_PROBE_REF(CCSX_Digest) TARN_PROBE_REF(CCSX_DigestUpdate)
    TARN_PROBE_REF(CCSX_DigestFinal) TARN_PROBE_REF(SSLX_CalcMAC) TARN_PROBE_REF(CCSX_Register)
    TARN_PROBE_REF(CCSX_Goodbye) TARN_PROBE_REF(ATBX_OpenATB) TARN_PROBE_REF(ATBX_CloseATB)
    TARN_PROBE_REF(ATBX_StartCall) TARN_PROBE_REF(ATX_CompareSecretKeyEncrypted)
    TARN_PROBE_REF(ATX_EncryptWithSecretKey) TARN_PROBE_REF(ATX_GetRandom)
#define CCS_OP(family, name, words) TARN_PROBE_REF(family##X_##name)
#include "ccs/ccs_ops.def"
#undef CCS_OP
};

}  // namespace

// Registers hModule and says goodbye through the names the loader bound.
extern "C" [[gnu::visibility("default")]] std::int32_t TarnProbe_RegisterAndLeave(std::uint32_t hModule) {
  const std::int32_t status = CCSX_Register(hModule);
  if (status != 0) return status;
  return CCSX_Goodbye(hModule);
}
