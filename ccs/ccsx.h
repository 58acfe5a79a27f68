// The operations of the Tarn crypto service as the host process exports them.
// Each CCSX_/SSLX_ operation takes the caller's module identifier first; the
// token broker's ATBX_/ATX_ operations take the broker handle first.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ccs/ccsrec.h"

extern "C" {

// One argument word of an operation the login methods pass through untouched:
// 32 bits on the deliverable build, wide enough for an address on the native one.
typedef std::uintptr_t CCS_Word;

// Parameter lists of 1 to 10 words, for declaring and defining the pass-through
// operations from ccs_ops.def.
#define CCS_WORDS_1 CCS_Word w1
#define CCS_WORDS_2 CCS_WORDS_1, CCS_Word w2
#define CCS_WORDS_3 CCS_WORDS_2, CCS_Word w3
#define CCS_WORDS_4 CCS_WORDS_3, CCS_Word w4
#define CCS_WORDS_5 CCS_WORDS_4, CCS_Word w5
#define CCS_WORDS_6 CCS_WORDS_5, CCS_Word w6
#define CCS_WORDS_7 CCS_WORDS_6, CCS_Word w7
#define CCS_WORDS_8 CCS_WORDS_7, CCS_Word w8
#define CCS_WORDS_9 CCS_WORDS_8, CCS_Word w9
#define CCS_WORDS_10 CCS_WORDS_9, CCS_Word w10
#define CCS_ARGS_1 w1
#define CCS_ARGS_2 CCS_ARGS_1, w2
#define CCS_ARGS_3 CCS_ARGS_2, w3
#define CCS_ARGS_4 CCS_ARGS_3, w4
#define CCS_ARGS_5 CCS_ARGS_4, w5
#define CCS_ARGS_6 CCS_ARGS_5, w6
#define CCS_ARGS_7 CCS_ARGS_6, w7
#define CCS_ARGS_8 CCS_ARGS_7, w8
#define CCS_ARGS_9 CCS_ARGS_8, w9
#define CCS_ARGS_10 CCS_ARGS_9, w10

// --- The ten operations the login methods call ------------------------------------
// Handles are 32-bit and never -1. In/out lengths hold the capacity on entry and
// the count produced on return; a capacity too small is refused with a status and
// nothing is written past it. On failure an out handle word is left unchanged.

std::int32_t CCSX_CreateContext(std::uint32_t hModule, std::uint32_t flags, std::uint32_t* context);
std::int32_t CCSX_DestroyContext(std::uint32_t hModule, std::uint32_t context);
std::int32_t CCSX_DestroyObject(std::uint32_t hModule, std::uint32_t context, std::uint32_t object);
std::int32_t CCSX_InjectKey(std::uint32_t hModule, std::uint32_t context, const KeyAttribute* keyTemplate,
                            std::uint32_t count, std::uint32_t* key);
std::int32_t CCSX_DataEncryptInit(std::uint32_t hModule, std::uint32_t context, const AlgorithmSpec* algorithm,
                                  std::uint32_t key);
std::int32_t CCSX_Encrypt(std::uint32_t hModule, std::uint32_t context, const std::uint8_t* input,
                          std::uint32_t inputLength, std::uint8_t* output, std::uint32_t* outputLength);
std::int32_t CCSX_DigestInit(std::uint32_t hModule, std::uint32_t context, const AlgorithmSpec* algorithm);
std::int32_t CCSX_Digest(std::uint32_t hModule, std::uint32_t context, const std::uint8_t* data,
                         std::uint32_t dataLength, std::uint8_t* output, std::uint32_t* outputLength);
std::int32_t CCSX_DigestUpdate(std::uint32_t hModule, std::uint32_t context, const std::uint8_t* data,
                               std::uint32_t dataLength);
std::int32_t CCSX_DigestFinal(std::uint32_t hModule, std::uint32_t context, std::uint8_t* output,
                              std::uint32_t* outputLength);

// --- Everything else the service offers, passed through word for word -------------
#define CCS_OP(family, name, words) std::int32_t family##X_##name(std::uint32_t hModule, CCS_WORDS_##words);
#include "ccs/ccs_ops.def"
#undef CCS_OP
std::int32_t SSLX_CalcMAC(std::uint32_t hModule, CCS_Word w1, CCS_Word w2, CCS_Word w3, std::uint8_t w4, CCS_Word w5,
                          CCS_Word w6, CCS_Word w7);

// --- Registration of a module identifier (the stand-in's own contract) -----------
// A module identifier is accepted from its registration until CCSX_Goodbye.
// Registering returns 0, or a negative status (the identifier is then unknown).
std::int32_t CCSX_Register(std::uint32_t hModule);
std::int32_t CCSX_Goodbye(std::uint32_t hModule);

// --- Token broker -------------------------------------------------------------------
// Non-zero when the broker is open for this handle.
std::int32_t ATBX_OpenATB(CCS_Word handle);
std::int32_t ATBX_CloseATB(CCS_Word handle);
// 0 when the broker admits the next call for this handle.
std::int32_t ATBX_StartCall(CCS_Word handle);
// 0 when the two encrypted values (each self-delimiting, see below) are equal.
std::int32_t ATX_CompareSecretKeyEncrypted(CCS_Word handle, const std::uint8_t* encrypted,
                                           const std::uint8_t* other);
// Encrypts first ‖ second under the broker's secret key, deterministically. With
// a capacity below the needed size it stores the size in *outputLength and
// returns -649.
std::int32_t ATX_EncryptWithSecretKey(CCS_Word handle, std::uint32_t firstLength, const std::uint8_t* first,
                                      std::uint32_t secondLength, const std::uint8_t* second,
                                      std::uint32_t capacity, std::uint32_t* outputLength, std::uint8_t* output);
std::int32_t ATX_GetRandom(CCS_Word handle, std::uint32_t length, std::uint8_t* buffer);

}  // extern "C"

namespace ccs {

// The broker's encrypted form: a 4-byte little-endian length of the body, then
// the body (a 16-byte synthetic IV followed by the ciphertext). The compare reads
// exactly that many bytes, so a module checks that a value from a peer is whole
// with EncryptedValueSize before handing it over.
inline constexpr std::size_t kEncryptedHeaderSize = 4;
inline constexpr std::size_t kEncryptedTagSize = 16;
inline constexpr std::size_t kEncryptedMaxBody = 4096;

// The whole size of the encrypted value at the start of bytes[0..available), or 0
// when its header is not all there, its body is not whole, or it is larger than
// any value the broker makes.
inline std::size_t EncryptedValueSize(const std::uint8_t* bytes, std::size_t available) {
  if (available < kEncryptedHeaderSize) return 0;
  const std::size_t body = static_cast<std::size_t>(bytes[0]) | (static_cast<std::size_t>(bytes[1]) << 8) |
                           (static_cast<std::size_t>(bytes[2]) << 16) | (static_cast<std::size_t>(bytes[3]) << 24);
  if (body < kEncryptedTagSize || body > kEncryptedMaxBody || body > available - kEncryptedHeaderSize) return 0;
  return kEncryptedHeaderSize + body;
}

}  // namespace ccs
