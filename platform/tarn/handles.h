// The service's tables: registered module identifiers, and the contexts and
// key objects each module made, all under one lock. Every caller of a member
// below (other than Instance and mutex) holds that lock.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/tarn/des.h"
#include "platform/tarn/digest.h"

namespace tarn {

// A context: its key objects, and at most one running digest and one
// initialised encryption. Destroying it destroys and wipes all of them.
struct Context {
  std::uint32_t owner = 0;
  std::map<std::uint32_t, std::unique_ptr<DesKey>> objects;
  std::unique_ptr<Digest> digest;
  std::unique_ptr<DesEncryption> encryption;
};

class Handles {
 public:
  static Handles& Instance();
  std::mutex& mutex() { return mutex_; }

  bool IsRegistered(std::uint32_t module) const { return modules_.count(module) != 0; }
  std::uint32_t RegisteredCount() const { return static_cast<std::uint32_t>(modules_.size()); }
  // 0, or kStatusCcsAlreadyRegistered: an identifier names one registrant.
  std::int32_t Register(std::uint32_t module);
  // Ends the registration and destroys every context the module left behind.
  // 0, or kStatusFacadeDown when the identifier is not registered.
  std::int32_t Goodbye(std::uint32_t module);

  // A new, empty context owned by module; its handle goes to *handle only on success.
  std::int32_t CreateContext(std::uint32_t module, std::uint32_t* handle);
  std::int32_t DestroyContext(std::uint32_t module, std::uint32_t handle);
  // The context `handle` of module, or null (another module's context is not found).
  Context* FindContext(std::uint32_t module, std::uint32_t handle);

  // Adds a key object to context; its handle goes to *handle only on success.
  std::int32_t AddObject(Context& context, std::unique_ptr<DesKey> key, std::uint32_t* handle);
  std::int32_t DestroyObject(Context& context, std::uint32_t handle);

  std::uint32_t LiveContexts() const { return static_cast<std::uint32_t>(contexts_.size()); }
  std::uint32_t LiveObjects() const;
  void SetNextHandle(std::uint32_t handle) { next_ = handle; }

 private:
  // A handle not in use, never 0 and never -1, so a caller's "no context" value
  // cannot collide with a real one.
  std::uint32_t NextHandle();
  void Release(std::uint32_t handle) { live_.erase(handle); }

  std::mutex mutex_;
  std::set<std::uint32_t> modules_;
  std::map<std::uint32_t, std::unique_ptr<Context>> contexts_;
  // Every context and object handle in use: one space for both, so an object
  // handle passed as a context (or the reverse) is refused.
  std::set<std::uint32_t> live_;
  std::uint32_t next_ = 1;
};

}  // namespace tarn
