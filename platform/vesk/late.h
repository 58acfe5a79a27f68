/* The host's side of the five late-bound calls. libvesk exports these under
   names no module looks for; each small libvesk_late_*.so exports one MAF_ name
   that forwards here, so that loading it is what makes the call exist. */
#ifndef VESK_LATE_H
#define VESK_LATE_H
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int32_t vesk_host_GetPassword(uint32_t handle, uint32_t* length, uint16_t* buffer, uint32_t* flags,
                              uint32_t reserved1, uint32_t reserved2);
int32_t vesk_host_SetPassword(uint32_t handle, uint32_t units, const uint16_t* text, uint32_t flags);
int32_t vesk_host_GetPELUPwdHash(uint32_t handle, uint8_t* salt, uint32_t* length, uint8_t* buffer,
                                 uint32_t reserved1, uint32_t reserved2);
void vesk_host_Trace(uint32_t handle, const char* text);
int32_t vesk_host_TraceEnabled(uint32_t handle);

#ifdef __cplusplus
}
#endif
#endif
