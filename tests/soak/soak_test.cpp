// Both real modules in one process, as a directory host runs them: eight
// threads run logins of every kind at once (current form against each stored
// record, the upper-case variant, every direct-form answer, an encoded digest),
// with the right and with a wrong password. Every verdict is checked on both
// sides, every sync is checked in the record, every attempt must free all it
// took, and the host's heap must not grow between the first thousand logins
// and the end.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/tarn/tarn_control.h"
#include "platform/tarn/tarn_host.h"
#include "platform/vesk/vesk.h"
#include "tests/support/reference.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SOAK_SANITIZED 1
#endif
#endif
#ifdef SOAK_SANITIZED
// From the sanitizer runtime, whose allocator replaces malloc's bookkeeping.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

using wistra::reference::Of;
using wistra::reference::PutLe32;
using wistra::reference::Join;
using wistra::reference::DesBlock;
using wistra::reference::DesResponse;
using wistra::reference::Md5;
using wistra::reference::NtHash;
using wistra::reference::Sha1;
Bytes Crypt(const std::string& pw) { return wistra::reference::CryptText(pw, "ab"); }
std::string Hex(const Bytes& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (auto c : b) s += {d[c >> 4], d[c & 15]};
  return s;
}

constexpr std::uint8_t kChallenge[16] = {0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98,
                                         0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F, 0x10};
constexpr std::uint8_t kSalt[8] = {0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58};
constexpr std::uint8_t kGaltSalt[4] = {0x0A, 0x0B, 0x0C, 0x0D};

// Every kind of login the method offers.
enum Kind {
  kPlainValue,      // current form against the framework's password value
  kStoredSha1,      // current form against a stored digest; success syncs the password
  kStoredMd5,
  kStoredCrypt,
  kStoredSalted,
  kGaltHash,        // current form against the framework's Galt hash
  kUppercase,       // the upper-cased second hash matches a mixed-case password
  kDirectChap,      // finished answers handed to the client, against the password value
  kDirectMsChap,
  kDirectCifs,
  kDirectAfp,
  kDirectVeskPelu,
  kEncodedCifs,     // the CIFS answer as an encoded digest
  kKindCount,
};

const char* KindName(int k) {
  static const char* names[] = {"plain value", "stored SHA-1", "stored MD5", "stored crypt", "stored salted SHA-1",
                                "Galt hash",   "upper-case",   "CHAP",       "MS-CHAP",      "CIFS",
                                "AFP",         "Vesk Pelu",    "encoded CIFS"};
  return names[k];
}

bool Syncs(int k) { return k >= kStoredSha1 && k <= kStoredSalted; }

// What the client is handed for one login: what the user typed or the answer
// a front end made from it.
void LoadClient(vesk::Attempt& a, int kind, const std::string& typed) {
  const Bytes pw = Of(typed);
  switch (kind) {
    case kDirectChap: {
      Bytes chap(76, 0);
      chap[0] = 9;
      std::memcpy(chap.data() + 4, kChallenge, 16);
      PutLe32(chap, 36, 16);
      const Bytes r = Md5(Join({Bytes{9}, pw, kChallenge}));
      std::memcpy(chap.data() + 40, r.data(), 16);
      PutLe32(chap, 72, 16);
      a.SetTypedPassword(chap);
      a.SetTypedType(5);
      return;
    }
    case kDirectMsChap: {
      Bytes ms(91, 0);
      std::memcpy(ms.data(), kChallenge, 8);
      const Bytes r = DesResponse(NtHash(typed), std::span<const std::uint8_t>(kChallenge, 8));
      std::memcpy(ms.data() + 40, r.data(), 24);
      ms[88] = 8;
      ms[89] = 1;
      a.SetTypedPassword(ms);
      a.SetTypedType(6);
      return;
    }
    case kDirectCifs:
    case kEncodedCifs: {
      const std::span<const std::uint8_t> challenge(kChallenge, 8);
      const Bytes cifs = Join({challenge, DesResponse(NtHash(typed), challenge)});
      if (kind == kDirectCifs) {
        a.SetTypedPassword(cifs);
        a.SetTypedType(7);
      } else {
        a.SetTypedPassword(Join({Bytes{0xFF, 0xFE, 0xFE, 0xFF, 7}, Of(Hex(cifs))}));
      }
      return;
    }
    case kDirectAfp: {
      std::uint8_t key[8] = {};
      std::memcpy(key, typed.data(), std::min<std::size_t>(8, typed.size()));
      const Bytes proof = DesBlock(key, std::span<const std::uint8_t>(kChallenge, 8));
      Bytes afp(36, 0);
      afp[0] = 2;
      std::memcpy(afp.data() + 4, kChallenge, 8);
      std::memcpy(afp.data() + 12, proof.data(), 8);
      a.SetTypedPassword(afp);
      a.SetTypedType(10);
      return;
    }
    case kDirectVeskPelu: {
      const Bytes dataA(kChallenge, kChallenge + 12), dataB(kSalt, kSalt + 8);
      const Bytes expected = Sha1(Join({Sha1(pw), dataB, dataA}));
      Bytes pelu(144, 0);
      std::memcpy(pelu.data(), kGaltSalt, 4);
      PutLe32(pelu, 4, 20);
      std::memcpy(pelu.data() + 8, expected.data(), 20);
      PutLe32(pelu, 44, static_cast<std::uint32_t>(dataA.size()));
      std::memcpy(pelu.data() + 48, dataA.data(), dataA.size());
      PutLe32(pelu, 84, static_cast<std::uint32_t>(dataB.size()));
      std::memcpy(pelu.data() + 88, dataB.data(), dataB.size());
      a.SetTypedPassword(pelu);
      a.SetTypedType(11);
      return;
    }
    default:
      a.SetTypedPassword(typed);
  }
}

// What the directory holds for the user.
void LoadServer(vesk::Attempt& a, int kind, const std::string& password) {
  const Bytes pw = Of(password);
  auto stored = [&](std::uint8_t type, const Bytes& data, bool trailing) {
    Bytes v{type};
    v.insert(v.end(), data.begin(), data.end());
    if (trailing) v.push_back(0);
    a.SetPasswordHash(v);
  };
  switch (kind) {
    case kStoredSha1: stored(2, Sha1(pw), true); break;
    case kStoredMd5: stored(3, Md5(pw), true); break;
    case kStoredCrypt: stored(4, Crypt(password), false); break;
    case kStoredSalted: stored(8, Join({Sha1(Join({pw, kSalt})), kSalt}), true); break;
    case kGaltHash: {
      Bytes g(tarn::kGaltHashSize);
      TarnHost_GaltHash(kGaltSalt, pw.data(), static_cast<std::uint32_t>(pw.size()), g.data());
      a.SetGaltHash(g, std::span<const std::uint8_t, 4>(kGaltSalt));
      break;
    }
    case kUppercase:
      a.SetPasswordValue(password);
      a.SetPasswordFlags(vesk::kKindPasswordFlags22, 0x4);
      break;
    default: a.SetPasswordValue(password);
  }
}

std::size_t HeapInUse() {
#ifdef SOAK_SANITIZED
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

std::uint32_t Logins() {
  if (const char* e = std::getenv("WISTRA_SOAK_LOGINS"); e != nullptr && std::atoi(e) > 0) {
    return static_cast<std::uint32_t>(std::atoi(e));
  }
  return SOAK_DEFAULT_LOGINS;
}

class Soak : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(vesk::SetHostCalls(vesk::kAllHostCalls, &error)) << error;
    server_ = vesk::Module::Load(PWDLSM_PATH, &error).release();
    ASSERT_NE(server_, nullptr) << error;
    client_ = vesk::Module::Load(PWDLCM_PATH, &error).release();
    ASSERT_NE(client_, nullptr) << error;
    serverEntry_ = server_->FindVersioned("LSM00000009", "SHA1_VERSION_1.0.0");
    clientEntry_ = client_->FindVersioned("LCM00000009", "PXY_SHA1_VERSION_1.0.0");
    ASSERT_NE(serverEntry_, nullptr);
    ASSERT_NE(clientEntry_, nullptr);
  }
  static void TearDownTestSuite() {
    delete client_;
    delete server_;
  }

  // Runs logins first..last-1 on `threads` threads; each failed check is kept.
  void RunLogins(std::uint32_t first, std::uint32_t last, int threads) {
    std::atomic<std::uint32_t> next{first};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([&] {
        for (std::uint32_t i = next++; i < last; i = next++) OneLogin(i);
      });
    }
    for (auto& th : pool) th.join();
  }

  void OneLogin(std::uint32_t i) {
    const int kind = static_cast<int>(i % kKindCount);
    // Odd rounds through the kinds type a wrong password; every other wrong one
    // differs from the right one only in the case of its letters.
    const bool right = (i / kKindCount) % 2 == 0;
    const std::string password = "Pass-" + std::to_string(i % 97) + "word";
    std::string typed = password;
    if (kind == kUppercase) {
      for (auto& c : typed) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const bool caseOnly = !right && (i / kKindCount) % 4 == 1;
    // A wrong password differs in its first character, since crypt and AFP
    // read only the first eight.
    if (!right) typed = caseOnly ? "pass-" + std::to_string(i % 97) + "WORD" : "x" + typed;
    // A password that differs only in case still proves it where the server
    // compares upper-cased: the upper-case hash.
    const bool expected = right || (caseOnly && kind == kUppercase);

    vesk::Attempt attempt;
    LoadServer(attempt, kind, password);
    LoadClient(attempt, kind, typed);
    const vesk::PairResult r = vesk::RunPair(attempt, clientEntry_, serverEntry_);

    std::string fault;
    const auto serverEnd = attempt.EndOutcomes(vesk::Side::kServer);
    if (!r.client || !r.server) {
      fault = "timed out";
    } else if ((*r.client == 0) != expected) {
      fault = "client status " + std::to_string(*r.client);
    } else if (serverEnd != std::vector<std::int32_t>{expected ? 0 : -1642}) {
      fault = "server outcome wrong";
    } else if (attempt.Allocs().outstanding != 0) {
      fault = std::to_string(attempt.Allocs().outstanding) + " MAF_Malloc buffers not freed";
    } else if (expected && Syncs(kind)) {
      const auto stored = attempt.PasswordValue();
      if (!stored || *stored != std::u16string(password.begin(), password.end())) fault = "password not synced";
    } else if (!expected && (!attempt.SetPasswordCalls().empty() || !attempt.PutAttributeCalls().empty())) {
      fault = "a failed login stored a password";
    }
    ++done_;
    if (expected) ++succeeded_;
    if (!fault.empty()) {
      std::lock_guard<std::mutex> lock(mu_);
      if (faults_.size() < 20) {
        faults_.push_back("login " + std::to_string(i) + " (" + KindName(kind) + ", " +
                          (right ? "right" : "wrong") + " password): " + fault);
      }
      ++faultCount_;
    }
  }

  std::atomic<std::uint32_t> done_{0};
  std::atomic<std::uint32_t> succeeded_{0};
  std::mutex mu_;
  std::vector<std::string> faults_;
  std::uint32_t faultCount_ = 0;

  static vesk::Module* server_;
  static vesk::Module* client_;
  static vesk::Entry serverEntry_;
  static vesk::Entry clientEntry_;
};

vesk::Module* Soak::server_ = nullptr;
vesk::Module* Soak::client_ = nullptr;
vesk::Entry Soak::serverEntry_ = nullptr;
vesk::Entry Soak::clientEntry_ = nullptr;

TEST_F(Soak, EightThreadsOfMixedLoginsKeepEveryVerdictAndNoMemory) {
  const std::uint32_t total = std::max<std::uint32_t>(Logins(), 2000);
  const std::uint32_t contexts = TarnControl_LiveContexts(), objects = TarnControl_LiveObjects();

  RunLogins(0, 1000, 8);
  const std::size_t heapAfterFirst = HeapInUse();
  RunLogins(1000, total, 8);
  const std::size_t heapAtEnd = HeapInUse();

  for (const auto& f : faults_) ADD_FAILURE() << f;
  EXPECT_EQ(faultCount_, 0u) << "of " << total << " logins";
  EXPECT_EQ(done_.load(), total);
  // Both verdicts were exercised in bulk.
  EXPECT_GT(succeeded_.load(), total / 3);
  EXPECT_LT(succeeded_.load(), total - total / 3);
  EXPECT_EQ(vesk::GlobalAllocs().outstanding, 0u);
  EXPECT_EQ(TarnControl_LiveContexts(), contexts);
  EXPECT_EQ(TarnControl_LiveObjects(), objects);
  // Whatever the host keeps per attempt would show here many times over.
  EXPECT_LE(heapAtEnd, heapAfterFirst + 64 * 1024)
      << "heap grew from " << heapAfterFirst << " to " << heapAtEnd << " bytes over " << total - 1000 << " logins";
}

}  // namespace
