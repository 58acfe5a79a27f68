#include "platform/tarn/handles.h"

#include "method/status.h"

namespace tarn {
namespace {

constexpr std::uint32_t kNoHandle = 0;
constexpr std::uint32_t kMinusOne = 0xFFFFFFFFu;

}  // namespace

Handles& Handles::Instance() {
  // Never destroyed: a module still loaded when the process exits says goodbye
  // from its unload destructor, after the static destructors have run.
  static Handles* const handles = new Handles;
  return *handles;
}

std::int32_t Handles::Register(std::uint32_t module) {
  if (!modules_.insert(module).second) return wistra::kStatusCcsAlreadyRegistered;
  return wistra::kStatusOk;
}

std::int32_t Handles::Goodbye(std::uint32_t module) {
  if (modules_.erase(module) == 0) return wistra::kStatusFacadeDown;
  for (auto it = contexts_.begin(); it != contexts_.end();) {
    if (it->second->owner != module) {
      ++it;
      continue;
    }
    for (const auto& object : it->second->objects) Release(object.first);
    Release(it->first);
    it = contexts_.erase(it);
  }
  return wistra::kStatusOk;
}

std::uint32_t Handles::NextHandle() {
  for (;;) {
    const std::uint32_t candidate = next_++;
    if (candidate != kNoHandle && candidate != kMinusOne && live_.count(candidate) == 0) return candidate;
  }
}

std::int32_t Handles::CreateContext(std::uint32_t module, std::uint32_t* handle) {
  auto context = std::make_unique<Context>();
  context->owner = module;
  const std::uint32_t h = NextHandle();
  const auto it = contexts_.emplace(h, std::move(context)).first;
  try {
    live_.insert(h);
  } catch (...) {
    contexts_.erase(it);
    throw;
  }
  *handle = h;
  return wistra::kStatusOk;
}

std::int32_t Handles::DestroyContext(std::uint32_t module, std::uint32_t handle) {
  Context* context = FindContext(module, handle);
  if (context == nullptr) return wistra::kStatusCcsBadHandle;
  for (const auto& object : context->objects) Release(object.first);
  Release(handle);
  contexts_.erase(handle);
  return wistra::kStatusOk;
}

Context* Handles::FindContext(std::uint32_t module, std::uint32_t handle) {
  const auto it = contexts_.find(handle);
  if (it == contexts_.end() || it->second->owner != module) return nullptr;
  return it->second.get();
}

std::int32_t Handles::AddObject(Context& context, std::unique_ptr<DesKey> key, std::uint32_t* handle) {
  const std::uint32_t h = NextHandle();
  const auto it = context.objects.emplace(h, std::move(key)).first;
  try {
    live_.insert(h);
  } catch (...) {
    context.objects.erase(it);
    throw;
  }
  *handle = h;
  return wistra::kStatusOk;
}

std::int32_t Handles::DestroyObject(Context& context, std::uint32_t handle) {
  if (context.objects.erase(handle) == 0) return wistra::kStatusCcsBadHandle;
  Release(handle);
  return wistra::kStatusOk;
}

std::uint32_t Handles::LiveObjects() const {
  std::size_t count = 0;
  for (const auto& context : contexts_) count += context.second->objects.size();
  return static_cast<std::uint32_t>(count);
}

}  // namespace tarn
