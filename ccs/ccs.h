// The crypto facade: the only road from a login module to the crypto service.
// Every CCS_/SSL_ wrapper refuses with -1496 while the facade is down, puts the
// module identifier in front of the caller's words and holds the facade lock for
// the one service call; arguments and result pass through unchanged.
#pragma once
#include <cstdint>

#include "ccs/ccsx.h"

extern "C" {

// --- Lifecycle ------------------------------------------------------------------
// caller: any non-null address; only its value is used, as an input of the
// module identifier. 0, or a negative status.
std::int32_t CCS_Init(const void* caller);
// Drops one reference; the last one takes the facade down.
void CCS_Shutdown(void);
// Drops every reference at once.
void CCS_ShutdownAll(void);
// 0, or -1422.
std::int32_t CCS_SetInitFlags(std::uint32_t flags);

// --- The operations the login methods call --------------------------------------
std::int32_t CCS_CreateContext(std::uint32_t flags, std::uint32_t* context);
std::int32_t CCS_DestroyContext(std::uint32_t context);
std::int32_t CCS_DestroyObject(std::uint32_t context, std::uint32_t object);
std::int32_t CCS_InjectKey(std::uint32_t context, const KeyAttribute* keyTemplate, std::uint32_t count,
                           std::uint32_t* key);
std::int32_t CCS_DataEncryptInit(std::uint32_t context, const AlgorithmSpec* algorithm, std::uint32_t key);
std::int32_t CCS_Encrypt(std::uint32_t context, const std::uint8_t* input, std::uint32_t inputLength,
                         std::uint8_t* output, std::uint32_t* outputLength);
std::int32_t CCS_DigestInit(std::uint32_t context, const AlgorithmSpec* algorithm);
std::int32_t CCS_Digest(std::uint32_t context, const std::uint8_t* data, std::uint32_t dataLength,
                        std::uint8_t* output, std::uint32_t* outputLength);
std::int32_t CCS_DigestUpdate(std::uint32_t context, const std::uint8_t* data, std::uint32_t dataLength);
std::int32_t CCS_DigestFinal(std::uint32_t context, std::uint8_t* output, std::uint32_t* outputLength);

// --- Everything else, word for word -------------------------------------------------
#define CCS_OP(family, name, words) std::int32_t family##_##name(CCS_WORDS_##words);
#include "ccs/ccs_ops.def"
#undef CCS_OP
std::int32_t SSL_CalcMAC(CCS_Word w1, CCS_Word w2, CCS_Word w3, std::uint8_t w4, CCS_Word w5, CCS_Word w6,
                         CCS_Word w7);
// Always -1400; never reaches the service.
std::int32_t CCS_GetModuleInfo(...);

}  // extern "C"
