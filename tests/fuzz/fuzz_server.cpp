// The real server module fed any sequence of client messages over a scripted
// channel, against each kind of directory record.
//
// The record is always made from a password the input never holds, so an
// answer can only match by proving that password. When an attempt succeeds,
// the same messages are played again against the record made from a second
// password: an answer that succeeds against both proves neither, and the
// server has accepted a wrong proof. Each attempt must also end in time, free
// every MAF_Malloc, destroy every crypto context and key object it made, close
// the framework's bracket exactly once, and send verdicts and sync results
// only as the words 0 or 1.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/tarn/tarn_host.h"
#include "platform/vesk/vesk.h"
#include "tests/fuzz/module_env.h"

namespace {

using fuzzenv::Bytes;
using fuzzenv::Fail;

constexpr const char* kTarget = "fuzz_server";
vesk::Entry entry = nullptr;

// The first password is the one the seeds answer with; the second differs in
// its last character, which every scheme here (crypt's eight characters and
// the upper-cased copy included) takes into account.
const std::string kPasswords[2] = {"Secret1", "Secret2"};
constexpr std::uint8_t kSalt[16] = {0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                    0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
constexpr std::uint8_t kGaltSalt[4] = {0x10, 0x20, 0x30, 0x40};

// Which source of the record holds the secret, picked by the first input byte.
enum Source : std::uint8_t {
  kPasswordValue,  // the framework's password value
  kHashPlain,      // "Password Hash" type 1: the text
  kHashSha1,       // type 2
  kHashMd5,        // type 3
  kHashCrypt,      // type 4
  kHashSalted,     // type 8 with a 16-byte salt
  kHashSaltedBare, // type 8, digest only
  kGalt,           // the framework's Galt hash
  kHashOther,      // another type byte (the second input byte), data SHA-1(password)
  kNothing,        // no source has anything
  kSourceCount,
};

void LoadRecord(vesk::Attempt& attempt, Source source, std::uint8_t modifier, std::uint32_t flagsWord,
                const std::string& password) {
  const Bytes pw = fuzzenv::Of(password);
  auto hash = [&](std::uint8_t type, const Bytes& data, bool trailing) {
    Bytes value{type};
    value.insert(value.end(), data.begin(), data.end());
    if (trailing) value.push_back(0);
    attempt.SetPasswordHash(value);
  };
  switch (source) {
    case kPasswordValue: attempt.SetPasswordValue(password, modifier & 1u); break;
    case kHashPlain: hash(1, pw, false); break;
    case kHashSha1: hash(2, fuzzenv::Sha1(pw), true); break;
    case kHashMd5: hash(3, fuzzenv::Md5(pw), true); break;
    case kHashCrypt: hash(4, fuzzenv::Crypt(password, "ab"), false); break;
    case kHashSalted: {
      const Bytes digest = fuzzenv::Sha1(fuzzenv::Cat({pw, kSalt}));
      hash(8, fuzzenv::Cat({digest, kSalt}), true);
      break;
    }
    case kHashSaltedBare: hash(8, fuzzenv::Sha1(pw), true); break;
    case kGalt: {
      Bytes galt(tarn::kGaltHashSize);
      TarnHost_GaltHash(kGaltSalt, pw.data(), static_cast<std::uint32_t>(pw.size()), galt.data());
      attempt.SetGaltHash(galt, std::span<const std::uint8_t, 4>(kGaltSalt));
      break;
    }
    case kHashOther: hash(modifier, fuzzenv::Sha1(pw), true); break;
    default: break;
  }
  // Bit 1 of the modifier adds a "Password Flags" word (the upper-case and
  // sync bits among them) under kind 22.
  if ((modifier & 2u) != 0) attempt.SetPasswordFlags(vesk::kKindPasswordFlags22, flagsWord);
}

struct Outcome {
  bool success = false;
};

Outcome Play(Source source, std::uint8_t modifier, std::uint32_t flagsWord, const std::vector<fuzzenv::Script>& script,
             const std::string& password) {
  fuzzenv::CryptoBalance crypto;
  std::vector<std::int32_t> outcomes;
  std::vector<vesk::Message> transcript;
  std::optional<std::int32_t> status;
  vesk::Allocations allocs;
  {
    vesk::Attempt attempt;
    LoadRecord(attempt, source, modifier, flagsWord, password);
    vesk::Peer client = attempt.Play(vesk::Side::kClient);
    vesk::EntryThread server(attempt, vesk::Side::kServer, entry);
    for (const fuzzenv::Script& m : script) client.Send(m.bytes, m.via);
    client.End();
    status = server.Join();
    outcomes = attempt.EndOutcomes(vesk::Side::kServer);
    transcript = attempt.Transcript();
    allocs = attempt.Allocs();
  }
  if (!status) Fail(kTarget, "the server did not return after its client ended");
  if (allocs.outstanding != 0) Fail(kTarget, std::to_string(allocs.outstanding) + " MAF_Malloc buffers not freed");
  if (!crypto.Balanced()) Fail(kTarget, "a crypto context or key object outlived the attempt");
  // MAF_Begin never fails here, so the bracket must close exactly once, with
  // one of the two outcomes the server reports.
  if (outcomes.size() != 1) Fail(kTarget, "MAF_End not called exactly once");
  if (outcomes[0] != 0 && outcomes[0] != -1642) Fail(kTarget, "MAF_End outcome " + std::to_string(outcomes[0]));
  for (const vesk::Message& m : transcript) {
    if (m.from != vesk::Side::kServer || m.bytes.size() != 4) continue;
    // Four-byte server messages are verdicts and sync results (no record of
    // this fuzzer gives four bytes of extra data).
    if (m.bytes[0] > 1 || m.bytes[1] != 0 || m.bytes[2] != 0 || m.bytes[3] != 0) {
      Fail(kTarget, "a verdict or sync result other than the word 0 or 1");
    }
  }
  Outcome o;
  o.success = outcomes[0] == 0;
  if (o.success && *status != 0) Fail(kTarget, "a successful login returned status " + std::to_string(*status));
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  entry = fuzzenv::LoadEntry(PWDLSM_PATH, "LSM00000009", "SHA1_VERSION_1.0.0");
  return 0;
}

// Input: source byte, modifier byte, a 4-byte "Password Flags" word, then the
// client's messages (module_env.h).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const auto source = static_cast<Source>(data[0] % kSourceCount);
  const std::uint8_t modifier = data[1];
  const std::uint32_t flagsWord = data[2] | data[3] << 8 | data[4] << 16 | static_cast<std::uint32_t>(data[5]) << 24;
  const auto script = fuzzenv::Messages(std::span<const std::uint8_t>(data + 6, size - 6));
  if (!Play(source, modifier, flagsWord, script, kPasswords[0]).success) return 0;
  if (Play(source, modifier, flagsWord, script, kPasswords[1]).success) {
    Fail(kTarget, "the same answer succeeded against records of two different passwords");
  }
  return 0;
}
