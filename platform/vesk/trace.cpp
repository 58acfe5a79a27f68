// The attempt's trace sink and the host's warnings. A trace line belongs to the
// attempt its handle names; err_warn carries no handle, so its line belongs to
// the attempt whose thread writes it, else to the module being loaded or
// unloaded on this thread, else to the process.
#include <cstdarg>
#include <cstdio>

#include "platform/vesk/late.h"
#include "platform/vesk/state.h"

namespace vesk {
namespace {

struct GlobalWarnings {
  std::mutex mu;
  std::vector<std::string> lines;
};

GlobalWarnings& Warnings() {
  static auto* w = new GlobalWarnings;  // never destroyed: a module may warn during exit
  return *w;
}

}  // namespace

std::vector<std::string> GlobalErrWarnLines() {
  std::lock_guard<std::mutex> lock(Warnings().mu);
  return Warnings().lines;
}

void ClearGlobalErrWarnLines() {
  std::lock_guard<std::mutex> lock(Warnings().mu);
  Warnings().lines.clear();
}

}  // namespace vesk

extern "C" {

__attribute__((visibility("default"))) void vesk_host_Trace(std::uint32_t handle, const char* text) {
  vesk::Side side;
  auto s = vesk::LookUp(handle, &side);
  if (!s || text == nullptr) return;
  std::lock_guard<std::mutex> lock(s->mu);
  s->trace.push_back(vesk::TraceLine{side, text});
}

__attribute__((visibility("default"))) std::int32_t vesk_host_TraceEnabled(std::uint32_t handle) {
  auto s = vesk::LookUp(handle, nullptr);
  if (!s) return 0;
  std::lock_guard<std::mutex> lock(s->mu);
  return s->trace_enabled ? 1 : 0;
}

__attribute__((visibility("default"))) void err_warn(const char* format, ...) {
  if (format == nullptr) return;
  std::va_list args;
  va_start(args, format);
  std::va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string line;
  if (n > 0) {
    line.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(line.data(), line.size(), format, args);
    line.resize(static_cast<std::size_t>(n));
  }
  va_end(args);

  if (vesk::Attempt::State* s = vesk::CurrentAttempt()) {
    std::lock_guard<std::mutex> lock(s->mu);
    s->err_warn.push_back(std::move(line));
  } else if (std::vector<std::string>* sink = vesk::WarningCapture()) {
    sink->push_back(std::move(line));
  } else {
    std::lock_guard<std::mutex> lock(vesk::Warnings().mu);
    vesk::Warnings().lines.push_back(std::move(line));
  }
}

}  // extern "C"
