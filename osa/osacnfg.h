// The configuration store: numbered key and configuration files, opened behind
// a self-checking handle. Every operation writes its trace line to the log.
#pragma once
#include <cstdint>

#include "osa/xosafio.h"

extern "C" {

inline constexpr std::int32_t kCfgHandleCheck = 532;

// The store's own results; file failures come through as -1.
inline constexpr std::int32_t kCfgNoEntry = 2;      // no such entry, or a null handle
inline constexpr std::int32_t kCfgBadSelf = 3;      // the handle's self pointer is wrong
inline constexpr std::int32_t kCfgBadCheck = 4;     // the handle's check value is wrong
inline constexpr std::int32_t kCfgNoMemory = 5;

struct OSA_CfgHandle {
  std::int32_t check;
  OSA_CfgHandle* self;
  OSA_File file;
  char* name;
  std::int32_t nameSize;
};

std::int32_t OSA_cfg_Init(void);
std::int32_t OSA_cfg_Shutdown(void);
std::int32_t OSA_cfg_Status(void* unused1, std::int32_t entry, std::int32_t* exists, std::int32_t* size,
                            void* unused5, std::uint32_t bufLen, char* buf, std::int32_t* nameSize);
std::int32_t OSA_cfg_Class(void* unused, std::int32_t* kind, std::int32_t* flags, std::uint32_t bufLen, char* buf,
                           std::int32_t* nameLen);
std::int32_t OSA_cfg_Create(void);
std::int32_t OSA_cfg_Open(void* unused, std::int32_t entry, std::int32_t openFlags, OSA_CfgHandle** out);
std::int32_t OSA_cfg_Close(OSA_CfgHandle* handle);
std::int32_t OSA_cfg_Read(OSA_CfgHandle* handle, std::int32_t offset, std::int32_t size, void* buf,
                          std::int32_t* got);
std::int32_t OSA_cfg_Write(OSA_CfgHandle* handle, std::int32_t offset, std::int32_t len, const void* data,
                           std::int32_t* put);
std::int32_t OSA_cfg_Delete(std::int32_t entry);
// 0 for a valid handle, else 2, 3 or 4 (checked in that order).
std::int32_t CheckCfPtr(const OSA_CfgHandle* handle);

}  // extern "C"
