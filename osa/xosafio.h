// Files behind a small record with a whole-file advisory lock, reads and writes
// at offsets, and whole-file operations by path in 4096-byte chunks.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

extern "C" {

inline constexpr int kOsaPathSize = 256;
inline constexpr int kOsaChunkSize = 4096;

inline constexpr std::uint32_t OSA_FILE_READONLY = 1;
inline constexpr std::uint32_t OSA_FILE_CREATE = 0x40;

struct OSA_File {
  char path[kOsaPathSize];  // zero-padded copy of the path it was opened with
  int descriptor;           // -1 after a failed open
};

// Every path operation refuses a null path or one of 256 characters or more with -1.

// Opens path (read-only and a shared lock with OSA_FILE_READONLY, else
// read-write and an exclusive lock; OSA_FILE_CREATE creates or empties it),
// waiting for the lock; 0 or -1.
std::int32_t OSA_OpenFile(const char* path, std::uint32_t flags, OSA_File* file);
std::int32_t OSA_CreateFile(const char* path, std::uint32_t flags, OSA_File* file);
// Releases the lock and closes.
void OSA_CloseFile(OSA_File* file);
// One read of up to size bytes at offset; 0 with *got set, or -1 with *got unchanged.
std::int32_t OSA_ReadBytes(OSA_File* file, std::int32_t offset, void* buf, std::int32_t size, std::int32_t* got);
// One write at offset; *put is the write's result; 0 only when all len bytes went.
std::int32_t OSA_WriteBytes(OSA_File* file, std::int32_t offset, const void* data, std::int32_t len,
                            std::int32_t* put);
// The whole file in a new allocation that the caller frees with free(); 0 or -1.
std::int32_t OSA_ReadFile(const char* path, std::uint8_t** out, std::int32_t* size);
// Replaces the file with a new one holding data; 0 or -1.
std::int32_t OSA_WriteFile(const char* path, const void* data, std::int32_t len);
// 0, -1, or -17 when the copy buffer cannot be had.
std::int32_t OSA_CopyFile(const char* destination, const char* source);
std::int32_t OSA_DeleteFile(const char* path);
// 0 when the file opens for reading (after waiting out an exclusive holder), else -1.
std::int32_t OSA_FileExist(const char* path);
std::int32_t OSA_GetFileSize(const char* path, std::int32_t* size);
std::int32_t OSA_Mkdir(const char* path);
// Copies at most len characters, zero-padded, without expanding anything; always 0.
std::int32_t OSA_ExpandPath(const char* source, char* destination, std::int32_t len);

}  // extern "C"

namespace osa::testing {
// The descriptor reads and writes under the file operations; tests replace them
// to watch the chunks or to make a transfer fall short. nullptr restores the platform's.
using ReadFn = ssize_t (*)(int fd, void* buf, std::size_t n);
using WriteFn = ssize_t (*)(int fd, const void* buf, std::size_t n);
void SetFileIo(ReadFn read, WriteFn write);
}  // namespace osa::testing
