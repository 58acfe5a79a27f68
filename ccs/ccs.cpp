// The forwarding wrappers: one per crypto-service operation, all expanded from
// the operation tables by one macro, so that each does the same five steps and
// nothing else.
#include <atomic>
#include <cstdint>

#include "ccs/ccs.h"
#include "ccs/ccsstate.h"
#include "method/status.h"
#include "osa/osalock.h"

namespace ccs {
namespace {

// Refuses while down without touching the lock or the service; otherwise calls
// the service's operation under the facade lock with hModule in front, and
// passes its result back unchanged (including the service's own -1496).
template <auto Operation, typename... Words>
inline std::int32_t Forward(Words... words) {
  if (ccsInitialized.load(std::memory_order_acquire) == 0) return wistra::kStatusFacadeDown;
  (void)OSA_mutex_lock(&ccsLock);
  const std::int32_t result = Operation(hModule, words...);
  (void)OSA_mutex_unlock(&ccsLock);
  return result;
}

}  // namespace
}  // namespace ccs

#define CCS_FORWARD(family, name, parameters, arguments) \
  extern "C" std::int32_t family##_##name parameters { return ccs::Forward<&family##X_##name> arguments; }

// The operations the login methods call, typed as the service declares them:
// family, name, parameters, arguments.
#define CCS_TYPED_OPS(X)                                                                                         \
  X(CCS, CreateContext, (std::uint32_t flags, std::uint32_t * context), (flags, context))                        \
  X(CCS, DestroyContext, (std::uint32_t context), (context))                                                     \
  X(CCS, DestroyObject, (std::uint32_t context, std::uint32_t object), (context, object))                        \
  X(CCS, InjectKey,                                                                                              \
    (std::uint32_t context, const KeyAttribute* keyTemplate, std::uint32_t count, std::uint32_t* key),           \
    (context, keyTemplate, count, key))                                                                          \
  X(CCS, DataEncryptInit, (std::uint32_t context, const AlgorithmSpec* algorithm, std::uint32_t key),            \
    (context, algorithm, key))                                                                                   \
  X(CCS, Encrypt,                                                                                                \
    (std::uint32_t context, const std::uint8_t* input, std::uint32_t inputLength, std::uint8_t* output,          \
     std::uint32_t* outputLength),                                                                               \
    (context, input, inputLength, output, outputLength))                                                         \
  X(CCS, DigestInit, (std::uint32_t context, const AlgorithmSpec* algorithm), (context, algorithm))              \
  X(CCS, Digest,                                                                                                 \
    (std::uint32_t context, const std::uint8_t* data, std::uint32_t dataLength, std::uint8_t* output,            \
     std::uint32_t* outputLength),                                                                               \
    (context, data, dataLength, output, outputLength))                                                           \
  X(CCS, DigestUpdate, (std::uint32_t context, const std::uint8_t* data, std::uint32_t dataLength),              \
    (context, data, dataLength))                                                                                 \
  X(CCS, DigestFinal, (std::uint32_t context, std::uint8_t* output, std::uint32_t* outputLength),                \
    (context, output, outputLength))                                                                             \
  X(SSL, CalcMAC,                                                                                                \
    (CCS_Word w1, CCS_Word w2, CCS_Word w3, std::uint8_t w4, CCS_Word w5, CCS_Word w6, CCS_Word w7),             \
    (w1, w2, w3, w4, w5, w6, w7))

CCS_TYPED_OPS(CCS_FORWARD)

// Everything else the service offers, word for word.
#define CCS_OP(family, name, words) CCS_FORWARD(family, name, (CCS_WORDS_##words), (CCS_ARGS_##words))
#include "ccs/ccs_ops.def"
#undef CCS_OP

// A query the facade does not support; it never reaches the service.
extern "C" std::int32_t CCS_GetModuleInfo(...) { return wistra::kStatusBadLength; }
