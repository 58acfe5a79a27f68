// RAII over the facade's pairings, so that a context or key made by a hash
// routine is destroyed on every path out of it.
#pragma once
#include <cstdint>

#include "ccs/ccs.h"

namespace ccs {

// A crypto context; destroyed when the holder goes out of scope.
class ScopedContext {
 public:
  ScopedContext() = default;
  ScopedContext(const ScopedContext&) = delete;
  ScopedContext& operator=(const ScopedContext&) = delete;
  ~ScopedContext() { Reset(); }

  // CCS_CreateContext(0, ...); on failure nothing is held and the status is returned.
  std::int32_t Create() {
    Reset();
    std::uint32_t handle = 0;
    const std::int32_t rc = CCS_CreateContext(0, &handle);
    if (rc == 0) {
      handle_ = handle;
      held_ = true;
    }
    return rc;
  }
  // Destroys the context now (if one is held) and returns the status of that call, or 0.
  std::int32_t Reset() {
    if (!held_) return 0;
    held_ = false;
    return CCS_DestroyContext(handle_);
  }
  bool held() const { return held_; }
  std::uint32_t get() const { return handle_; }

 private:
  std::uint32_t handle_ = 0;
  bool held_ = false;
};

// A key object inside a context; destroyed when the holder goes out of scope
// (before the context, when declared after it).
class ScopedKey {
 public:
  explicit ScopedKey(const ScopedContext& context) : context_(context) {}
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ~ScopedKey() { Reset(); }

  std::int32_t Inject(const KeyAttribute* keyTemplate, std::uint32_t count) {
    Reset();
    std::uint32_t handle = 0;
    const std::int32_t rc = CCS_InjectKey(context_.get(), keyTemplate, count, &handle);
    if (rc == 0) {
      handle_ = handle;
      held_ = true;
    }
    return rc;
  }
  std::int32_t Reset() {
    if (!held_) return 0;
    held_ = false;
    return CCS_DestroyObject(context_.get(), handle_);
  }
  bool held() const { return held_; }
  std::uint32_t get() const { return handle_; }

 private:
  const ScopedContext& context_;
  std::uint32_t handle_ = 0;
  bool held_ = false;
};

// An AlgorithmSpec with no parameters.
inline AlgorithmSpec PlainAlgorithm(const std::uint8_t* identifier) { return AlgorithmSpec{identifier, nullptr, 0}; }

// An AlgorithmSpec with one parameter entry; block must outlive every use of the result.
inline AlgorithmSpec AlgorithmWithParameter(const std::uint8_t* identifier, ParamBlock* block, std::uint32_t type,
                                            const void* value, std::uint32_t length) {
  block->count = 1;
  block->entries[0] = ParamEntry{type, length, value};
  return AlgorithmSpec{identifier, block, static_cast<std::uint32_t>(sizeof(ParamBlock))};
}

}  // namespace ccs
