// Inside libvesk: what one attempt holds, the handle table that maps a
// mafHandle to it, and the thread's attempt for the calls that carry no handle
// (MAF_Malloc, err_warn).
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/vesk/vesk.h"

namespace vesk {

inline constexpr int kCallKinds = static_cast<int>(Call::kGetPELUPwdHash) + 1;
inline int Index(Side side) { return side == Side::kClient ? 0 : 1; }

// Where MAF_Malloc buffers are counted. Each buffer keeps its account alive, so
// a buffer freed after its attempt is gone is still counted correctly.
struct Account {
  std::mutex mu;
  std::uint64_t calls = 0;
  std::uint64_t outstanding = 0;
  std::uint64_t outstanding_bytes = 0;
  std::uint32_t fail_nth = 0;  // 0: none
  std::vector<Bytes> secrets;
  std::vector<std::vector<std::uint32_t>> freed_holding;  // per secret
};

struct AttributeEntry {
  std::uint32_t kind = 0;
  std::optional<std::u16string> name;  // nullopt: any name
  bool present = false;
  Bytes value;
  std::int32_t status = 0;  // when absent
};

struct Failure {
  std::optional<Side> side;  // nullopt: either side
  std::uint32_t nth = 0;
  std::int32_t status = 0;
};

struct Attempt::State {
  mutable std::mutex mu;
  std::condition_variable cv;  // a message queued or a side ended
  mafHandle handles[2] = {0, 0};

  // Channel: queue[i] holds the messages waiting for side i to read.
  std::deque<Message> queue[2];
  bool ended[2] = {false, false};
  std::vector<Message> transcript;

  // Calls, injected failures, outcomes.
  std::uint32_t calls[kCallKinds][2] = {};
  std::vector<Failure> failures[kCallKinds];
  std::vector<std::int32_t> ends[2];

  // The user's record.
  bool password_present = false;
  std::u16string password;
  std::uint32_t password_flags = 0;
  std::int32_t password_status = 0;
  bool galt_present = false;
  Bytes galt_hash;
  std::uint8_t galt_salt[4] = {};
  std::int32_t galt_status = 0;
  std::vector<AttributeEntry> attributes;
  std::vector<PutAttributeCall> put_calls;
  std::vector<SetPasswordCall> set_password_calls;

  // Trace and warnings.
  bool trace_enabled = true;
  std::vector<TraceLine> trace;
  std::vector<std::string> err_warn;

  std::shared_ptr<Account> account = std::make_shared<Account>();

  // Counts a call by `side` and returns the injected status for it, or 0.
  // Caller holds mu.
  std::int32_t CountCall(Call call, Side side);
  // Sets an attribute entry, replacing the one with the same kind and name.
  // Caller holds mu.
  void PutEntry(AttributeEntry entry);
  // The entry a module's (kind, name) finds: an exact name first, then an entry
  // that takes any name. Caller holds mu.
  const AttributeEntry* FindEntry(std::uint32_t kind, const std::optional<std::u16string>& name) const;
  void EndLocked(Side side);
};

// The handle table. Register gives a fresh 32-bit handle for one end.
mafHandle RegisterHandle(const std::shared_ptr<Attempt::State>& state, Side side);
void RetireHandle(mafHandle handle);
// The attempt and end a handle names, or null.
std::shared_ptr<Attempt::State> LookUp(mafHandle handle, Side* side);

// The attempt this thread works for (set by Attempt::ThreadScope), or null.
Attempt::State* CurrentAttempt();
void SetCurrentAttempt(Attempt::State* state);
// A sink for err_warn lines on this thread while a module loads or unloads.
void SetWarningCapture(std::vector<std::string>* sink);
std::vector<std::string>* WarningCapture();
// The account of MAF_Malloc calls made outside every attempt.
const std::shared_ptr<Account>& GlobalAccount();

// Reads a zero-terminated UTF-16LE name of at most kMaxNameUnits units; false
// when it has no terminator within that bound.
inline constexpr std::size_t kMaxNameUnits = 256;
bool ReadName(const std::uint16_t* name, std::optional<std::u16string>* out);

// Loaded vesk::Module objects; the late-bound set may change only at zero.
void ModuleLoaded();
void ModuleUnloaded();

}  // namespace vesk
