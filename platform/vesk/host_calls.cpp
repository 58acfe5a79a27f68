// The switches for the five late-bound calls. Each call is one small library
// beside libvesk; loading it RTLD_GLOBAL puts its MAF_ name into the process's
// global scope, where a module's dlopen(NULL) + dlsym finds it, and closing it
// takes the name away again. The libraries are plain C so that nothing in them
// pins them in memory (C++ unique symbols would make dlclose a no-op).
#include <dlfcn.h>

#include <cstdlib>

#include "platform/vesk/state.h"

namespace vesk {
namespace {

constexpr HostCall kCalls[] = {kGetPassword, kSetPassword, kGetPELUPwdHash, kTrace, kTraceEnabled};

struct Switches {
  std::mutex mu;
  void* handles[5] = {};
  int modules = 0;
};

Switches& Sw() {
  static auto* s = new Switches;
  return *s;
}

int Slot(HostCall call) {
  for (int i = 0; i < 5; ++i) {
    if (kCalls[i] == call) return i;
  }
  return -1;
}

const char* FileName(HostCall call) {
  switch (call) {
    case kGetPassword: return "libvesk_late_get_password.so";
    case kSetPassword: return "libvesk_late_set_password.so";
    case kGetPELUPwdHash: return "libvesk_late_get_pelu_pwd_hash.so";
    case kTrace: return "libvesk_late_trace.so";
    case kTraceEnabled: return "libvesk_late_trace_enabled.so";
  }
  return "";
}

// The folder the late-bound libraries live in: VESK_LATE_DIR when set, else the
// folder libvesk itself was loaded from (the build puts them side by side).
std::string LateDir() {
  if (const char* env = std::getenv("VESK_LATE_DIR"); env != nullptr && *env != '\0') return env;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&HostCallLibraryPath), &info) != 0 && info.dli_fname != nullptr) {
    std::string self = info.dli_fname;
    const auto slash = self.rfind('/');
    if (slash != std::string::npos) return self.substr(0, slash);
  }
  return ".";
}

void Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

}  // namespace

const char* HostCallName(HostCall call) {
  switch (call) {
    case kGetPassword: return "MAF_GetPassword";
    case kSetPassword: return "MAF_SetPassword";
    case kGetPELUPwdHash: return "MAF_GetPELUPwdHash";
    case kTrace: return "MAF_Trace";
    case kTraceEnabled: return "MAF_TraceEnabled";
  }
  return "";
}

std::string HostCallLibraryPath(HostCall call) { return LateDir() + "/" + FileName(call); }

HostCallSet CurrentHostCalls() {
  std::lock_guard<std::mutex> lock(Sw().mu);
  HostCallSet set = 0;
  for (int i = 0; i < 5; ++i) {
    if (Sw().handles[i] != nullptr) set |= kCalls[i];
  }
  return set;
}

bool SetHostCalls(HostCallSet set, std::string* error) {
  Switches& sw = Sw();
  std::lock_guard<std::mutex> lock(sw.mu);
  HostCallSet current = 0;
  for (int i = 0; i < 5; ++i) {
    if (sw.handles[i] != nullptr) current |= kCalls[i];
  }
  if (set == current) return true;
  if (sw.modules != 0) {
    Fail(error, "a module is loaded: it has looked the late-bound calls up already; unload it first");
    return false;
  }
  for (HostCall call : kCalls) {
    const int i = Slot(call);
    const bool want = (set & call) != 0;
    if (want && sw.handles[i] == nullptr) {
      const std::string path = HostCallLibraryPath(call);
      sw.handles[i] = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
      if (sw.handles[i] == nullptr) {
        const char* why = dlerror();
        Fail(error, why ? why : ("cannot load " + path));
        return false;
      }
    } else if (!want && sw.handles[i] != nullptr) {
      dlclose(sw.handles[i]);
      sw.handles[i] = nullptr;
    }
  }
  // The global scope must now answer exactly as asked, or every test that
  // relies on a missing call would pass for the wrong reason.
  void* global = dlopen(nullptr, RTLD_NOW);
  for (HostCall call : kCalls) {
    const bool present = global != nullptr && dlsym(global, HostCallName(call)) != nullptr;
    if (present != ((set & call) != 0)) {
      Fail(error, std::string(HostCallName(call)) + (present ? " is still in the process" : " did not appear"));
      return false;
    }
  }
  return true;
}

void ModuleLoaded() {
  std::lock_guard<std::mutex> lock(Sw().mu);
  ++Sw().modules;
}

void ModuleUnloaded() {
  std::lock_guard<std::mutex> lock(Sw().mu);
  --Sw().modules;
}

}  // namespace vesk
