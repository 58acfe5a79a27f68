// The layer's own log file, written only while the configuration switches
// tracing on.
#pragma once
#include <cstdint>

extern "C" {

inline constexpr int kTraceFileNameSize = 128;
// Longest conversion directive, "%" to conversion character, of a message.
inline constexpr int kLogDirectiveSize = 28;

// Keeps ident (not a copy); both further arguments must be 0 (else -1). The
// first opening reads "Trace" and "TraceFile" and creates the log's mutex: 0 or
// the platform error number; a nested opening only counts and returns 0.
std::int32_t OSA_openlog(const char* ident, std::int32_t option, std::int32_t facility);
// Appends one time-stamped line when tracing is on. Every value after format
// takes one 32-bit slot: an int for c d i o u x X, a text pointer for s, a
// pointer for p. 0, the status of an implicit OSA_openlog, or the error number
// of taking the mutex.
std::int32_t OSA_syslog(std::int32_t priority, const char* format, ...);
// 0, -1 when not open, or the error number of destroying the mutex at the last close.
std::int32_t OSA_closelog(void);

}  // extern "C"

namespace osa::testing {
// The log file used when the configuration names none; nullptr restores "/tmp/tarn.log".
void SetDefaultTraceFile(const char* path);
int LogOpenCount();
bool LogTraceEnabled();
const char* LogTraceFileName();
const char* LogIdent();
}  // namespace osa::testing
