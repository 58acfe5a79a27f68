// Loading a module as the framework does: RTLD_NOW, so that a symbol the host
// does not provide fails the load itself rather than a later call.
#include <dlfcn.h>

#include "platform/vesk/state.h"

namespace vesk {

namespace {
// err_warn lines written on this thread go to `sink` while this lives.
class Capture {
 public:
  explicit Capture(std::vector<std::string>* sink) : previous_(WarningCapture()) { SetWarningCapture(sink); }
  ~Capture() { SetWarningCapture(previous_); }

 private:
  std::vector<std::string>* previous_;
};
}  // namespace

std::unique_ptr<Module> Module::Load(const std::string& path, std::string* error) {
  std::unique_ptr<Module> m(new Module);
  m->path_ = path;
  {
    Capture capture(&m->warnings_);
    m->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (m->handle_ == nullptr) {
    const char* why = dlerror();
    if (error) *error = why ? why : ("cannot load " + path);
    return nullptr;
  }
  ModuleLoaded();
  return m;
}

Module::~Module() {
  if (handle_ != nullptr) Unload();
}

Entry Module::Find(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<Entry>(dlsym(handle_, name));
}

Entry Module::FindVersioned(const char* name, const char* version) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<Entry>(dlvsym(handle_, name, version));
}

bool Module::Unload() {
  if (handle_ == nullptr) return true;
  {
    Capture capture(&warnings_);
    dlclose(handle_);
  }
  handle_ = nullptr;
  ModuleUnloaded();
  // Still there when something else holds it open, or it cannot be unloaded.
  void* again = dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (again == nullptr) return true;
  dlclose(again);
  return false;
}

}  // namespace vesk
