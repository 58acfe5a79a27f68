#include "osa/osacnfg.h"

#include <cstdlib>
#include <cstring>

#include "osa/osalog.h"
#include "osa/osaname.h"
#include "osa/osaureg.h"

namespace {

// The entry's full path in a new allocation the caller frees; *status is 0, or
// 2 (no such entry) or 5 (no memory) with null returned.
char* MakePath(std::int32_t entry, std::int32_t* size, std::int32_t* status) {
  *size = _OSA_GetCfgName(static_cast<std::uint32_t>(entry), nullptr);
  if (*size == 0) {
    *status = kCfgNoEntry;
    return nullptr;
  }
  char* path = static_cast<char*>(std::malloc(static_cast<std::size_t>(*size)));
  if (path == nullptr) {
    *status = kCfgNoMemory;
    return nullptr;
  }
  _OSA_GetCfgName(static_cast<std::uint32_t>(entry), &path);
  *status = 0;
  return path;
}

bool Exists(std::int32_t entry) {
  std::int32_t size = 0, status = 0;
  char* path = MakePath(entry, &size, &status);
  const bool found = path != nullptr && OSA_FileExist(path) == 0;
  std::free(path);
  return found;
}

void Release(OSA_CfgHandle* handle) {
  std::free(handle->name);
  std::free(handle);
}

}  // namespace

extern "C" std::int32_t OSA_cfg_Init(void) {
  OSA_syslog(0, "OSA_cfg_Init\n");
  return _GetTARNDirectories();
}

extern "C" std::int32_t OSA_cfg_Shutdown(void) {
  OSA_syslog(0, "OSA_cfg_Shutdown\n");
  return 0;
}

extern "C" std::int32_t OSA_cfg_Status(void*, std::int32_t entry, std::int32_t* exists, std::int32_t* size, void*,
                                       std::uint32_t bufLen, char* buf, std::int32_t* nameSize) {
  OSA_syslog(0, "OSA_cfg_Status\n");
  std::int32_t pathSize = 0, status = 0;
  char* path = MakePath(entry, &pathSize, &status);
  if (path == nullptr) return status;
  if (exists != nullptr) *exists = OSA_FileExist(path) == 0 ? 1 : 0;
  if (size != nullptr) (void)OSA_GetFileSize(path, size);
  if (buf != nullptr) {
    if (static_cast<std::uint32_t>(pathSize) > bufLen) {
      std::memcpy(buf, path, bufLen);
    } else {
      std::memcpy(buf, path, static_cast<std::size_t>(pathSize));
    }
  }
  if (nameSize != nullptr) *nameSize = pathSize;
  std::free(path);
  return 0;
}

extern "C" std::int32_t OSA_cfg_Class(void*, std::int32_t* kind, std::int32_t* flags, std::uint32_t bufLen,
                                      char* buf, std::int32_t* nameLen) {
  OSA_syslog(0, "OSA_cfg_Class\n");
  if (kind != nullptr) {
    *kind = 0;
    if (!Exists(2)) {
      *kind = -1;
    } else if (Exists(12)) {
      *kind = 1;
    }
  }
  const char* user = _OSA_GetUserName();
  const std::size_t userLen = std::strlen(user);
  if (nameLen != nullptr) *nameLen = static_cast<std::int32_t>(userLen);
  if (bufLen != 0 && buf != nullptr) {
    std::memcpy(buf, user, userLen + 1 <= bufLen ? userLen + 1 : bufLen);
  }
  if (flags != nullptr) *flags = 0;
  return 0;
}

extern "C" std::int32_t OSA_cfg_Create(void) {
  char path[kTarnPathSize] = {};
  char* p = path;
  if (_OSA_GetCfgName(1, nullptr) <= static_cast<std::int32_t>(sizeof path)) _OSA_GetCfgName(1, &p);
  (void)OSA_MkUserdir(path);
  OSA_syslog(0, "OSA_cfg_Create: %s\n", path);
  return 0;
}

extern "C" std::int32_t OSA_cfg_Open(void*, std::int32_t entry, std::int32_t openFlags, OSA_CfgHandle** out) {
  OSA_syslog(0, "OSA_cfg_Open\n");
  auto* handle = static_cast<OSA_CfgHandle*>(std::calloc(1, sizeof(OSA_CfgHandle)));
  if (handle == nullptr) return kCfgNoMemory;
  handle->check = kCfgHandleCheck;
  handle->self = handle;
  handle->file.descriptor = -1;

  std::int32_t status = 0;
  handle->name = MakePath(entry, &handle->nameSize, &status);
  if (handle->name == nullptr) {
    Release(handle);
    return status;
  }
  OSA_syslog(0, "OSA_cfg_Open:handle->Name=%s\n", handle->name);

  const auto flags = static_cast<std::uint32_t>(openFlags);
  if (OSA_FileExist(handle->name) != 0) {
    (void)OSA_CreateFile(handle->name, flags, &handle->file);
    OSA_CloseFile(&handle->file);
  }
  const std::int32_t result = OSA_OpenFile(handle->name, flags, &handle->file);

  if (out == nullptr) {
    if (result == 0) {
      (void)OSA_cfg_Close(handle);
    } else {
      Release(handle);
    }
    return result;
  }
  if (result != 0) {
    Release(handle);
    *out = nullptr;
    return result;
  }
  *out = handle;
  return 0;
}

extern "C" std::int32_t OSA_cfg_Close(OSA_CfgHandle* handle) {
  OSA_syslog(0, "OSA_cfg_Cloe\n");
  const std::int32_t check = CheckCfPtr(handle);
  if (check != 0) return check;
  OSA_CloseFile(&handle->file);
  Release(handle);
  return 0;
}

extern "C" std::int32_t OSA_cfg_Read(OSA_CfgHandle* handle, std::int32_t offset, std::int32_t size, void* buf,
                                     std::int32_t* got) {
  OSA_syslog(0, "OSA_cfg_Read\n");
  const std::int32_t check = CheckCfPtr(handle);
  if (check != 0) return check;
  return OSA_ReadBytes(&handle->file, offset, buf, size, got);
}

extern "C" std::int32_t OSA_cfg_Write(OSA_CfgHandle* handle, std::int32_t offset, std::int32_t len,
                                      const void* data, std::int32_t* put) {
  OSA_syslog(0, "OSA_cfg_Write\n");
  const std::int32_t check = CheckCfPtr(handle);
  if (check != 0) return check;
  return OSA_WriteBytes(&handle->file, offset, data, len, put);
}

extern "C" std::int32_t OSA_cfg_Delete(std::int32_t entry) {
  OSA_syslog(0, "OSA_cfg_Delete\n");
  std::int32_t size = 0, status = 0;
  char* path = MakePath(entry, &size, &status);
  if (path == nullptr) return status;
  const std::int32_t result = OSA_DeleteFile(path);
  std::free(path);
  return result;
}

extern "C" std::int32_t CheckCfPtr(const OSA_CfgHandle* handle) {
  if (handle == nullptr) return kCfgNoEntry;
  if (handle->self != handle) return kCfgBadSelf;
  if (handle->check != kCfgHandleCheck) return kCfgBadCheck;
  return 0;
}
