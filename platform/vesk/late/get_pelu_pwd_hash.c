/* MAF_GetPELUPwdHash, present only while this library is loaded. */
#include "platform/vesk/late.h"

__attribute__((visibility("default"))) int32_t MAF_GetPELUPwdHash(uint32_t handle, uint8_t* salt, uint32_t* length,
                                                                  uint8_t* buffer, uint32_t reserved1,
                                                                  uint32_t reserved2) {
  return vesk_host_GetPELUPwdHash(handle, salt, length, buffer, reserved1, reserved2);
}
