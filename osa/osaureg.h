// The configuration file: its line reader and writer, queries by key, the
// numbered resources, the two store directories and the user-directory command.
#pragma once
#include <cstdint>
#include <cstdio>

extern "C" {

// Resource identifiers of OSA_GetResource.
inline constexpr std::uint32_t OSA_RES_DAC = 4096;
inline constexpr std::uint32_t OSA_RES_SYNC_PERIOD = 4098;
inline constexpr std::uint32_t OSA_RES_SHARED_LIBRARY = 4099;
inline constexpr std::uint32_t OSA_RES_DAC2 = 4100;
inline constexpr std::uint32_t OSA_RES_MKUSERDIR = 4101;
inline constexpr std::uint32_t OSA_RES_TRACE = 4102;
inline constexpr std::uint32_t OSA_RES_TRACE_FILE = 4103;

// Reader limits: one line, its name and its value text. *name must have room
// for kCfgNameSize bytes.
inline constexpr int kCfgLineSize = 300;
inline constexpr int kCfgNameSize = 60;
inline constexpr int kCfgValueSize = 272;
// Longest name the writer accepts.
inline constexpr int kCfgMaxWrittenName = 32;

inline constexpr int kTarnPathSize = 256;

// The store's directories, filled by _GetTARNDirectories; always zero-terminated.
extern char TARN_SystemPath[kTarnPathSize];
extern char TARN_UserPath[kTarnPathSize];

// Decodes the next line of file into dst; returns the decoded size, or 0 for end
// of file, a malformed or over-long line, another type letter, or a value that
// does not fit dstLen.
std::int32_t OSA_unxCfgRead(FILE* file, char* name, char* type, void* dst, std::uint32_t dstLen);
// Decoded size of the first entry named key (dst is scratch during the scan), or 0.
std::int32_t OSA_unxCfgLookup(FILE* file, const char* key, char* type, void* dst, std::int32_t dstLen);
// Appends one entry; returns count (binary), the text's length (string), or 0.
std::int32_t OSA_unxCfgWrite(FILE* file, const char* name, char type, const void* value, std::uint32_t count);
// Looks key up in the file at path; the decoded size, or 0.
std::int32_t OSA_query_registry_value(const char* path, const char* key, void* unused, void* dst,
                                      std::int32_t dstLen);
// Reads key as a big-endian number of its decoded bytes into a native int at
// dst; 0, or -7 when the key is missing, does not fit, or *len is below 4.
std::int32_t getIntegerFromCFG(const char* key, void* dst, std::int32_t* len);
// 0, -7 (missing or unusable) or -18 (identifier not supported); *len is set as
// each identifier's kind says.
std::int32_t OSA_GetResource(std::uint32_t id, void* dst, std::int32_t* len);
// Reads the two directories once; 0, or -14 when "ConfigDirectory" is unusable.
std::int32_t _GetTARNDirectories(void);
// Runs the "MkUserDir" command unchanged; its wait status, 2 without the key, or
// the error number of opening the configuration file.
std::int32_t OSA_MkUserdir(const char* directory);

}  // extern "C"

namespace osa::internal {
// Called once the user directory has been extended with the user's number: from
// then on reading the directories must not overwrite it.
void FixUserPath();
}  // namespace osa::internal

namespace osa::testing {
// The configuration file every query reads; nullptr restores "/etc/tarn.cfg".
void SetConfigPath(const char* path);
const char* ConfigPath();
// Forgets the directories, as at load.
void ResetDirectories();
}  // namespace osa::testing
