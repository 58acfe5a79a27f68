/* MAF_TraceEnabled, present only while this library is loaded. */
#include "platform/vesk/late.h"

__attribute__((visibility("default"))) int32_t MAF_TraceEnabled(uint32_t handle) {
  return vesk_host_TraceEnabled(handle);
}
