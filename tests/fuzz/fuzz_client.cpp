// The real client module fed any sequence of server replies over a scripted
// channel, with a typed password, an encoded digest or a finished answer.
//
// Checked for every attempt: it ends in time, frees every MAF_Malloc, destroys
// every crypto context and key object, closes the framework's bracket exactly
// once with the status it returns. With a typed password, the password never
// crosses in the clear except as the sync step's message, and that only after
// a server record that asked for it and a verdict that granted the login; and
// no buffer returned to the framework still holds the password or its
// upper-cased copy.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/vesk/vesk.h"
#include "tests/fuzz/module_env.h"

namespace {

using fuzzenv::Bytes;
using fuzzenv::Fail;

constexpr const char* kTarget = "fuzz_client";
vesk::Entry entry = nullptr;
const std::string kPassword = "Secret1";
const std::string kUpper = "SECRET1";

bool Contains(const Bytes& haystack, const std::string& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// What the client is handed, by the low two bits of the first input byte.
enum Typed : std::uint8_t {
  kPlain,          // attribute 6 the password, attribute 7 absent
  kPlainTyped,     // the same with attribute 7 saying 1
  kEncoded,        // attribute 6 an encoded digest: the marker, a type byte, the first message's bytes
  kFinished,       // attribute 6 the first message's bytes, attribute 7 the type in the second byte
};

// Whether the server's replies, read as the client reads them (one queue, each
// into a buffer of the size the exchange gives it), could lead to the sync
// step: a record of at most 16 bytes with status 1 and the sync flag, the extra
// data if it announces any (within its length), and a 4-byte non-zero verdict.
bool MaySync(const std::vector<fuzzenv::Script>& replies) {
  if (replies.empty() || replies[0].bytes.size() > 16) return false;
  Bytes record = replies[0].bytes;
  record.resize(16, 0);
  auto word = [&](std::size_t at) {
    return static_cast<std::uint32_t>(record[at] | record[at + 1] << 8 | record[at + 2] << 16) |
           static_cast<std::uint32_t>(record[at + 3]) << 24;
  };
  if (word(0) != 1 || (word(4) & 0x2u) == 0) return false;
  std::size_t next = 1;
  if (const std::uint32_t extraLen = word(12); extraLen != 0) {
    if (replies.size() < 2 || replies[1].bytes.size() > extraLen) return false;
    next = 2;
  }
  if (replies.size() <= next || replies[next].bytes.size() != 4) return false;
  const Bytes& v = replies[next].bytes;
  return (v[0] | v[1] | v[2] | v[3]) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  entry = fuzzenv::LoadEntry(PWDLCM_PATH, "LCM00000009", "PXY_SHA1_VERSION_1.0.0");
  return 0;
}

// Input: mode byte, type byte, then the server's messages (module_env.h); in
// the encoded and finished modes the first message is what attribute 6 holds.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto typed = static_cast<Typed>(data[0] & 3);
  const std::uint8_t type = data[1];
  auto script = fuzzenv::Messages(std::span<const std::uint8_t>(data + 2, size - 2));
  const bool plain = typed == kPlain || typed == kPlainTyped;
  Bytes attribute6 = fuzzenv::Of(kPassword);
  if (!plain) {
    if (script.empty()) return 0;
    attribute6 = script.front().bytes;
    script.erase(script.begin());
    if (typed == kEncoded) attribute6.insert(attribute6.begin(), {0xFF, 0xFE, 0xFE, 0xFF, type});
  }
  // A server that repeats the password to the client makes every later sign
  // of it meaningless.
  for (const auto& m : script) {
    if (Contains(m.bytes, kPassword) || Contains(m.bytes, kUpper)) return 0;
  }

  fuzzenv::CryptoBalance crypto;
  std::optional<std::int32_t> status;
  std::vector<std::int32_t> outcomes;
  std::vector<vesk::Message> transcript;
  std::vector<std::uint32_t> freedWithPassword, freedWithUpper;
  vesk::Allocations allocs;
  {
    vesk::Attempt attempt;
    attempt.SetTypedPassword(attribute6);
    if (typed == kPlainTyped) attempt.SetTypedType(1);
    if (typed == kFinished) attempt.SetTypedType(type);
    const int watchPassword = attempt.WatchSecret(kPassword);
    const int watchUpper = attempt.WatchSecret(kUpper);
    vesk::Peer server = attempt.Play(vesk::Side::kServer);
    vesk::EntryThread client(attempt, vesk::Side::kClient, entry);
    for (const fuzzenv::Script& m : script) server.Send(m.bytes, m.via);
    server.End();
    status = client.Join();
    outcomes = attempt.EndOutcomes(vesk::Side::kClient);
    transcript = attempt.Transcript();
    allocs = attempt.Allocs();
    freedWithPassword = attempt.FreedHolding(watchPassword);
    freedWithUpper = attempt.FreedHolding(watchUpper);
  }

  if (!status) Fail(kTarget, "the client did not return after its server ended");
  if (allocs.outstanding != 0) Fail(kTarget, std::to_string(allocs.outstanding) + " MAF_Malloc buffers not freed");
  if (!crypto.Balanced()) Fail(kTarget, "a crypto context or key object outlived the attempt");
  if (outcomes.size() != 1 || outcomes[0] != *status) Fail(kTarget, "MAF_End not called once with the status returned");
  if (!plain) return 0;

  if (!freedWithPassword.empty() || !freedWithUpper.empty()) {
    Fail(kTarget, "a buffer still holding the password went back to the framework");
  }
  const bool maySync = MaySync(script);
  for (const vesk::Message& m : transcript) {
    if (m.from == vesk::Side::kServer) continue;
    if (m.via == vesk::Via::kX) {
      Bytes expected = fuzzenv::Of(kPassword);
      expected.push_back(0);
      if (!maySync) Fail(kTarget, "the password was sent without a record asking for it and a verdict granting it");
      if (m.bytes != expected) Fail(kTarget, "the sync message is not the password and its zero byte");
    } else if (Contains(m.bytes, kPassword)) {
      Fail(kTarget, "the typed password crossed in the clear");
    }
  }
  return 0;
}
