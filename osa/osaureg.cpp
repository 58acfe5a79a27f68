#include "osa/osaureg.h"

#include <errno.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

char TARN_SystemPath[kTarnPathSize] = {};
char TARN_UserPath[kTarnPathSize] = {};

namespace {

constexpr const char* kDefaultConfigPath = "/etc/tarn.cfg";
const char* configPath = kDefaultConfigPath;

int alreadyDoneFlag = 0;
// Set once the user directory carries the user's number; see FixUserPath.
bool userPathFixed = false;

constexpr std::int32_t kNotFound = -7;
constexpr std::int32_t kNotSupported = -18;
constexpr std::int32_t kNoDirectory = -14;

// One line split into its four fields, bounded by the reader's buffers. The
// fields are matched from the left like the line pattern
// "%[^:]:%c:%ld:%[^\n]"; `fields` counts how many matched, and a name or value
// longer than its buffer fails the line instead of overrunning it.
struct CfgLine {
  char name[kCfgNameSize];
  char type;
  long length;
  char value[kCfgValueSize];
  int fields;
  bool tooLong;
};

void SplitLine(const char* line, CfgLine* out) {
  out->fields = 0;
  out->tooLong = false;
  const char* p = line;

  std::size_t n = std::strcspn(p, ":");
  if (n == 0) return;
  if (n >= sizeof out->name) {
    out->tooLong = true;
    return;
  }
  std::memcpy(out->name, p, n);
  out->name[n] = '\0';
  out->fields = 1;
  p += n;

  if (*p != ':') return;
  ++p;
  if (*p == '\0') return;
  out->type = *p++;
  out->fields = 2;

  if (*p != ':') return;
  ++p;
  // %ld skips white space and takes an optional sign; it needs one digit.
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* digits = p;
  if (*digits == '+' || *digits == '-') ++digits;
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return;
  char* end = nullptr;
  errno = 0;
  out->length = std::strtol(p, &end, 10);
  p = end;
  out->fields = 3;

  if (*p != ':') return;
  ++p;
  n = std::strcspn(p, "\n");
  if (n == 0) return;
  if (n >= sizeof out->value) {
    out->tooLong = true;
    return;
  }
  std::memcpy(out->value, p, n);
  out->value[n] = '\0';
  out->fields = 4;
}

// One step of the binary decoder, the pattern "%x:%s" on the remaining text:
// 0 nothing matched, 1 only the number, 2 the number and a following word
// (which becomes the remaining text, ending at the first white space).
int NextHexByte(const char* text, unsigned* number, const char** rest, std::size_t* restLen) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* q = p;
  if (*q == '+' || *q == '-') ++q;
  if (q[0] == '0' && (q[1] == 'x' || q[1] == 'X') && std::isxdigit(static_cast<unsigned char>(q[2]))) q += 2;
  if (!std::isxdigit(static_cast<unsigned char>(*q))) return 0;
  char* end = nullptr;
  *number = static_cast<unsigned>(std::strtoul(p, &end, 16));
  p = end;
  if (*p != ':') return 1;
  ++p;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (*p == '\0') return 1;
  std::size_t n = 0;
  while (p[n] != '\0' && !std::isspace(static_cast<unsigned char>(p[n]))) ++n;
  *rest = p;
  *restLen = n;
  return 2;
}

std::int32_t DecodeBinary(const CfgLine& line, std::uint8_t* dst, std::uint32_t dstLen) {
  if (static_cast<unsigned long>(line.length) > dstLen) return 0;
  if (line.length == 0) return 0;
  const auto count = static_cast<std::uint32_t>(line.length);
  // The remaining text is a prefix of the value, so it always fits this copy.
  char text[kCfgValueSize];
  std::memcpy(text, line.value, sizeof text);
  for (std::uint32_t i = 0; i < count; ++i) {
    unsigned number = 0;
    const char* rest = nullptr;
    std::size_t restLen = 0;
    const int matched = NextHexByte(text, &number, &rest, &restLen);
    if (matched == 0) return 0;
    dst[i] = static_cast<std::uint8_t>(number & 0xFFu);
    if (matched == 1) return i + 1 == count ? static_cast<std::int32_t>(count) : 0;
    std::memmove(text, rest, restLen);
    text[restLen] = '\0';
  }
  return static_cast<std::int32_t>(count);
}

// The lookup's value written into a text buffer of `size` bytes: a binary value
// carries no terminator, so one is put after it; a value that fills the buffer
// must already end in one, or the buffer is emptied rather than left unterminated.
void TerminateValue(char* buffer, std::size_t size, std::int32_t decoded) {
  if (decoded > 0 && static_cast<std::size_t>(decoded) < size) buffer[decoded] = '\0';
  if (buffer[size - 1] != '\0') buffer[0] = '\0';
  buffer[size - 1] = '\0';
}

std::int32_t LookupDirectory(const char* key, char* buffer) {
  FILE* f = std::fopen(configPath, "r");
  if (f == nullptr) return 0;
  char type = 0;
  const std::int32_t n = OSA_unxCfgLookup(f, key, &type, buffer, kTarnPathSize);
  std::fclose(f);
  TerminateValue(buffer, kTarnPathSize, n);
  return n;
}

}  // namespace

extern "C" std::int32_t OSA_unxCfgRead(FILE* file, char* name, char* type, void* dst, std::uint32_t dstLen) {
  if (file == nullptr || name == nullptr || type == nullptr) return 0;
  char buffer[kCfgLineSize];
  if (std::fgets(buffer, sizeof buffer, file) == nullptr) return 0;

  CfgLine line;
  SplitLine(buffer, &line);
  if (line.fields >= 1) std::memcpy(name, line.name, std::strlen(line.name) + 1);
  if (line.fields >= 2) *type = line.type;
  if (line.fields < 4 || dst == nullptr) return 0;

  switch (line.type) {
    case 'b':
      return DecodeBinary(line, static_cast<std::uint8_t*>(dst), dstLen);
    case 's': {
      const std::size_t size = std::strlen(line.value) + 1;
      if (size > dstLen) return 0;
      std::memcpy(dst, line.value, size);
      return static_cast<std::int32_t>(size);
    }
    default:
      return 0;
  }
}

extern "C" std::int32_t OSA_unxCfgLookup(FILE* file, const char* key, char* type, void* dst, std::int32_t dstLen) {
  if (file == nullptr || key == nullptr || type == nullptr || dstLen < 0) return 0;
  std::rewind(file);
  std::clearerr(file);
  char name[kCfgNameSize] = {};
  while (!std::feof(file)) {
    const std::int32_t n = OSA_unxCfgRead(file, name, type, dst, static_cast<std::uint32_t>(dstLen));
    if (std::strcmp(name, key) == 0) return n;
    if (std::ferror(file)) break;
  }
  return 0;
}

extern "C" std::int32_t OSA_unxCfgWrite(FILE* file, const char* name, char type, const void* value,
                                        std::uint32_t count) {
  if (file == nullptr || name == nullptr || value == nullptr) return 0;
  const std::size_t nameLen = std::strlen(name);
  if (nameLen > static_cast<std::size_t>(kCfgMaxWrittenName)) return 0;

  if (type == 'b') {
    if (nameLen + 3ull * count + 8 > static_cast<unsigned long long>(kCfgLineSize)) return 0;
    if (std::fprintf(file, "%s:%c:%ld", name, type, static_cast<long>(count)) < 0) return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(value);
    for (std::uint32_t i = 0; i < count; ++i) std::fprintf(file, ":%2.2x", static_cast<unsigned>(bytes[i]));
    std::fprintf(file, "\n");
    return static_cast<std::int32_t>(count);
  }
  if (type == 's') {
    const char* text = static_cast<const char*>(value);
    const std::size_t textLen = std::strlen(text);
    if (nameLen + textLen + 8 > static_cast<std::size_t>(kCfgLineSize)) return 0;
    if (std::fprintf(file, "%s:%c:%ld:%s\n", name, type, static_cast<long>(count), text) <= 0) return 0;
    return static_cast<std::int32_t>(textLen);
  }
  return 0;
}

extern "C" std::int32_t OSA_query_registry_value(const char* path, const char* key, void*, void* dst,
                                                 std::int32_t dstLen) {
  if (path == nullptr) return 0;
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return 0;
  char type = 0;
  const std::int32_t n = OSA_unxCfgLookup(f, key, &type, dst, dstLen);
  std::fclose(f);
  return n;
}

extern "C" std::int32_t getIntegerFromCFG(const char* key, void* dst, std::int32_t* len) {
  if (dst == nullptr || len == nullptr || *len < 0) return kNotFound;
  std::memset(dst, 0, static_cast<std::size_t>(*len));
  // The folded number is stored as a native int at dst, which must hold one.
  if (*len < static_cast<std::int32_t>(sizeof(std::uint32_t))) return kNotFound;
  const std::int32_t n = OSA_query_registry_value(configPath, key, nullptr, dst, *len);
  if (n == 0) return kNotFound;
  const auto* bytes = static_cast<const std::uint8_t*>(dst);
  std::uint32_t value = 0;
  for (std::int32_t i = 0; i < n; ++i) value = value * 256u + bytes[i];
  std::memcpy(dst, &value, sizeof value);
  return 0;
}

extern "C" std::int32_t OSA_GetResource(std::uint32_t id, void* dst, std::int32_t* len) {
  const char* rawKey = nullptr;
  const char* integerKey = nullptr;
  switch (id) {
    case OSA_RES_DAC: rawKey = "DAC"; break;
    case OSA_RES_SHARED_LIBRARY: rawKey = "SharedLibrary"; break;
    case OSA_RES_DAC2: rawKey = "DAC2"; break;
    case OSA_RES_MKUSERDIR: rawKey = "MkUserDir"; break;
    case OSA_RES_TRACE_FILE: rawKey = "TraceFile"; break;
    case OSA_RES_SYNC_PERIOD: integerKey = "TARNSDI Sync Period"; break;
    case OSA_RES_TRACE: integerKey = "Trace"; break;
    default:
      if (len != nullptr) *len = 0;
      return kNotSupported;
  }
  if (len == nullptr) return kNotFound;
  if (rawKey != nullptr) {
    const std::int32_t n = OSA_query_registry_value(configPath, rawKey, nullptr, dst, *len);
    *len = n;
    return n != 0 ? 0 : kNotFound;
  }
  const std::int32_t status = getIntegerFromCFG(integerKey, dst, len);
  *len = 0;
  return status;
}

extern "C" std::int32_t _GetTARNDirectories(void) {
  if (alreadyDoneFlag) return 0;
  const std::int32_t n = LookupDirectory("ConfigDirectory", TARN_SystemPath);
  if (n < 1 || n > 200) return kNoDirectory;
  // Once the user directory carries the user's number it stays as it is; reading
  // the root again would drop the number and merge every user's files.
  if (!userPathFixed) {
    const std::int32_t m = LookupDirectory("UserDirectoryRoot", TARN_UserPath);
    if (m < 2 || m > 200) std::memcpy(TARN_UserPath, TARN_SystemPath, sizeof TARN_UserPath);
  }
  alreadyDoneFlag = 1;
  return 0;
}

extern "C" std::int32_t OSA_MkUserdir(const char*) {
  FILE* f = std::fopen(configPath, "r");
  if (f == nullptr) return errno;
  char command[kCfgLineSize] = {};
  char type = 0;
  const std::int32_t n = OSA_unxCfgLookup(f, "MkUserDir", &type, command, sizeof command);
  std::fclose(f);
  if (n == 0) return 2;
  TerminateValue(command, sizeof command, n);
  if (command[0] == '\0') return 2;
  return std::system(command);
}

void osa::internal::FixUserPath() { userPathFixed = true; }

void osa::testing::SetConfigPath(const char* path) { configPath = path != nullptr ? path : kDefaultConfigPath; }
const char* osa::testing::ConfigPath() { return configPath; }

void osa::testing::ResetDirectories() {
  alreadyDoneFlag = 0;
  userPathFixed = false;
  std::memset(TARN_SystemPath, 0, sizeof TARN_SystemPath);
  std::memset(TARN_UserPath, 0, sizeof TARN_UserPath);
}
