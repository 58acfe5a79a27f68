/* MAF_Trace, present only while this library is loaded. */
#include "platform/vesk/late.h"

__attribute__((visibility("default"))) void MAF_Trace(uint32_t handle, const char* text) {
  vesk_host_Trace(handle, text);
}
