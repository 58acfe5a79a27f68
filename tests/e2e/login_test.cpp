// Whole logins: the real pwdlsm.so and pwdlcm.so loaded into one host, each with
// its own facade and portability state, talking over the framework's channel.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ccs/ccsx.h"
#include "method/status.h"
#include "method/wire.h"
#include "platform/tarn/tarn_control.h"
#include "platform/tarn/tarn_host.h"
#include "platform/vesk/vesk.h"
#include "tests/support/reference.h"

namespace wistra {
namespace {

using reference::CryptText;
using reference::DesBlock;
using reference::DesResponse;
using reference::Galt;
using reference::Join;
using reference::Md5;
using reference::NtHash;
using reference::Pattern;
using reference::Sha1;
using vesk::Bytes;
using vesk::ToBytes;

// --- Independent primitives ---------------------------------------------------------

Bytes Le32(std::uint32_t v) { return vesk::Le32(v); }
Bytes Upper(const std::string& s) {
  Bytes b = ToBytes(s);
  for (auto& c : b) c = static_cast<std::uint8_t>(std::toupper(c));
  return b;
}

// --- Answers a front end hands the client, and their encoded forms ----------------

Bytes ChapAnswer(const std::string& pw) {
  const std::uint8_t id = 0x42;
  const Bytes challenge = Pattern(16, 5, 11);
  Bytes record(76, 0);
  record[0] = id;
  std::copy(challenge.begin(), challenge.end(), record.begin() + 4);
  const Bytes len = Le32(16);
  std::copy(len.begin(), len.end(), record.begin() + 36);
  const Bytes response = Md5(Join({Bytes{id}, ToBytes(pw), challenge}));
  std::copy(response.begin(), response.end(), record.begin() + 40);
  std::copy(len.begin(), len.end(), record.begin() + 72);
  return record;
}
Bytes MsChapAnswer(const std::string& pw) {
  const Bytes challenge = Pattern(8, 0x21, 11);
  Bytes record(91, 0);
  std::copy(challenge.begin(), challenge.end(), record.begin());
  const Bytes nt = DesResponse(NtHash(pw), challenge);
  std::copy(nt.begin(), nt.end(), record.begin() + 40);
  record[88] = 8;  // challenge length
  record[89] = 1;  // the NT response is the one to check
  return record;
}
Bytes CifsAnswer(const std::string& pw) {
  const Bytes challenge = Pattern(8, 0x33, 11);
  return Join({challenge, DesResponse(NtHash(pw), challenge)});
}
Bytes AfpAnswer(const std::string& pw, std::uint16_t uam) {
  Bytes key = ToBytes(pw.substr(0, 8));
  key.resize(8, 0);
  if (uam == 3) {
    for (auto& k : key) k = static_cast<std::uint8_t>(k << 1);
  }
  const Bytes serverRandom = Pattern(8, 0x44, 11);
  const Bytes clientRandom = uam == 3 ? Pattern(8, 0x55, 11) : Bytes(8, 0);
  return Join({Bytes{static_cast<std::uint8_t>(uam), 0, 0, 0}, serverRandom, DesBlock(key, serverRandom), clientRandom,
               Bytes(8, 0)});
}
Bytes VeskPeluAnswer(const std::string& pw) {
  const Bytes dataA = Pattern(5, 0x60, 11), dataB = Pattern(7, 0x70, 11);
  Bytes record(124, 0);
  auto put = [&](std::size_t at, const Bytes& b) { std::copy(b.begin(), b.end(), record.begin() + at); };
  put(0, Bytes{1, 2, 3, 4});
  put(4, Le32(20));
  put(8, Sha1(Join({Sha1(ToBytes(pw)), dataB, dataA})));
  put(44, Le32(5));
  put(48, dataA);
  put(84, Le32(7));
  put(88, dataB);
  return record;
}

const Bytes kMarker = {0xFF, 0xFE, 0xFE, 0xFF};
Bytes HexEncoded(std::uint8_t type, const Bytes& record) {
  static const char kDigits[] = "0123456789ABCDEF";
  Bytes out = Join({kMarker, Bytes{type}});
  for (std::uint8_t b : record) {
    out.push_back(static_cast<std::uint8_t>(kDigits[b >> 4]));
    out.push_back(static_cast<std::uint8_t>(kDigits[b & 15]));
  }
  return out;
}
Bytes Escaped(const Bytes& raw) {
  Bytes out;
  for (std::uint8_t b : raw) {
    if (b == 0 || b == 0xF3) out.push_back(0xF3);
    out.push_back(b == 0 || b == 0xF3 ? static_cast<std::uint8_t>(b + 1) : b);
  }
  return out;
}
Bytes VeskPeluEncoded(const Bytes& r) {
  auto slice = [&](std::size_t at, std::size_t n) { return Bytes(r.begin() + at, r.begin() + at + n); };
  return Join({kMarker, Bytes{11}, Escaped(Join({slice(0, 8), slice(44, 4), slice(84, 4), slice(8, 20), slice(48, 5),
                                                 slice(88, 7)}))});
}

// --- The host ------------------------------------------------------------------------

struct Outcome {
  std::int32_t client = 1, server = 1;
  std::vector<std::int32_t> clientEnd, serverEnd;
};

class Logins : public ::testing::Test {
 protected:
  static constexpr CCS_Word kFrontEndBroker = 0x5EED;

  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(vesk::SetHostCalls(vesk::kAllHostCalls, &error)) << error;
    lsm_ = vesk::Module::Load(PWDLSM_PATH, &error).release();
    ASSERT_NE(lsm_, nullptr) << error;
    lcm_ = vesk::Module::Load(PWDLCM_PATH, &error).release();
    ASSERT_NE(lcm_, nullptr) << error;
    server_ = lsm_->FindVersioned("LSM00000009", "SHA1_VERSION_1.0.0");
    client_ = lcm_->FindVersioned("LCM00000009", "PXY_SHA1_VERSION_1.0.0");
    ASSERT_NE(server_, nullptr);
    ASSERT_NE(client_, nullptr);
    // A front end of the client's host shares the broker's key.
    ASSERT_NE(ATBX_OpenATB(kFrontEndBroker), 0);
  }
  static void TearDownTestSuite() {
    ATBX_CloseATB(kFrontEndBroker);
    delete lcm_;
    delete lsm_;
    lcm_ = lsm_ = nullptr;
  }

  static Outcome Login(vesk::Attempt& attempt) {
    const vesk::PairResult r = vesk::RunPair(attempt, client_, server_);
    EXPECT_TRUE(r.client.has_value() && r.server.has_value());
    EXPECT_EQ(attempt.Allocs().outstanding, 0u);
    return {r.client.value_or(1), r.server.value_or(1), attempt.EndOutcomes(vesk::Side::kClient),
            attempt.EndOutcomes(vesk::Side::kServer)};
  }
  static void ExpectSuccess(const Outcome& o) {
    EXPECT_EQ(o.client, 0);
    EXPECT_EQ(o.server, 0);
    EXPECT_EQ(o.clientEnd, std::vector<std::int32_t>{0});
    EXPECT_EQ(o.serverEnd, std::vector<std::int32_t>{0});
  }
  static void ExpectNoMatch(const Outcome& o) {
    EXPECT_EQ(o.client, kStatusLoginFailed);
    EXPECT_EQ(o.clientEnd, std::vector<std::int32_t>{kStatusLoginFailed});
    EXPECT_EQ(o.serverEnd, std::vector<std::int32_t>{kStatusLoginFailed});
  }

  // The Hedra Pivo answer: the password's Galt hash encrypted by the broker.
  static Bytes HedraPivoAnswer(const std::string& pw) {
    const Bytes keyReference = {1, 2, 3, 4}, salt = {9, 8, 7, 6};
    const Bytes galt = Galt(salt, ToBytes(pw));
    std::uint32_t length = 0;
    EXPECT_EQ(ATX_EncryptWithSecretKey(kFrontEndBroker, 16, galt.data(), 4, keyReference.data(), 0, &length, nullptr),
              kStatusBufferTooSmall);
    Bytes encrypted(length);
    EXPECT_EQ(ATX_EncryptWithSecretKey(kFrontEndBroker, 16, galt.data(), 4, keyReference.data(), length, &length,
                                       encrypted.data()),
              0);
    return Join({keyReference, salt, Le32(length), encrypted});
  }

  static vesk::Module* lsm_;
  static vesk::Module* lcm_;
  static vesk::Entry server_;
  static vesk::Entry client_;
};
vesk::Module* Logins::lsm_ = nullptr;
vesk::Module* Logins::lcm_ = nullptr;
vesk::Entry Logins::server_ = nullptr;
vesk::Entry Logins::client_ = nullptr;

const std::string kPassword = "Right Pass 7";
const std::string kWrong = "wrong pass 7";
const Bytes kSalt8 = Pattern(16, 0x80, 11);
const Bytes kGaltSalt = {0xA1, 0xB2, 0xC3, 0xD4};

// A "Password Hash" value of the given type with its trailing byte, the
// framework's password value absent.
std::function<void(vesk::Attempt&)> StoredHash(Bytes value) {
  return [value](vesk::Attempt& a) {
    a.SetPasswordValueAbsent(kStatusNoSuchValue);
    a.SetPasswordHash(value);
  };
}

TEST_F(Logins, EveryStoredTypeWithTheRightAndAWrongPassword) {
  const Bytes pw = ToBytes(kPassword);
  struct Case {
    const char* name;
    std::function<void(vesk::Attempt&)> store;
    bool syncs;  // the server holds a hash and asks for the password
  } const cases[] = {
      {"password value", [](vesk::Attempt& a) { a.SetPasswordValue(kPassword); }, false},
      {"Password Hash type 1", StoredHash(Join({Bytes{1}, pw})), false},
      {"Password Hash type 2", StoredHash(Join({Bytes{2}, Sha1(pw), Bytes{0}})), true},
      {"Password Hash type 3", StoredHash(Join({Bytes{3}, Md5(pw), Bytes{0}})), true},
      {"Password Hash type 4", StoredHash(Join({Bytes{4}, CryptText(kPassword, "q7")})), true},
      {"Password Hash type 8", StoredHash(Join({Bytes{8}, Sha1(Join({pw, kSalt8})), kSalt8, Bytes{0}})), true},
      {"Galt hash",
       [pw](vesk::Attempt& a) {
         a.SetPasswordValueAbsent(kStatusNotSupported);
         a.SetPasswordHashAbsent(kStatusNoHash);
         const Bytes g = Galt(kGaltSalt, pw);
         a.SetGaltHash(g, std::span<const std::uint8_t, 4>(kGaltSalt.data(), 4));
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      vesk::Attempt attempt;
      c.store(attempt);
      attempt.SetTypedPassword(kPassword);
      ExpectSuccess(Login(attempt));
      // After a login against a hash the server holds the password itself.
      if (c.syncs) {
        EXPECT_EQ(attempt.PasswordValue(), std::u16string(kPassword.begin(), kPassword.end()));
      }
    }
    {
      vesk::Attempt attempt;
      c.store(attempt);
      attempt.SetTypedPassword(kWrong);
      ExpectNoMatch(Login(attempt));
      EXPECT_TRUE(attempt.SetPasswordCalls().empty());
    }
  }
}

TEST_F(Logins, EveryDirectFormAnswerAgainstAPlainPassword) {
  struct Case {
    const char* name;
    std::uint32_t type;  // attribute 7; 0: none, the text is an encoded digest
    std::function<Bytes(const std::string&)> answer;
  } const cases[] = {
      {"plain password (type 1 opens the current form)", HASH_PLAIN, [](const std::string& pw) { return ToBytes(pw); }},
      {"CHAP", HASH_CHAP, ChapAnswer},
      {"MS-CHAP", HASH_MSCHAP, MsChapAnswer},
      {"CIFS", HASH_CIFS, CifsAnswer},
      {"CIFS encoded", 0, [](const std::string& pw) { return HexEncoded(7, CifsAnswer(pw)); }},
      {"Hedra Pivo", HASH_HEDRA_PIVO, HedraPivoAnswer},
      {"Hedra Pivo encoded", 0, [](const std::string& pw) { return HexEncoded(9, HedraPivoAnswer(pw)); }},
      {"AFP random-number exchange", HASH_AFP, [](const std::string& pw) { return AfpAnswer(pw, 2); }},
      {"AFP two-way exchange encoded", 0, [](const std::string& pw) { return HexEncoded(10, AfpAnswer(pw, 3)); }},
      {"Vesk Pelu", HASH_VESK_PELU, VeskPeluAnswer},
      {"Vesk Pelu encoded", 0, [](const std::string& pw) { return VeskPeluEncoded(VeskPeluAnswer(pw)); }},
  };
  for (const Case& c : cases) {
    for (const std::string& typed : {kPassword, kWrong}) {
      SCOPED_TRACE(std::string(c.name) + (typed == kPassword ? ", right password" : ", wrong password"));
      vesk::Attempt attempt;
      attempt.SetPasswordValue(kPassword);
      attempt.SetTypedPassword(c.answer(typed));
      if (c.type != 0) {
        attempt.SetTypedType(c.type);
      } else {
        attempt.SetTypedTypeAbsent(kStatusNoSuchAttribute);
      }
      const Outcome o = Login(attempt);
      if (typed == kPassword) {
        ExpectSuccess(o);
      } else {
        ExpectNoMatch(o);
      }
    }
  }
}

TEST_F(Logins, UppercaseFlagMatchesAMixedCaseStoredPassword) {
  struct Case {
    const char* name;
    bool flag;
    std::string typed;
    bool matches;
  } const cases[] = {
      {"case differs, flag set", true, "mIxEd CaSe pw", true},
      {"upper-cased, flag set", true, "MIXED CASE PW", true},
      {"case differs, no flag", false, "mIxEd CaSe pw", false},
      {"another password, flag set", true, "other pw", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    attempt.SetPasswordValue("MiXeD cAsE Pw");
    if (c.flag) attempt.SetPasswordFlags(vesk::kKindPasswordFlags22, PWDINFO_UPPERCASE_HASH);
    attempt.SetTypedPassword(c.typed);
    const Outcome o = Login(attempt);
    if (c.matches) {
      ExpectSuccess(o);
    } else {
      ExpectNoMatch(o);
    }
  }
}

TEST_F(Logins, UppercaseFlagWithAGaltHash) {
  // The directory's Galt hash was made from the upper-cased password; the
  // client's second entry is the Galt answer over its upper-cased copy.
  vesk::Attempt attempt;
  attempt.SetPasswordValueAbsent(kStatusNotSupported);
  attempt.SetPasswordHashAbsent(kStatusNoHash);
  const Bytes g = Galt(kGaltSalt, Upper("galt MiXed"));
  attempt.SetGaltHash(g, std::span<const std::uint8_t, 4>(kGaltSalt.data(), 4));
  attempt.SetPasswordFlags(vesk::kKindPasswordFlags22, PWDINFO_UPPERCASE_HASH);
  attempt.SetTypedPassword("galt mixed");
  ExpectSuccess(Login(attempt));
}

TEST_F(Logins, SyncAfterAHashLoginLetsAChapLoginSucceed) {
  const Bytes stored = Join({Bytes{2}, Sha1(ToBytes(kPassword)), Bytes{0}});
  // Against the hash alone a CHAP answer cannot be checked.
  {
    vesk::Attempt attempt;
    StoredHash(stored)(attempt);
    attempt.SetTypedPassword(ChapAnswer(kPassword));
    attempt.SetTypedType(HASH_CHAP);
    ExpectNoMatch(Login(attempt));
  }
  vesk::Attempt first;
  StoredHash(stored)(first);
  first.SetTypedPassword(kPassword);
  ExpectSuccess(Login(first));
  const auto synced = first.PasswordValue();
  ASSERT_TRUE(synced.has_value());

  // The next attempt reads the same directory, now with the password stored.
  vesk::Attempt second;
  second.SetPasswordValueUnits(*synced, first.PasswordValueFlags());
  second.SetPasswordHash(stored);
  second.SetTypedPassword(ChapAnswer(kPassword));
  second.SetTypedType(HASH_CHAP);
  ExpectSuccess(Login(second));
}

TEST_F(Logins, EachModuleCallsTheCryptoServiceUnderItsOwnIdentifier) {
  std::uint32_t clientId = 0, serverId = 0;
  // Against a stored SHA-1 digest only the client digests; a CHAP answer only the server.
  {
    vesk::Attempt attempt;
    StoredHash(Join({Bytes{2}, Sha1(ToBytes(kPassword)), Bytes{0}}))(attempt);
    attempt.SetTypedPassword(kPassword);
    TarnControl_Reset();
    ExpectSuccess(Login(attempt));
    ASSERT_EQ(TarnControl_LastModule("CCSX_Digest", &clientId), 0);
    EXPECT_EQ(TarnControl_CallCountFor("CCSX_Digest", clientId), TarnControl_CallCount("CCSX_Digest"));
  }
  {
    vesk::Attempt attempt;
    attempt.SetPasswordValue(kPassword);
    attempt.SetTypedPassword(ChapAnswer(kPassword));
    attempt.SetTypedType(HASH_CHAP);
    TarnControl_Reset();
    ExpectSuccess(Login(attempt));
    ASSERT_EQ(TarnControl_LastModule("CCSX_Digest", &serverId), 0);
    EXPECT_EQ(TarnControl_CallCountFor("CCSX_Digest", serverId), TarnControl_CallCount("CCSX_Digest"));
  }
  EXPECT_NE(clientId, serverId);
  EXPECT_NE(TarnControl_IsRegistered(clientId), 0);
  EXPECT_NE(TarnControl_IsRegistered(serverId), 0);
}

TEST_F(Logins, ConcurrentLoginsEachSeeOnlyTheirOwnPassword) {
  // Each attempt's state belongs to its own call: logins on many threads at
  // once in both modules succeed with their own password and fail with a
  // neighbour's.
  constexpr int kAttempts = 8;
  std::vector<std::unique_ptr<vesk::Attempt>> attempts;
  for (int i = 0; i < kAttempts; ++i) {
    attempts.push_back(std::make_unique<vesk::Attempt>());
    attempts.back()->SetPasswordValue("user pw " + std::to_string(i));
    attempts.back()->SetTypedPassword("user pw " + std::to_string(i % 2 == 0 ? i : i - 1));
  }
  std::vector<vesk::PairResult> results(kAttempts);
  std::vector<std::thread> threads;
  for (int i = 0; i < kAttempts; ++i) {
    threads.emplace_back([&, i] { results[i] = vesk::RunPair(*attempts[i], client_, server_); });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kAttempts; ++i) {
    SCOPED_TRACE("attempt " + std::to_string(i));
    EXPECT_EQ(results[i].client, std::optional<std::int32_t>(i % 2 == 0 ? 0 : kStatusLoginFailed));
    EXPECT_EQ(attempts[i]->Allocs().outstanding, 0u);
  }
}

}  // namespace
}  // namespace wistra
