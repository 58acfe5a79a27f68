// The attempt: its handles in the host's table, its record as the test sets it,
// and what the test reads back afterwards.
#include <cstring>
#include <unordered_map>

#include "method/status.h"
#include "platform/vesk/state.h"

namespace vesk {

// ---- Handle table ------------------------------------------------------------------

namespace {

struct HandleTable {
  std::mutex mu;
  // Starts away from 0 and small numbers, so a module that passes a stray
  // small integer as a handle is refused instead of finding an attempt.
  std::uint32_t next = 0x5A170001u;
  struct Slot {
    std::weak_ptr<Attempt::State> state;
    Side side;
  };
  std::unordered_map<std::uint32_t, Slot> slots;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // never destroyed: modules may call during exit
  return *table;
}

thread_local Attempt::State* tls_attempt = nullptr;
thread_local std::vector<std::string>* tls_capture = nullptr;

}  // namespace

mafHandle RegisterHandle(const std::shared_ptr<Attempt::State>& state, Side side) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  std::uint32_t h;
  do {
    h = t.next++;
  } while (h == 0 || h == 0xFFFFFFFFu || t.slots.count(h) != 0);
  t.slots[h] = HandleTable::Slot{state, side};
  return h;
}

void RetireHandle(mafHandle handle) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  t.slots.erase(handle);
}

std::shared_ptr<Attempt::State> LookUp(mafHandle handle, Side* side) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  auto it = t.slots.find(handle);
  if (it == t.slots.end()) return nullptr;
  if (side) *side = it->second.side;
  return it->second.state.lock();
}

Attempt::State* CurrentAttempt() { return tls_attempt; }
void SetCurrentAttempt(Attempt::State* state) { tls_attempt = state; }
void SetWarningCapture(std::vector<std::string>* sink) { tls_capture = sink; }
std::vector<std::string>* WarningCapture() { return tls_capture; }

const std::shared_ptr<Account>& GlobalAccount() {
  static auto* account = new std::shared_ptr<Account>(std::make_shared<Account>());
  return *account;
}

bool ReadName(const std::uint16_t* name, std::optional<std::u16string>* out) {
  if (name == nullptr) {
    out->reset();
    return true;
  }
  std::u16string s;
  // Unit by unit through memcpy: the module's pointer need not be aligned.
  const auto* p = reinterpret_cast<const unsigned char*>(name);
  for (std::size_t i = 0; i < kMaxNameUnits; ++i) {
    std::uint16_t u;
    std::memcpy(&u, p + 2 * i, 2);
    if (u == 0) {
      *out = std::move(s);
      return true;
    }
    s.push_back(static_cast<char16_t>(u));
  }
  return false;
}

// ---- State ---------------------------------------------------------------------------

std::int32_t Attempt::State::CountCall(Call call, Side side) {
  const int c = static_cast<int>(call);
  const std::uint32_t mine = ++calls[c][Index(side)];
  const std::uint32_t both = calls[c][0] + calls[c][1];
  for (const Failure& f : failures[c]) {
    if (f.side ? (*f.side == side && f.nth == mine) : f.nth == both) return f.status;
  }
  return 0;
}

void Attempt::State::PutEntry(AttributeEntry entry) {
  for (AttributeEntry& e : attributes) {
    if (e.kind == entry.kind && e.name == entry.name) {
      e = std::move(entry);
      return;
    }
  }
  attributes.push_back(std::move(entry));
}

const AttributeEntry* Attempt::State::FindEntry(std::uint32_t kind, const std::optional<std::u16string>& name) const {
  const AttributeEntry* any = nullptr;
  for (const AttributeEntry& e : attributes) {
    if (e.kind != kind) continue;
    if (!e.name) {
      any = &e;
    } else if (name && *e.name == *name) {
      return &e;
    }
  }
  return any;
}

void Attempt::State::EndLocked(Side side) {
  ended[Index(side)] = true;
  cv.notify_all();
}

// ---- Attempt ---------------------------------------------------------------------------

Attempt::Attempt() : state_(std::make_shared<State>()) {
  state_->password_status = wistra::kStatusNoSuchValue;
  state_->galt_status = wistra::kStatusNoHash;
  state_->handles[0] = RegisterHandle(state_, Side::kClient);
  state_->handles[1] = RegisterHandle(state_, Side::kServer);
}

Attempt::~Attempt() {
  if (!state_) return;
  Abort();
  RetireHandle(state_->handles[0]);
  RetireHandle(state_->handles[1]);
}

Attempt::Attempt(Attempt&& other) noexcept = default;
Attempt& Attempt::operator=(Attempt&& other) noexcept {
  if (this != &other) {
    if (state_) {
      Abort();
      RetireHandle(state_->handles[0]);
      RetireHandle(state_->handles[1]);
    }
    state_ = std::move(other.state_);
  }
  return *this;
}

mafHandle Attempt::Handle(Side side) const { return state_->handles[Index(side)]; }

Side Other(Side side) { return side == Side::kClient ? Side::kServer : Side::kClient; }

namespace {
bool Ucs2FromUtf8(std::string_view in, std::u16string* out) {
  std::u16string s;
  std::size_t i = 0;
  while (i < in.size()) {
    const auto b0 = static_cast<unsigned char>(in[i]);
    std::uint32_t cp;
    std::size_t n;
    if (b0 < 0x80) {
      cp = b0, n = 1;
    } else if ((b0 & 0xE0) == 0xC0) {
      cp = b0 & 0x1F, n = 2;
    } else if ((b0 & 0xF0) == 0xE0) {
      cp = b0 & 0x0F, n = 3;
    } else {
      return false;  // four-byte forms lie beyond UCS-2
    }
    if (in.size() - i < n) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto b = static_cast<unsigned char>(in[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    const std::uint32_t min = n == 1 ? 0 : n == 2 ? 0x80 : 0x800;
    if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    s.push_back(static_cast<char16_t>(cp));
    i += n;
  }
  *out = std::move(s);
  return true;
}
}  // namespace

std::u16string Utf16(std::string_view utf8) {
  std::u16string s;
  Ucs2FromUtf8(utf8, &s);
  return s;
}

bool Attempt::SetPasswordValue(std::string_view utf8, std::uint32_t flags) {
  std::u16string units;
  if (!Ucs2FromUtf8(utf8, &units)) return false;
  SetPasswordValueUnits(std::move(units), flags);
  return true;
}

void Attempt::SetPasswordValueUnits(std::u16string units, std::uint32_t flags) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->password_present = true;
  state_->password = std::move(units);
  state_->password_flags = flags;
}

void Attempt::SetPasswordValueAbsent(std::int32_t status) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->password_present = false;
  state_->password.clear();
  state_->password_flags = 0;
  state_->password_status = status;
}

void Attempt::SetAttribute(std::uint32_t kind, std::optional<std::u16string> name,
                           std::span<const std::uint8_t> value) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->PutEntry(AttributeEntry{kind, std::move(name), true, Bytes(value.begin(), value.end()), 0});
}

void Attempt::SetAttributeAbsent(std::uint32_t kind, std::optional<std::u16string> name, std::int32_t status) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->PutEntry(AttributeEntry{kind, std::move(name), false, {}, status});
}

void Attempt::SetPasswordHash(std::span<const std::uint8_t> value) {
  SetAttribute(kKindPasswordHash, std::u16string(kNamePasswordHash), value);
}
void Attempt::SetPasswordHashAbsent(std::int32_t status) {
  SetAttributeAbsent(kKindPasswordHash, std::u16string(kNamePasswordHash), status);
}
void Attempt::SetPasswordFlags(std::uint32_t kind, std::uint32_t word) {
  SetAttribute(kind, std::u16string(kNamePasswordFlags), Le32(word));
}
void Attempt::SetPasswordFlagsAbsent(std::uint32_t kind, std::int32_t status) {
  SetAttributeAbsent(kind, std::u16string(kNamePasswordFlags), status);
}
void Attempt::SetTypedPassword(std::span<const std::uint8_t> bytes) { SetAttribute(kKindTypedPassword, std::nullopt, bytes); }
void Attempt::SetTypedPasswordAbsent(std::int32_t status) {
  SetAttributeAbsent(kKindTypedPassword, std::nullopt, status);
}
void Attempt::SetTypedType(std::uint32_t type, std::uint32_t second_word) {
  SetAttribute(kKindTypedType, std::nullopt, Le32s({type, second_word}));
}
void Attempt::SetTypedTypeRaw(std::span<const std::uint8_t> bytes) { SetAttribute(kKindTypedType, std::nullopt, bytes); }
void Attempt::SetTypedTypeAbsent(std::int32_t status) { SetAttributeAbsent(kKindTypedType, std::nullopt, status); }

void Attempt::SetGaltHash(std::span<const std::uint8_t> hash, std::span<const std::uint8_t, 4> salt) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->galt_present = true;
  state_->galt_hash.assign(hash.begin(), hash.end());
  std::memcpy(state_->galt_salt, salt.data(), 4);
}

void Attempt::SetGaltHashAbsent(std::int32_t status) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->galt_present = false;
  state_->galt_hash.clear();
  state_->galt_status = status;
}

std::optional<std::u16string> Attempt::PasswordValue() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  if (!state_->password_present) return std::nullopt;
  return state_->password;
}

std::uint32_t Attempt::PasswordValueFlags() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->password_flags;
}

std::optional<Bytes> Attempt::Attribute(std::uint32_t kind, std::optional<std::u16string> name) const {
  std::lock_guard<std::mutex> lock(state_->mu);
  const AttributeEntry* e = state_->FindEntry(kind, name);
  if (!e || !e->present) return std::nullopt;
  return e->value;
}

std::vector<PutAttributeCall> Attempt::PutAttributeCalls() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->put_calls;
}

std::vector<SetPasswordCall> Attempt::SetPasswordCalls() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->set_password_calls;
}

void Attempt::FailCall(Call call, std::uint32_t nth, std::int32_t status) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->failures[static_cast<int>(call)].push_back(Failure{std::nullopt, nth, status});
}

void Attempt::FailCall(Call call, Side side, std::uint32_t nth, std::int32_t status) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->failures[static_cast<int>(call)].push_back(Failure{side, nth, status});
}

void Attempt::FailMalloc(std::uint32_t nth) {
  std::lock_guard<std::mutex> lock(state_->account->mu);
  state_->account->fail_nth = nth;
}

void Attempt::SetTraceEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->trace_enabled = enabled;
}

void Attempt::EndSide(Side side) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->EndLocked(side);
}

void Attempt::Abort() {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->EndLocked(Side::kClient);
  state_->EndLocked(Side::kServer);
}

std::uint32_t Attempt::CallCount(Call call, Side side) const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->calls[static_cast<int>(call)][Index(side)];
}

std::vector<std::int32_t> Attempt::EndOutcomes(Side side) const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->ends[Index(side)];
}

std::vector<Message> Attempt::Transcript() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->transcript;
}

std::vector<Message> Attempt::Unread(Side side) const {
  std::lock_guard<std::mutex> lock(state_->mu);
  const auto& q = state_->queue[Index(side)];
  return std::vector<Message>(q.begin(), q.end());
}

std::vector<TraceLine> Attempt::Trace() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->trace;
}

std::vector<std::string> Attempt::TraceLines(Side side) const {
  std::lock_guard<std::mutex> lock(state_->mu);
  std::vector<std::string> lines;
  for (const TraceLine& l : state_->trace) {
    if (l.side == side) lines.push_back(l.text);
  }
  return lines;
}

std::vector<std::string> Attempt::ErrWarnLines() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->err_warn;
}

Allocations Attempt::Allocs() const {
  std::lock_guard<std::mutex> lock(state_->account->mu);
  return Allocations{state_->account->calls, state_->account->outstanding, state_->account->outstanding_bytes};
}

int Attempt::WatchSecret(std::span<const std::uint8_t> secret) {
  std::lock_guard<std::mutex> lock(state_->account->mu);
  state_->account->secrets.emplace_back(secret.begin(), secret.end());
  state_->account->freed_holding.emplace_back();
  return static_cast<int>(state_->account->secrets.size() - 1);
}

std::vector<std::uint32_t> Attempt::FreedHolding(int id) const {
  std::lock_guard<std::mutex> lock(state_->account->mu);
  if (id < 0 || static_cast<std::size_t>(id) >= state_->account->freed_holding.size()) return {};
  return state_->account->freed_holding[static_cast<std::size_t>(id)];
}

Peer Attempt::Play(Side side) { return Peer(state_, side); }

Attempt::ThreadScope::ThreadScope(const Attempt& attempt) : previous_(CurrentAttempt()) {
  SetCurrentAttempt(attempt.state().get());
}
Attempt::ThreadScope::~ThreadScope() { SetCurrentAttempt(static_cast<Attempt::State*>(previous_)); }

}  // namespace vesk
