#include "osa/osalog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "osa/osactx.h"
#include "osa/osalock.h"
#include "osa/osaureg.h"

namespace {

constexpr const char* kDefaultTraceFile = "/tmp/tarn.log";
const char* defaultTraceFile = kDefaultTraceFile;

int OSA_SyslogInitialized = 0;
int OSA_TraceEnabled = 0;
const char* OSA_TraceIdent = nullptr;
char OSA_TraceFileName[kTraceFileNameSize] = "/tmp/tarn.log";
OSA_Mutex OSA_LogMutex;

void UseDefaultTraceFile() {
  std::memset(OSA_TraceFileName, 0, sizeof OSA_TraceFileName);
  std::strncpy(OSA_TraceFileName, defaultTraceFile, sizeof OSA_TraceFileName - 1);
}

// The standard 24-character textual form of a UTC time, always in English.
void WriteTimeStamp(FILE* f, std::uint32_t seconds) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  char stamp[64] = {};
  if (gmtime_r(&t, &tm) != nullptr && tm.tm_wday >= 0 && tm.tm_wday < 7 && tm.tm_mon >= 0 && tm.tm_mon < 12) {
    std::snprintf(stamp, sizeof stamp, "%s %s %2d %02d:%02d:%02d %d", kDays[tm.tm_wday], kMonths[tm.tm_mon],
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
  }
  std::fprintf(f, "%24.24s %s", stamp, OSA_TraceIdent != nullptr ? OSA_TraceIdent : ":");
}

bool IsConversion(char c) { return std::strchr("cdiouxXps", c) != nullptr; }

// Writes one conversion with its value slot. The platform's formatter is handed
// only what is safe for the one value we pass: flags, width and precision are
// kept, "h" and "hh" narrow the value as they would, every other character
// between "%" and the conversion (other length letters, "*", "$", "n", ...) is
// dropped, so the formatter can neither read a second value nor write anywhere.
void WriteConversion(FILE* f, const char* directive, std::size_t directiveLen, va_list* ap) {
  const char conversion = directive[directiveLen - 1];
  char safe[kLogDirectiveSize + 1] = {'%'};
  std::size_t out = 1;
  int shortness = 0;
  for (std::size_t i = 1; i + 1 < directiveLen; ++i) {
    const char c = directive[i];
    if (std::strchr("-+ #0123456789.", c) != nullptr) {
      safe[out++] = c;
    } else if (c == 'h') {
      ++shortness;
    }
  }
  safe[out++] = conversion;
  safe[out] = '\0';

  switch (conversion) {
    case 's': {
      const char* text = va_arg(*ap, const char*);
      std::fprintf(f, safe, text != nullptr ? text : "(null)");
      return;
    }
    case 'p':
      std::fprintf(f, safe, va_arg(*ap, void*));
      return;
    case 'c':
      std::fprintf(f, safe, va_arg(*ap, int));
      return;
    case 'd':
    case 'i': {
      int v = va_arg(*ap, std::int32_t);
      if (shortness == 1) v = static_cast<short>(v);
      if (shortness >= 2) v = static_cast<signed char>(v);
      std::fprintf(f, safe, v);
      return;
    }
    default: {
      unsigned v = va_arg(*ap, std::uint32_t);
      if (shortness == 1) v = static_cast<unsigned short>(v);
      if (shortness >= 2) v = static_cast<unsigned char>(v);
      std::fprintf(f, safe, v);
      return;
    }
  }
}

// The log's message formatter: plain runs are copied, each conversion takes one
// value slot. A lone "%" at the end and an unfinished directive end the
// message. A directive longer than its 28-byte buffer allows is not
// written, but its value slot is still taken so later values stay in place.
void FormatMessage(FILE* f, const char* format, va_list* ap) {
  const char* run = format;
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      ++p;
      continue;
    }
    std::fwrite(run, 1, static_cast<std::size_t>(p - run), f);
    if (p[1] == '\0') return;
    char directive[kLogDirectiveSize];
    std::size_t directiveLen = 0;
    bool overlong = false;
    directive[directiveLen++] = '%';
    const char* q = p + 1;
    for (;;) {
      if (*q == '\0') return;
      if (directiveLen < sizeof directive - 1) {
        directive[directiveLen++] = *q;
      } else {
        overlong = true;
      }
      if (*q == '%') {
        std::fputc('%', f);
        break;
      }
      if (IsConversion(*q)) {
        if (overlong) {
          // Take the slot of the right kind without writing anything.
          if (*q == 's' || *q == 'p') (void)va_arg(*ap, void*);
          else (void)va_arg(*ap, std::int32_t);
        } else {
          WriteConversion(f, directive, directiveLen, ap);
        }
        break;
      }
      ++q;
    }
    p = q + 1;
    run = p;
  }
  std::fwrite(run, 1, static_cast<std::size_t>(p - run), f);
}

}  // namespace

extern "C" std::int32_t OSA_openlog(const char* ident, std::int32_t option, std::int32_t facility) {
  if (option != 0 || facility != 0) return -1;
  OSA_TraceIdent = ident;
  OSA_TraceEnabled = 0;
  if (OSA_SyslogInitialized++ != 0) return 0;

  std::int32_t len = sizeof(std::int32_t);
  std::int32_t enabled = 0;
  OSA_TraceEnabled = OSA_GetResource(OSA_RES_TRACE, &enabled, &len) == 0 ? enabled : 0;

  len = sizeof OSA_TraceFileName;
  const std::int32_t status = OSA_GetResource(OSA_RES_TRACE_FILE, OSA_TraceFileName, &len);
  // A binary value carries no terminator; one that fills the buffer cannot be a
  // usable path.
  if (status == 0 && len < static_cast<std::int32_t>(sizeof OSA_TraceFileName)) {
    OSA_TraceFileName[len] = '\0';
  } else if (status != 0 || OSA_TraceFileName[sizeof OSA_TraceFileName - 1] != '\0') {
    UseDefaultTraceFile();
  }
  return OSA_mutex_init(&OSA_LogMutex);
}

extern "C" std::int32_t OSA_syslog(std::int32_t, const char* format, ...) {
  if (format == nullptr) return 0;
  if (OSA_SyslogInitialized == 0) {
    const std::int32_t status = OSA_openlog("OSA/TARN:", 0, 0);
    if (status != 0) return status;
  }
  if (OSA_TraceEnabled == 0) return 0;
  const std::int32_t locked = OSA_mutex_lock(&OSA_LogMutex);
  if (locked != 0) return locked;

  FILE* f = std::fopen(OSA_TraceFileName, "a");
  if (f == nullptr) return OSA_mutex_unlock(&OSA_LogMutex);
  WriteTimeStamp(f, OSA_GetTODULong(0));
  va_list ap;
  va_start(ap, format);
  FormatMessage(f, format, &ap);
  va_end(ap);
  std::fclose(f);
  return OSA_mutex_unlock(&OSA_LogMutex);
}

extern "C" std::int32_t OSA_closelog(void) {
  if (OSA_SyslogInitialized == 0) return -1;
  OSA_TraceEnabled = 0;
  OSA_TraceIdent = nullptr;
  if (--OSA_SyslogInitialized == 0) return OSA_mutex_destroy(&OSA_LogMutex);
  return 0;
}

void osa::testing::SetDefaultTraceFile(const char* path) {
  defaultTraceFile = path != nullptr ? path : kDefaultTraceFile;
  UseDefaultTraceFile();
}
int osa::testing::LogOpenCount() { return OSA_SyslogInitialized; }
bool osa::testing::LogTraceEnabled() { return OSA_TraceEnabled != 0; }
const char* osa::testing::LogTraceFileName() { return OSA_TraceFileName; }
const char* osa::testing::LogIdent() { return OSA_TraceIdent; }
