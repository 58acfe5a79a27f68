// The test control: injected results and lengths, and call counts per
// operation and caller. It has its own lock and never takes the service's.
#include <cstring>
#include <map>
#include <mutex>

#include "method/status.h"
#include "platform/tarn/control_hooks.h"
#include "platform/tarn/handles.h"
#include "platform/tarn/ops.h"
#include "platform/tarn/tarn_control.h"

namespace tarn {
namespace {

constexpr const char* kOpNames[] = {
#define TARN_OP_NAME(name) #name,
    TARN_OWN_OPS(TARN_OP_NAME)
#undef TARN_OP_NAME
#define CCS_OP(family, name, words) #family "X_" #name,
#include "ccs/ccs_ops.def"
#undef CCS_OP
};
static_assert(std::size(kOpNames) == kOpCount);

struct Pending {
  std::uint32_t remaining = 0;
  std::int32_t value = 0;
};

struct OpState {
  Pending failure;
  Pending length;
  std::uint32_t calls = 0;
  std::map<std::uint32_t, std::uint32_t> callsBy;
  bool called = false;
  std::uint32_t lastCaller = 0;
};

struct ControlState {
  std::mutex mutex;
  OpState ops[kOpCount];
};

ControlState& State() {
  // Never destroyed: every export passes through it, also from module unload
  // destructors at process exit.
  static ControlState* const state = new ControlState;
  return *state;
}

OpState& StateOf(ControlState& state, Op op) { return state.ops[static_cast<std::size_t>(op)]; }

}  // namespace

const char* OpName(Op op) { return kOpNames[static_cast<std::size_t>(op)]; }

bool FindOp(std::string_view name, Op* op) {
  for (std::size_t i = 0; i < kOpCount; ++i) {
    if (name == kOpNames[i]) {
      *op = static_cast<Op>(i);
      return true;
    }
  }
  return false;
}

bool ReportsLength(Op op) {
  return op == Op::CCSX_Encrypt || op == Op::CCSX_Digest || op == Op::CCSX_DigestFinal ||
         op == Op::ATX_EncryptWithSecretKey;
}

namespace control {

bool Admit(Op op, std::uint32_t caller, std::int32_t* result) {
  ControlState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  OpState& s = StateOf(state, op);
  ++s.calls;
  ++s.callsBy[caller];
  s.called = true;
  s.lastCaller = caller;
  if (s.failure.remaining == 0) return false;
  --s.failure.remaining;
  *result = s.failure.value;
  return true;
}

void OverrideLength(Op op, std::uint32_t* length) {
  if (length == nullptr) return;
  ControlState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  Pending& pending = StateOf(state, op).length;
  if (pending.remaining == 0) return;
  --pending.remaining;
  *length = static_cast<std::uint32_t>(pending.value);
}

}  // namespace control
}  // namespace tarn

using tarn::Op;

namespace {

// The operation named, or false for a null or unknown name.
bool Named(const char* operation, Op* op) { return operation != nullptr && tarn::FindOp(operation, op); }

}  // namespace

extern "C" {

std::int32_t TarnControl_FailNext(const char* operation, std::int32_t result, std::uint32_t count) {
  Op op;
  if (!Named(operation, &op) || count == 0) return wistra::kStatusCcsBadRecord;
  tarn::ControlState& state = tarn::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  tarn::StateOf(state, op).failure = {count, result};
  return wistra::kStatusOk;
}

std::int32_t TarnControl_ReportLengthNext(const char* operation, std::uint32_t length, std::uint32_t count) {
  Op op;
  if (!Named(operation, &op) || !tarn::ReportsLength(op) || count == 0) return wistra::kStatusCcsBadRecord;
  tarn::ControlState& state = tarn::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  tarn::StateOf(state, op).length = {count, static_cast<std::int32_t>(length)};
  return wistra::kStatusOk;
}

std::uint32_t TarnControl_CallCount(const char* operation) {
  Op op;
  if (!Named(operation, &op)) return 0;
  tarn::ControlState& state = tarn::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return tarn::StateOf(state, op).calls;
}

std::uint32_t TarnControl_CallCountFor(const char* operation, std::uint32_t hModule) {
  Op op;
  if (!Named(operation, &op)) return 0;
  tarn::ControlState& state = tarn::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  const auto& by = tarn::StateOf(state, op).callsBy;
  const auto it = by.find(hModule);
  return it == by.end() ? 0 : it->second;
}

std::int32_t TarnControl_LastModule(const char* operation, std::uint32_t* hModule) {
  Op op;
  if (!Named(operation, &op) || hModule == nullptr) return wistra::kStatusCcsBadRecord;
  tarn::ControlState& state = tarn::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  const tarn::OpState& s = tarn::StateOf(state, op);
  if (!s.called) return wistra::kStatusCcsBadRecord;
  *hModule = s.lastCaller;
  return wistra::kStatusOk;
}

int TarnControl_IsRegistered(std::uint32_t hModule) {
  tarn::Handles& handles = tarn::Handles::Instance();
  std::lock_guard<std::mutex> lock(handles.mutex());
  return handles.IsRegistered(hModule) ? 1 : 0;
}

std::uint32_t TarnControl_RegisteredCount(void) {
  tarn::Handles& handles = tarn::Handles::Instance();
  std::lock_guard<std::mutex> lock(handles.mutex());
  return handles.RegisteredCount();
}

std::uint32_t TarnControl_LiveContexts(void) {
  tarn::Handles& handles = tarn::Handles::Instance();
  std::lock_guard<std::mutex> lock(handles.mutex());
  return handles.LiveContexts();
}

std::uint32_t TarnControl_LiveObjects(void) {
  tarn::Handles& handles = tarn::Handles::Instance();
  std::lock_guard<std::mutex> lock(handles.mutex());
  return handles.LiveObjects();
}

void TarnControl_SetNextHandle(std::uint32_t handle) {
  tarn::Handles& handles = tarn::Handles::Instance();
  std::lock_guard<std::mutex> lock(handles.mutex());
  handles.SetNextHandle(handle);
}

void TarnControl_Reset(void) {
  tarn::ControlState& state = tarn::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  for (tarn::OpState& s : state.ops) s = tarn::OpState{};
}

}  // extern "C"
