/* MAF_SetPassword, present only while this library is loaded. */
#include "platform/vesk/late.h"

__attribute__((visibility("default"))) int32_t MAF_SetPassword(uint32_t handle, uint32_t units, const uint16_t* text,
                                                               uint32_t flags) {
  return vesk_host_SetPassword(handle, units, text, flags);
}
