// The host framework stand-in, as a test or the veskhost program drives it.
//
// libvesk (CMake target `vesk`, a shared library) exports the framework's
// MAF_ calls and err_warn with default visibility, so a module loaded with
// dlopen binds them by name from the host process. Link it into the test
// executable; nothing else is needed to load a module.
//
// One Attempt is one login attempt: two ends (client and server), each with its
// own mafHandle, a channel of two message queues (one per direction, message
// boundaries kept), one user record, one trace sink and one allocation account.
// Nothing is shared between attempts; many may run at once.
//
// Typical peer-scripted test of a server module:
//
//   vesk::Attempt attempt;
//   attempt.SetPasswordValue("secret");
//   vesk::Peer client = attempt.Play(vesk::Side::kClient);
//   vesk::EntryThread server(attempt, vesk::Side::kServer, lsm_entry);
//   client.Send(vesk::Le32s({0xFFFFFFFF, 0}));
//   client.Send(vesk::Le32(1));
//   EXPECT_TRUE(vesk::ExpectLength(client, 16));    // vesk_gtest.h
//   ...
//   EXPECT_EQ(server.Join(), 0);
//   EXPECT_EQ(attempt.EndOutcomes(vesk::Side::kServer), std::vector<std::int32_t>{0});
//
// Every wait has a time-out (kDefaultTimeout unless given), so a module that
// hangs fails the test instead of hanging it. (A test thread that calls
// MAF_Read itself blocks like a module; script such reads through a Peer.)
//
// CMake: link `vesk` (target_link_libraries(my_test PRIVATE vesk)). That also
// builds the five late-bound libraries into libvesk's folder, where
// SetHostCalls finds them (VESK_LATE_DIR in the environment overrides it; the
// build folder is also given to code that links vesk as VESK_LATE_DIR_BUILT).
// With wistra_test, gtest_discover_tests runs every TEST in a process of its
// own, so each test chooses its late-bound set afresh.
#pragma once
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "method/maf.h"

namespace vesk {

using Bytes = std::vector<std::uint8_t>;
using Entry = std::int32_t (*)(mafHandle);

// Long enough for a sanitizer build on a busy machine, short enough for a hung
// module to fail its test in reasonable time.
inline constexpr std::chrono::milliseconds kDefaultTimeout{30000};

// --- Small byte helpers --------------------------------------------------------

Bytes ToBytes(std::string_view text);                     // the bytes of text, no terminator
Bytes Le32(std::uint32_t word);                            // one little-endian word
Bytes Le32s(std::initializer_list<std::uint32_t> words);   // several, in order
Bytes Concat(std::initializer_list<std::span<const std::uint8_t>> parts);
std::u16string Utf16(std::string_view utf8);               // for attribute names; BMP only
std::string Hex(std::span<const std::uint8_t> bytes);      // "01 ff ..." for failure messages

// --- The five late-bound calls ---------------------------------------------------
//
// Each lives in a small library of its own next to libvesk
// (libvesk_late_<name>.so), loaded RTLD_GLOBAL only while wanted, so the
// process's global scope holds exactly the chosen set. At start none is loaded.
//
// A module looks these calls up once per load. So: choose the set BEFORE
// loading the module, and to test another set, unload the module and load it
// afresh (or run the test in its own process). SetHostCalls refuses a change
// while any vesk::Module is loaded, so a stale lookup cannot go unnoticed.
enum HostCall : unsigned {
  kGetPassword = 1u << 0,
  kSetPassword = 1u << 1,
  kGetPELUPwdHash = 1u << 2,
  kTrace = 1u << 3,
  kTraceEnabled = 1u << 4,
};
using HostCallSet = unsigned;  // an OR of HostCall
inline constexpr HostCallSet kAllHostCalls = kGetPassword | kSetPassword | kGetPELUPwdHash | kTrace | kTraceEnabled;
inline constexpr HostCallSet kNoHostCalls = 0;

// Loads and unloads the late-bound libraries so that exactly `set` is present.
// False (with *error) when a library cannot be loaded or a Module is loaded.
bool SetHostCalls(HostCallSet set, std::string* error = nullptr);
HostCallSet CurrentHostCalls();
// The symbol name ("MAF_GetPassword", ...) and the library that provides it.
const char* HostCallName(HostCall call);
std::string HostCallLibraryPath(HostCall call);

// --- Loading a module as the framework does ---------------------------------------

class Module {
 public:
  // dlopen(path, RTLD_NOW | RTLD_LOCAL): a missing symbol fails the load.
  // Returns null and fills *error (dlerror's text) on failure. err_warn lines
  // written while the module loads (its constructor) are kept in Warnings().
  static std::unique_ptr<Module> Load(const std::string& path, std::string* error = nullptr);
  ~Module();  // unloads, if Unload was not called
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // The entry named `name` (default version), or null.
  Entry Find(const char* name) const;
  // The entry named `name` under symbol version `version` (dlvsym), or null.
  Entry FindVersioned(const char* name, const char* version) const;
  // dlclose; true when the module is then gone from the process. err_warn lines
  // written while it unloads (its destructor) are added to Warnings().
  bool Unload();
  const std::vector<std::string>& Warnings() const { return warnings_; }
  const std::string& path() const { return path_; }

 private:
  Module() = default;
  void* handle_ = nullptr;
  std::string path_;
  std::vector<std::string> warnings_;
};

// --- The attempt ------------------------------------------------------------------

enum class Side { kClient, kServer };
Side Other(Side side);
// Which pair of calls carried a message: MAF_Write/MAF_Read or MAF_XWrite/MAF_XRead.
enum class Via { kPlain, kX };

// A framework call, for injected failures and call counts. MAF_WriteRead counts
// as one kWrite and one kRead.
enum class Call {
  kBegin, kEnd, kWrite, kRead, kXWrite, kXRead, kGetAttribute, kPutAttribute,
  kGetPassword, kSetPassword, kGetPELUPwdHash,
};

// Record kinds the login modules use.
inline constexpr std::uint32_t kKindTypedPassword = 6;   // client: the password as typed
inline constexpr std::uint32_t kKindTypedType = 7;       // client: 8 bytes, first word the type of kind 6
inline constexpr std::uint32_t kKindPasswordFlags22 = 22;  // server: "Password Flags", a 4-byte word
inline constexpr std::uint32_t kKindPasswordFlags18 = 18;  // server: "Password Flags", a 4-byte word
inline constexpr std::uint32_t kKindPasswordHash = 24;   // server: "Password Hash"
inline constexpr char16_t kNamePasswordHash[] = u"Password Hash";
inline constexpr char16_t kNamePasswordFlags[] = u"Password Flags";

struct Message {
  Bytes bytes;
  Via via = Via::kPlain;
  Side from = Side::kClient;
};

struct PutAttributeCall {
  std::uint32_t kind = 0;
  std::optional<std::u16string> name;  // nullopt when the module passed no name
  Bytes value;
  std::int32_t status = 0;             // what MAF_PutAttribute returned
};

struct SetPasswordCall {
  std::u16string units;  // exactly the units the module passed, terminator included
  std::uint32_t flags = 0;
  std::int32_t status = 0;  // what MAF_SetPassword returned
};

struct TraceLine {
  Side side = Side::kClient;
  std::string text;
};

struct Allocations {
  std::uint64_t calls = 0;        // MAF_Malloc calls, failed ones included
  std::uint64_t outstanding = 0;  // buffers not yet freed
  std::uint64_t outstanding_bytes = 0;
};

class Peer;

class Attempt {
 public:
  Attempt();
  ~Attempt();  // ends both sides and retires both handles
  Attempt(Attempt&&) noexcept;
  Attempt& operator=(Attempt&&) noexcept;
  Attempt(const Attempt&) = delete;
  Attempt& operator=(const Attempt&) = delete;

  // The mafHandle of one end: a 32-bit word mapped to this attempt through the
  // host's handle table (never 0, never 0xFFFFFFFF, never reused).
  mafHandle Handle(Side side) const;

  // ---- The user's record. Every source starts absent: the password value with
  // -1697, the Galt hash with -1665, every attribute with -1695. Setters may be
  // called at any time; MAF_PutAttribute and MAF_SetPassword change the record too.

  // The password value: UCS-2 (from UTF-8; false for a code point beyond U+FFFF)
  // plus its flag word. MAF_GetPassword returns the units and a terminator.
  bool SetPasswordValue(std::string_view utf8, std::uint32_t flags = 0);
  void SetPasswordValueUnits(std::u16string units, std::uint32_t flags = 0);  // raw, no terminator
  void SetPasswordValueAbsent(std::int32_t status);
  // "Password Hash" (kind 24): the whole value, type byte first.
  void SetPasswordHash(std::span<const std::uint8_t> value);
  void SetPasswordHashAbsent(std::int32_t status);
  // "Password Flags" under kind 22 or 18: one little-endian word.
  void SetPasswordFlags(std::uint32_t kind, std::uint32_t word);
  void SetPasswordFlagsAbsent(std::uint32_t kind, std::int32_t status);
  // The Galt hash and its 4-byte salt (MAF_GetPELUPwdHash).
  void SetGaltHash(std::span<const std::uint8_t> hash, std::span<const std::uint8_t, 4> salt);
  void SetGaltHashAbsent(std::int32_t status);
  // Client attributes 6 (the password typed) and 7 (8 bytes: type word, second word).
  void SetTypedPassword(std::span<const std::uint8_t> bytes);
  void SetTypedPassword(std::string_view text) { SetTypedPassword(ToBytes(text)); }
  void SetTypedPasswordAbsent(std::int32_t status);
  void SetTypedType(std::uint32_t type, std::uint32_t second_word = 0);
  void SetTypedTypeRaw(std::span<const std::uint8_t> bytes);  // any length
  void SetTypedTypeAbsent(std::int32_t status);
  // Any attribute. A given name matches only the identical zero-terminated
  // UTF-16LE string; no name (nullopt) matches whatever name the module passes,
  // null included. Kinds 6 and 7 above are set with no name; 24, 22 and 18 with
  // "Password Hash" / "Password Flags".
  void SetAttribute(std::uint32_t kind, std::optional<std::u16string> name, std::span<const std::uint8_t> value);
  void SetAttributeAbsent(std::uint32_t kind, std::optional<std::u16string> name, std::int32_t status);

  // ---- What the record holds now (after a sync, what was stored).
  std::optional<std::u16string> PasswordValue() const;  // without terminator; nullopt when absent
  std::uint32_t PasswordValueFlags() const;
  std::optional<Bytes> Attribute(std::uint32_t kind, std::optional<std::u16string> name) const;
  std::vector<PutAttributeCall> PutAttributeCalls() const;
  std::vector<SetPasswordCall> SetPasswordCalls() const;

  // ---- Framework behaviour.
  void FailBegin(std::int32_t status) { FailCall(Call::kBegin, 1, status); }
  // The nth (1-based) call of `call` on this attempt, either side, returns
  // `status` and does nothing else (a failed read consumes no message).
  void FailCall(Call call, std::uint32_t nth, std::int32_t status);
  // The same, counting only the calls made with Handle(side).
  void FailCall(Call call, Side side, std::uint32_t nth, std::int32_t status);
  // The nth (1-based) MAF_Malloc made for this attempt returns null.
  void FailMalloc(std::uint32_t nth);
  // Answer of MAF_TraceEnabled for both handles (on by default). MAF_Trace
  // records lines either way: the module decides what to send.
  void SetTraceEnabled(bool enabled);
  // Ends one side: once its queued messages are read, the other side's reads
  // fail with kStatusMafPeerGone. A side also ends when it calls MAF_End, and
  // when an EntryThread's entry returns.
  void EndSide(Side side);
  // Ends both sides; blocked reads return kStatusMafPeerGone.
  void Abort();

  // ---- What happened.
  std::uint32_t CallCount(Call call, Side side) const;
  std::uint32_t BeginCount(Side side) const { return CallCount(Call::kBegin, side); }
  std::vector<std::int32_t> EndOutcomes(Side side) const;  // MAF_End outcomes, in order
  std::vector<Message> Transcript() const;                  // every message written, in order
  std::vector<Message> Unread(Side side) const;             // queued for `side`, not yet read
  std::vector<TraceLine> Trace() const;
  std::vector<std::string> TraceLines(Side side) const;
  std::vector<std::string> ErrWarnLines() const;  // err_warn from this attempt's threads
  Allocations Allocs() const;                     // from this attempt's threads

  // A secret to look for in every buffer freed from now on; returns its id.
  int WatchSecret(std::span<const std::uint8_t> secret);
  int WatchSecret(std::string_view secret) { return WatchSecret(ToBytes(secret)); }
  // The sizes of the freed buffers that still held secret `id` when freed.
  std::vector<std::uint32_t> FreedHolding(int id) const;

  // A scripted peer playing `side` of this attempt (the module runs the other).
  Peer Play(Side side);

  // While alive, MAF_Malloc, MAF_Free accounting and err_warn on this thread
  // belong to the attempt (EntryThread does this for its thread).
  class ThreadScope {
   public:
    explicit ThreadScope(const Attempt& attempt);
    ~ThreadScope();
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;

   private:
    void* previous_;
  };

  struct State;
  const std::shared_ptr<State>& state() const { return state_; }

 private:
  std::shared_ptr<State> state_;
};

// One end of an attempt's channel, scripted by the test message by message.
class Peer {
 public:
  explicit Peer(std::shared_ptr<Attempt::State> state, Side side);
  Side side() const { return side_; }
  mafHandle handle() const;

  // Delivers one message to the module (empty allowed). Returns 0 or a status.
  std::int32_t Send(std::span<const std::uint8_t> bytes, Via via = Via::kPlain);
  std::int32_t SendEmpty() { return Send({}); }
  std::int32_t SendX(std::span<const std::uint8_t> bytes) { return Send(bytes, Via::kX); }

  // The next message from the module: the message, or nullopt when the module's
  // side ended with nothing more queued (*status = kStatusMafPeerGone) or the
  // wait timed out (*status = 1).
  std::optional<Message> Receive(std::chrono::milliseconds timeout = kDefaultTimeout, std::int32_t* status = nullptr);
  // True when the module's side has ended and no message is left for us.
  bool WaitForEnd(std::chrono::milliseconds timeout = kDefaultTimeout);
  // This side is done: the module's further reads fail with kStatusMafPeerGone.
  void End();

 private:
  std::shared_ptr<Attempt::State> state_;
  Side side_;
};

// One entry on its own thread, as the framework calls it: the thread belongs to
// the attempt (ThreadScope), the entry gets Handle(side), and when the entry
// returns that side ends.
class EntryThread {
 public:
  EntryThread(const Attempt& attempt, Side side, Entry entry);
  ~EntryThread();  // Join() with the default time-out if not joined
  EntryThread(const EntryThread&) = delete;
  EntryThread& operator=(const EntryThread&) = delete;

  // The entry's status, or nullopt when it did not return in time. On a
  // time-out the attempt is aborted (blocked reads fail) and the thread given a
  // second time-out; an entry that still does not return aborts the process
  // with a message, since its module cannot be unloaded under it.
  std::optional<std::int32_t> Join(std::chrono::milliseconds timeout = kDefaultTimeout);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  bool joined_ = false;
};

struct PairResult {
  std::optional<std::int32_t> client;  // nullopt: timed out
  std::optional<std::int32_t> server;
};
// Runs the client and the server entry over one attempt, each on its own thread.
PairResult RunPair(const Attempt& attempt, Entry client, Entry server,
                   std::chrono::milliseconds timeout = kDefaultTimeout);

// --- Process-wide -----------------------------------------------------------------

// err_warn lines from threads that belong to no attempt and to no Module load.
std::vector<std::string> GlobalErrWarnLines();
void ClearGlobalErrWarnLines();
// MAF_Malloc made on threads that belong to no attempt.
Allocations GlobalAllocs();

}  // namespace vesk
