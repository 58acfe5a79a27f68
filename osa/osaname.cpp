#include "osa/osaname.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "osa/osalog.h"
#include "osa/osaureg.h"

namespace {

// Entries 0 and 1 are the two directories themselves, set on first use.
const char* Names[kCfgEntryCount] = {
    nullptr,        nullptr,       "tarnfk",      "xmgrcfg.nif",  "xmgrcfg.ks2",
    "xarchive.000", "xarchive.001", "xmgrcfg.ks0", "xmgrcfg.ks1", "xmgrseed.inf",
    "xmgrcfg.inf",  "xmgrcfg.wks", "tarnsdi.key", "xmgrcfg.ks3",
};

char userName[kUserNameSize] = {};

bool IsUserEntry(std::uint32_t entry) { return entry == 4 || entry == 6 || entry == 12 || entry == 13; }

void WriteUserName() {
  std::snprintf(userName, sizeof userName, "%ld", static_cast<long>(::getuid()));
}

void EnsureSystemEntry() {
  if (Names[0] != nullptr) return;
  (void)_GetTARNDirectories();
  Names[0] = TARN_SystemPath;
}

// Extends the user root with "/", the user's number and "/", once; the user
// directory is then fixed for the module's life.
void EnsureUserEntry() {
  if (Names[1] != nullptr) return;
  WriteUserName();
  OSA_syslog(0, "_OSA_GetUserName:%s\n", userName);
  const std::size_t used = strnlen(TARN_UserPath, sizeof TARN_UserPath - 1);
  std::snprintf(TARN_UserPath + used, sizeof TARN_UserPath - used, "/%s/", userName);
  osa::internal::FixUserPath();
  Names[1] = TARN_UserPath;
}

// Directory text, bounded by its buffer even if a failed read left it full.
std::size_t DirLength(const char* dir) { return strnlen(dir, kTarnPathSize - 1); }

}  // namespace

extern "C" std::int32_t _OSA_GetCfgName(std::uint32_t entry, char** out) {
  if (entry >= kCfgEntryCount) return 0;
  const char* dir = nullptr;
  const char* separator = "";
  const char* file = "";
  if (entry == 1 || IsUserEntry(entry)) {
    EnsureUserEntry();
    dir = Names[1];
  } else {
    EnsureSystemEntry();
    dir = Names[0];
    if (entry != 0) separator = "/";
  }
  if (entry > 1) file = Names[entry];

  const std::size_t dirLen = DirLength(dir);
  const std::size_t sepLen = std::strlen(separator);
  const std::size_t fileLen = std::strlen(file);
  const std::size_t size = dirLen + sepLen + fileLen + 1;
  if (out != nullptr && *out != nullptr) {
    char* p = *out;
    std::memcpy(p, dir, dirLen);
    std::memcpy(p + dirLen, separator, sepLen);
    std::memcpy(p + dirLen + sepLen, file, fileLen + 1);
  }
  return static_cast<std::int32_t>(size);
}

extern "C" char* _OSA_GetUserName(void) {
  WriteUserName();
  OSA_syslog(0, "_OSA_GetUserName:%s\n", userName);
  return userName;
}

void osa::testing::ResetCfgNames() {
  Names[0] = nullptr;
  Names[1] = nullptr;
  std::memset(userName, 0, sizeof userName);
}
