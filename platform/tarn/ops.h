// Every operation the service exports, named once, so that the test control can
// address each by its exported name and count its calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarn {

// The exports that have bodies of their own; the pass-through ones come from
// ccs/ccs_ops.def.
#define TARN_OWN_OPS(X)            \
  X(CCSX_CreateContext)            \
  X(CCSX_DestroyContext)           \
  X(CCSX_DestroyObject)            \
  X(CCSX_InjectKey)                \
  X(CCSX_DataEncryptInit)          \
  X(CCSX_Encrypt)                  \
  X(CCSX_DigestInit)               \
  X(CCSX_Digest)                   \
  X(CCSX_DigestUpdate)             \
  X(CCSX_DigestFinal)              \
  X(SSLX_CalcMAC)                  \
  X(CCSX_Register)                 \
  X(CCSX_Goodbye)                  \
  X(ATBX_OpenATB)                  \
  X(ATBX_CloseATB)                 \
  X(ATBX_StartCall)                \
  X(ATX_CompareSecretKeyEncrypted) \
  X(ATX_EncryptWithSecretKey)      \
  X(ATX_GetRandom)

enum class Op : std::uint16_t {
#define TARN_OP_ENUM(name) name,
  TARN_OWN_OPS(TARN_OP_ENUM)
#undef TARN_OP_ENUM
#define CCS_OP(family, name, words) family##X_##name,
#include "ccs/ccs_ops.def"
#undef CCS_OP
  kCount
};

inline constexpr std::size_t kOpCount = static_cast<std::size_t>(Op::kCount);

// The exported name of op.
const char* OpName(Op op);
// True with *op set when the service exports an operation of that name.
bool FindOp(std::string_view name, Op* op);
// True for the operations that report an output length through an in/out word.
bool ReportsLength(Op op);

}  // namespace tarn
