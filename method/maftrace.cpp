// Tracing to the framework. MAF_Trace and MAF_TraceEnabled are looked up late,
// once, because a framework may lack either.
#include "method/maftrace.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

// Set once the lookup has been made, whatever it found.
std::atomic<std::int32_t> traceInitialized{0};
std::atomic<MAF_Trace_t> mafTrace{nullptr};
std::atomic<MAF_TraceEnabled_t> mafTraceEnabled{nullptr};

// A formatted line: at most 511 characters and its terminating zero.
constexpr std::size_t kTraceLineSize = 512;

void EnsureResolved() {
  if (traceInitialized.load(std::memory_order_acquire) == 0) resolveMAFTrace();
}

}  // namespace

void resolveMAFTrace() {
  // The initialisation of a function static runs once, and a thread that
  // arrives while it runs waits for it, so no line is lost. traceInitialized is
  // raised only once both addresses are stored, so a thread that sees it set
  // also sees them. The handle of the global scope is never closed.
  static const bool resolved = [] {
    if (void* global = dlopen(nullptr, RTLD_NOW)) {
      mafTrace.store(reinterpret_cast<MAF_Trace_t>(dlsym(global, "MAF_Trace")), std::memory_order_relaxed);
      mafTraceEnabled.store(reinterpret_cast<MAF_TraceEnabled_t>(dlsym(global, "MAF_TraceEnabled")),
                            std::memory_order_relaxed);
    }
    traceInitialized.store(1, std::memory_order_release);
    return true;
  }();
  (void)resolved;
}

void Trace(mafHandle handle, const char* text) {
  EnsureResolved();
  // The framework decides what to do with fixed lines; MAF_TraceEnabled is not asked.
  if (MAF_Trace_t trace = mafTrace.load(std::memory_order_relaxed)) trace(handle, text);
}

void TracePrintf(mafHandle handle, const char* format, ...) {
  EnsureResolved();
  MAF_Trace_t trace = mafTrace.load(std::memory_order_relaxed);
  MAF_TraceEnabled_t enabled = mafTraceEnabled.load(std::memory_order_relaxed);
  if (trace == nullptr || enabled == nullptr || enabled(handle) == 0) return;

  char line[kTraceLineSize];
  va_list values;
  va_start(values, format);
  // vsnprintf cuts a longer line and always terminates it.
  const int written = std::vsnprintf(line, sizeof line, format, values);
  va_end(values);
  if (written < 0) return;
  trace(handle, line);
}
