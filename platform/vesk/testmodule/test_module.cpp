// A tiny module built only to test the host: it binds the MAF_ calls by name
// the way a login module does, looks the late-bound calls up once per load,
// and runs a small exchange.
//
//   client (VTM_Client): reads attribute 6, sends it; sends an empty message;
//     reads the 4-byte verdict through MAF_WriteRead's receiving half (sending
//     "done"); on verdict 1 sends "bye" with MAF_XWrite; MAF_End(0 or -1642).
//   server (VTM_Server): reads the password, the empty message, "done";
//     compares the password with the framework's password value (units taken
//     as bytes); sends the verdict; on 1 reads "bye" with MAF_XRead; MAF_End.
//   VTM_Probe: returns the bit set of late-bound calls this load found.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>

#include "method/maf.h"
#include "method/status.h"

namespace {

struct LateCalls {
  MAF_GetPassword_t get_password = nullptr;
  MAF_SetPassword_t set_password = nullptr;
  MAF_GetPELUPwdHash_t get_hash = nullptr;
  MAF_Trace_t trace = nullptr;
  MAF_TraceEnabled_t trace_enabled = nullptr;
};

// Looked up once per load, as the login modules do.
const LateCalls& Late() {
  static const LateCalls calls = [] {
    LateCalls c;
    if (void* global = dlopen(nullptr, RTLD_NOW)) {
      c.get_password = reinterpret_cast<MAF_GetPassword_t>(dlsym(global, "MAF_GetPassword"));
      c.set_password = reinterpret_cast<MAF_SetPassword_t>(dlsym(global, "MAF_SetPassword"));
      c.get_hash = reinterpret_cast<MAF_GetPELUPwdHash_t>(dlsym(global, "MAF_GetPELUPwdHash"));
      c.trace = reinterpret_cast<MAF_Trace_t>(dlsym(global, "MAF_Trace"));
      c.trace_enabled = reinterpret_cast<MAF_TraceEnabled_t>(dlsym(global, "MAF_TraceEnabled"));
    }
    return c;
  }();
  return calls;
}

void Trace(mafHandle h, const char* text) {
  if (Late().trace != nullptr) Late().trace(h, text);
}

void TraceIfEnabled(mafHandle h, const char* text) {
  if (Late().trace != nullptr && Late().trace_enabled != nullptr && Late().trace_enabled(h) != 0) Late().trace(h, text);
}

constexpr std::uint32_t kBuffer = 64;

__attribute__((constructor)) void Loaded() { err_warn("vesk test module: loaded %d", 1); }
__attribute__((destructor)) void Unloaded() { err_warn("vesk test module: unloaded"); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::int32_t VTM_Client(mafHandle h) {
  Trace(h, "VTM client: started");
  if (std::int32_t st = MAF_Begin(h)) return st;
  auto* password = static_cast<std::uint8_t*>(MAF_Malloc(kBuffer));
  std::int32_t result = password ? 0 : wistra::kStatusNoMemory;
  std::uint32_t length = kBuffer;
  if (result == 0) result = MAF_GetAttribute(h, 6, nullptr, &length, password);
  if (result == 0) result = MAF_Write(h, length, password);
  if (result == 0) result = MAF_Write(h, 0, nullptr);
  std::uint8_t verdict[4] = {};
  std::uint32_t verdict_length = sizeof verdict;
  if (result == 0) result = MAF_WriteRead(h, 4, "done", &verdict_length, verdict);
  const bool matched = result == 0 && verdict_length == 4 && verdict[0] == 1;
  if (matched) result = MAF_XWrite(h, 3, "bye");
  if (result == 0 && !matched) result = wistra::kStatusLoginFailed;
  if (password) {
    std::memset(password, 0, kBuffer);
    MAF_Free(password);
  }
  TraceIfEnabled(h, matched ? "VTM client: matched" : "VTM client: not matched");
  MAF_End(h, result, 0, 0);
  return result;
}

__attribute__((visibility("default"))) std::int32_t VTM_Server(mafHandle h) {
  Trace(h, "VTM server: started");
  auto* message = static_cast<std::uint8_t*>(MAF_Malloc(kBuffer));
  if (message == nullptr) return wistra::kStatusNoMemory;
  std::int32_t result = MAF_Begin(h);
  if (result != 0) {
    MAF_Free(message);
    return result;
  }
  std::uint32_t length = kBuffer;
  result = MAF_Read(h, &length, message);
  std::uint32_t empty = kBuffer;
  std::uint8_t scratch[kBuffer];
  if (result == 0) result = MAF_Read(h, &empty, scratch);
  std::uint32_t done = kBuffer;
  if (result == 0 && empty == 0) result = MAF_Read(h, &done, scratch);
  std::uint32_t verdict = 0;
  if (result == 0) {
    std::uint16_t value[kBuffer];
    std::uint32_t units = kBuffer;
    std::int32_t st = Late().get_password ? Late().get_password(h, &units, value, nullptr, 0, 0)
                                          : wistra::kStatusNotSupported;
    if (st == 0 && units == length + 1) {
      verdict = 1;
      for (std::uint32_t i = 0; i < length; ++i) {
        if (value[i] != message[i]) verdict = 0;
      }
    }
    std::uint8_t word[4] = {static_cast<std::uint8_t>(verdict), 0, 0, 0};
    result = MAF_Write(h, 4, word);
  }
  if (result == 0 && verdict == 1) {
    std::uint32_t bye = kBuffer;
    result = MAF_XRead(h, &bye, scratch);
  }
  MAF_Free(message);
  MAF_End(h, verdict == 1 ? 0 : wistra::kStatusLoginFailed, 0, 0);
  return result;
}

__attribute__((visibility("default"))) std::int32_t VTM_Probe(mafHandle) {
  const LateCalls& c = Late();
  return (c.get_password ? 1 : 0) | (c.set_password ? 2 : 0) | (c.get_hash ? 4 : 0) | (c.trace ? 8 : 0) |
         (c.trace_enabled ? 16 : 0);
}

}  // extern "C"
