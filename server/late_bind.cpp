#include "server/late_bind.h"

#include <dlfcn.h>

namespace {

// Looks name up in the process's global scope. The scope handle is closed
// again: only the address is kept, and the host keeps the library loaded.
template <typename Fn>
Fn LookUpHostCall(const char* name) {
  void* scope = dlopen(nullptr, RTLD_NOW);
  if (scope == nullptr) return nullptr;
  void* address = dlsym(scope, name);
  dlclose(scope);
  return reinterpret_cast<Fn>(address);
}

// Each address lives in a function-local static: its initialisation guard is
// the done flag, it runs exactly once even when two attempts make the first
// call at the same moment, and a null result stays null for the life of the load.
MAF_SetPassword_t SetPasswordFunc() {
  static const MAF_SetPassword_t mafSetPasswordFunc = LookUpHostCall<MAF_SetPassword_t>("MAF_SetPassword");
  return mafSetPasswordFunc;
}

MAF_GetPassword_t GetPasswordFunc() {
  static const MAF_GetPassword_t mafGetPasswordFunc = LookUpHostCall<MAF_GetPassword_t>("MAF_GetPassword");
  return mafGetPasswordFunc;
}

MAF_GetPELUPwdHash_t GetPELUPwdHashFunc() {
  static const MAF_GetPELUPwdHash_t mafGetPELUPwdHashFunc =
      LookUpHostCall<MAF_GetPELUPwdHash_t>("MAF_GetPELUPwdHash");
  return mafGetPELUPwdHashFunc;
}

}  // namespace

std::int32_t WISTRA_MAF_SetPassword(mafHandle handle, std::uint32_t units, const std::uint16_t* text,
                                    std::uint32_t flags) {
  const MAF_SetPassword_t f = SetPasswordFunc();
  if (f == nullptr) return wistra::kStatusNotSupported;
  return f(handle, units, text, flags);
}

std::int32_t WISTRA_MAF_GetPassword(mafHandle handle, std::uint32_t* length, std::uint16_t* buffer,
                                    std::uint32_t* flags, std::uint32_t reserved1, std::uint32_t reserved2) {
  const MAF_GetPassword_t f = GetPasswordFunc();
  if (f == nullptr) return wistra::kStatusNotSupported;
  return f(handle, length, buffer, flags, reserved1, reserved2);
}

std::int32_t WISTRA_MAF_GetPELUPwdHash(mafHandle handle, std::uint8_t* salt, std::uint32_t* length,
                                       std::uint8_t* buffer, std::uint32_t reserved1, std::uint32_t reserved2) {
  const MAF_GetPELUPwdHash_t f = GetPELUPwdHashFunc();
  if (f == nullptr) return wistra::kStatusNotSupported;
  return f(handle, salt, length, buffer, reserved1, reserved2);
}
