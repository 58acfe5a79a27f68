/* MAF_GetPassword, present only while this library is loaded. */
#include "platform/vesk/late.h"

__attribute__((visibility("default"))) int32_t MAF_GetPassword(uint32_t handle, uint32_t* length, uint16_t* buffer,
                                                               uint32_t* flags, uint32_t reserved1,
                                                               uint32_t reserved2) {
  return vesk_host_GetPassword(handle, length, buffer, flags, reserved1, reserved2);
}
