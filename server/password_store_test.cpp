// The password sources of the real pwdlsm.so, driven through the framework
// stand-in's statuses: what the record offers the client, what a login is
// then checked against, and what a synced password is stored as.
#include <dlfcn.h>

#include <array>
#include <functional>

#include "method/status.h"
#include "platform/tarn/tarn_control.h"
#include "server/lsm_test_env.h"

namespace lsm_test {
namespace {

using namespace wistra;

constexpr std::string_view kPassword = "pass word";
const std::array<std::uint8_t, 4> kGaltSalt = {0x11, 0x22, 0x33, 0x44};

class PasswordStoreTest : public LsmTest {
 protected:
  Offer OfferFor(vesk::Attempt& attempt) {
    Offer offer;
    Session run(*this, attempt);
    EXPECT_TRUE(Open(run.client, &offer));
    run.client.End();
    run.server.Join();
    return offer;
  }
};

struct SourceCase {
  const char* name;
  std::function<void(vesk::Attempt&)> prepare;
  std::int32_t status;  // the record's
  std::int32_t hashId;
  std::uint32_t flags;
  // The extra data sent, when it is not a fresh random challenge.
  std::optional<Bytes> extra;
  std::uint32_t extraLen;
};

// n three-byte characters.
std::string Euros(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += "\xE2\x82\xAC";
  return out;
}

Bytes SaltedSha1(std::string_view password, std::span<const std::uint8_t> salt) {
  return Join({Sha1(Join({Of(password), salt})), salt});
}

TEST_F(PasswordStoreTest, RecordComesFromTheFirstSourceThatHasSomething) {
  const Bytes salt16 = Of("0123456789abcdef");
  const Bytes crypt = CryptWithZero(kPassword, "ab");
  const std::string cryptText(crypt.begin(), crypt.end() - 1);
  const auto valueRefused = [](vesk::Attempt& a) { a.SetPasswordValueAbsent(kStatusNotSupported); };
  const auto galt = [](vesk::Attempt& a) { a.SetGaltHash(Galt(kGaltSalt, kPassword), kGaltSalt); };
  const std::vector<SourceCase> cases = {
      {"password value with its flag",
       [](vesk::Attempt& a) { a.SetPasswordValue(std::string(kPassword), 1); a.SetPasswordHash(StoredText(2, "x")); },
       1, HASH_SALTED_SHA1, PWDINFO_PASSWORD_FLAG, std::nullopt, 16},
      {"flags of both kinds", [](vesk::Attempt& a) {
         a.SetPasswordValue(std::string(kPassword));
         a.SetPasswordFlags(22, 0x100 | PWDINFO_UPPERCASE_HASH);
         a.SetPasswordFlags(18, 0x8);
       }, 1, HASH_SALTED_SHA1, 0x10C, std::nullopt, 16},
      {"refused, stored type 1", [&](vesk::Attempt& a) { valueRefused(a); a.SetPasswordHash(StoredText(1, kPassword)); },
       1, HASH_SALTED_SHA1, 0, std::nullopt, 16},
      {"refused, stored type 2",
       [&](vesk::Attempt& a) { valueRefused(a); a.SetPasswordHash(StoredValue(2, Sha1(Of(kPassword)))); }, 1,
       HASH_SHA1, PWDINFO_SYNC_PASSWORD, Bytes{}, 0},
      {"refused, stored type 3",
       [&](vesk::Attempt& a) { valueRefused(a); a.SetPasswordHash(StoredValue(3, Md5(Of(kPassword)))); }, 1,
       HASH_MD5, PWDINFO_SYNC_PASSWORD, Bytes{}, 0},
      {"refused, stored type 4",
       [&](vesk::Attempt& a) { valueRefused(a); a.SetPasswordHash(StoredText(4, cryptText)); }, 1, HASH_CRYPT,
       PWDINFO_SYNC_PASSWORD, Of("ab"), 2},
      {"refused, stored type 4 without a whole salt",
       [&](vesk::Attempt& a) { valueRefused(a); a.SetPasswordHash(StoredText(4, "a")); }, 1, HASH_CRYPT,
       PWDINFO_SYNC_PASSWORD, Bytes{}, 0},
      {"refused, stored type 8 without salt (22 bytes)",
       [&](vesk::Attempt& a) { valueRefused(a); a.SetPasswordHash(StoredValue(8, Sha1(Of(kPassword)))); }, 1,
       HASH_SALTED_SHA1, PWDINFO_SYNC_PASSWORD, Bytes{}, 0},
      {"refused, stored type 8 with a 16-byte salt (38 bytes)",
       [&](vesk::Attempt& a) { valueRefused(a); a.SetPasswordHash(StoredValue(8, SaltedSha1(kPassword, salt16))); },
       1, HASH_SALTED_SHA1, PWDINFO_SYNC_PASSWORD, salt16, 16},
      {"refused, stored type 9, opaque data",
       [&](vesk::Attempt& a) { valueRefused(a); a.SetPasswordHash(StoredValue(9, Of("opaque"))); }, 1,
       HASH_HEDRA_PIVO, PWDINFO_SYNC_PASSWORD, Bytes{}, 0},
      {"refused, no stored hash, Galt hash", [&](vesk::Attempt& a) {
         valueRefused(a);
         a.SetPasswordHashAbsent(kStatusNoHash);
         galt(a);
       }, 1, HASH_GALT, PWDINFO_SYNC_PASSWORD, std::nullopt, 20},
      {"no value, no stored hash, Galt hash", [&](vesk::Attempt& a) {
         a.SetPasswordValueAbsent(kStatusNoSuchValue);
         a.SetPasswordHashAbsent(kStatusNoHash);
         galt(a);
       }, 1, HASH_GALT, 0, std::nullopt, 20},
      {"value says no hash: straight to the Galt hash", [&](vesk::Attempt& a) {
         a.SetPasswordValueAbsent(kStatusNoHash);
         a.SetPasswordHash(StoredText(1, kPassword));
         galt(a);
       }, 1, HASH_GALT, 0, std::nullopt, 20},
      {"a status outside the sets stops the search", [&](vesk::Attempt& a) {
         a.SetPasswordValueAbsent(-7100);
         a.SetPasswordHash(StoredText(1, kPassword));
         galt(a);
       }, -7100, HASH_SALTED_SHA1, 0, Bytes{}, 16},
      {"nothing anywhere", [](vesk::Attempt& a) { a.SetPasswordValueAbsent(-603); a.SetPasswordHashAbsent(-602); },
       kStatusNoHash, HASH_SALTED_SHA1, 0, Bytes{}, 16},
  };
  for (const SourceCase& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    c.prepare(attempt);
    const Offer offer = OfferFor(attempt);
    EXPECT_EQ(offer.record.status, c.status);
    EXPECT_EQ(offer.record.hashId, c.hashId);
    EXPECT_EQ(offer.record.flags, c.flags);
    EXPECT_EQ(offer.record.extraLen, c.extraLen);
    if (c.extra) {
      EXPECT_EQ(offer.extra, *c.extra);
    } else if (c.hashId == HASH_GALT) {
      ASSERT_EQ(offer.extra.size(), 20u);
      EXPECT_EQ(Bytes(offer.extra.begin(), offer.extra.begin() + 4), Bytes(kGaltSalt.begin(), kGaltSalt.end()));
    }
    EXPECT_EQ(attempt.Allocs().outstanding, 0u);
  }
}

// A Galt challenge that could not be drawn is neither offered nor checked.
TEST_F(PasswordStoreTest, UndrawnGaltChallengeEndsTheAttempt) {
  const std::int32_t kDrawFailed = -7200;
  for (bool direct : {false, true}) {
    SCOPED_TRACE(direct ? "direct form" : "current form");
    vesk::Attempt attempt;
    attempt.SetPasswordValueAbsent(kStatusNoSuchValue);
    attempt.SetPasswordHashAbsent(kStatusNoHash);
    const Bytes hash = Galt(kGaltSalt, kPassword);
    attempt.SetGaltHash(hash, kGaltSalt);
    ASSERT_EQ(TarnControl_FailNext("ATX_GetRandom", kDrawFailed, 1), 0);
    Session run(*this, attempt);
    if (direct) {
      // What an answer to a challenge of zero bytes would be.
      Answer(run.client, HASH_GALT, 0, Sha1(Join({hash, Bytes(16)})));
      EXPECT_EQ(Verdict(run.client), 0u);
      EXPECT_EQ(run.server.Join(), 0);
    } else {
      Offer offer;
      ASSERT_TRUE(Open(run.client, &offer));
      EXPECT_EQ(offer.record.status, kDrawFailed);
      EXPECT_EQ(offer.record.hashId, HASH_GALT);
      EXPECT_EQ(offer.record.extraLen, 0u);
      EXPECT_TRUE(vesk::ExpectNoMore(run.client));
      EXPECT_EQ(run.server.Join(), kDrawFailed);
    }
  }
}

// The stored secret each source yields, seen through a plain-password login.
TEST_F(PasswordStoreTest, EachSourceIsCheckedAgainstWhatItHolds) {
  struct Case {
    const char* name;
    std::function<void(vesk::Attempt&)> prepare;
    bool matches;
  };
  const auto refused = [](vesk::Attempt& a) { a.SetPasswordValueAbsent(-603); };
  const std::vector<Case> cases = {
      {"password value", [](vesk::Attempt& a) { a.SetPasswordValue(std::string(kPassword)); }, true},
      {"stored text", [&](vesk::Attempt& a) { refused(a); a.SetPasswordHash(StoredText(1, kPassword)); }, true},
      {"stored text of another password",
       [&](vesk::Attempt& a) { refused(a); a.SetPasswordHash(StoredText(1, "pass words")); }, false},
      {"stored text with its zero and more",
       [&](vesk::Attempt& a) { refused(a); a.SetPasswordHash(Join({StoredText(1, kPassword), Of(std::string("\0zz", 3))})); },
       true},
      {"empty stored value", [&](vesk::Attempt& a) { refused(a); a.SetPasswordHash(Bytes{}); }, false},
      {"value says no hash, though a stored text exists", [](vesk::Attempt& a) {
         a.SetPasswordValueAbsent(kStatusNoHash);
         a.SetPasswordHash(StoredText(1, kPassword));
       }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    c.prepare(attempt);
    EXPECT_EQ(DirectVerdict(attempt, HASH_PLAIN, Of(kPassword)), c.matches ? 1u : 0u);
  }
}

// Secrets beyond the working buffers are refused whole, never cut into a
// shorter secret that a shorter answer would match.
TEST_F(PasswordStoreTest, SecretsBeyondTheBuffersAreRefusedNotCut) {
  struct Case {
    const char* name;
    std::string password;
    bool asValue;  // password value, else stored text
    bool matches;
  };
  const std::string euros170 = Euros(170), euros171 = Euros(171);
  const std::vector<Case> cases = {
      {"value of 511 characters", std::string(511, 'p'), true, true},
      {"value of 512 characters", std::string(512, 'p'), true, false},
      {"value of 170 three-byte characters", euros170, true, true},
      {"value of 171 three-byte characters (513 bytes)", euros171, true, false},
      {"stored text of 510 bytes", std::string(510, 's'), false, true},
      {"stored text of 511 bytes", std::string(511, 's'), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}}) {
      SCOPED_TRACE(cut);
      if (cut != 0 && c.matches) continue;
      vesk::Attempt attempt;
      if (c.asValue) {
        ASSERT_TRUE(attempt.SetPasswordValue(c.password));
      } else {
        attempt.SetPasswordValueAbsent(kStatusNoSuchValue);
        attempt.SetPasswordHash(StoredText(1, c.password));
      }
      // Whole, and cut short by a few bytes (what a silent cut would leave).
      const Bytes answer = Of(std::string_view(c.password).substr(0, c.password.size() - cut));
      EXPECT_EQ(DirectVerdict(attempt, HASH_PLAIN, answer), c.matches ? 1u : 0u);
    }
  }
}

// The sync step's store: through the framework, or, when the framework has no
// password value, as a stored plain text.
TEST_F(PasswordStoreTest, SyncedPasswordGoesWhereTheFrameworkKeepsIt) {
  struct Case {
    const char* name;
    vesk::HostCallSet calls;
    std::string password;
    std::int32_t setPasswordStatus;  // injected; 0 for none
    bool viaFramework;
    bool asAttribute;
  };
  const std::vector<Case> cases = {
      {"framework stores it", vesk::kAllHostCalls, "new one", 0, true, false},
      {"framework has no value (-1697)", vesk::kAllHostCalls, "new one", kStatusNoSuchValue, false, true},
      {"host lacks MAF_SetPassword", vesk::kAllHostCalls & ~vesk::kSetPassword, "new one", 0, false, true},
      {"511 characters", vesk::kAllHostCalls, std::string(511, 'n'), 0, true, false},
      {"512 characters refused", vesk::kAllHostCalls, std::string(512, 'n'), 0, false, false},
      {"fallback of 1023 bytes", vesk::kAllHostCalls & ~vesk::kSetPassword, Euros(341), 0, false, true},
      {"fallback of 1026 bytes refused", vesk::kAllHostCalls & ~vesk::kSetPassword, Euros(342), 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reload(c.calls);
    vesk::Attempt attempt;
    attempt.SetPasswordValueAbsent(kStatusNoSuchValue);
    attempt.SetPasswordHash(StoredValue(HASH_MD5, Md5(Of(kPassword))));
    if (c.setPasswordStatus != 0) attempt.FailCall(vesk::Call::kSetPassword, 1, c.setPasswordStatus);
    {
      Session run(*this, attempt);
      Offer offer;
      ASSERT_TRUE(Open(run.client, &offer));
      Answer(run.client, HASH_MD5, ANSWER_PASSWORD_CHANGE, Md5(Of(kPassword)));
      ASSERT_EQ(Verdict(run.client), 1u);
      run.client.SendX(Join({Of(c.password), Bytes{0}}));
      EXPECT_TRUE(vesk::ExpectMessage(run.client, vesk::Le32(c.viaFramework || c.asAttribute ? 1 : 0)));
      EXPECT_EQ(run.server.Join(), 0);
    }
    const std::optional<std::u16string> value = attempt.PasswordValue();
    if (c.viaFramework) {
      ASSERT_TRUE(value.has_value());
      EXPECT_EQ(*value, std::u16string(c.password.begin(), c.password.end()));
    } else {
      EXPECT_FALSE(value.has_value());
    }
    const std::optional<Bytes> stored = attempt.Attribute(24, u"Password Hash");
    if (c.asAttribute) {
      EXPECT_EQ(stored, StoredText(HASH_PLAIN, c.password));
    } else {
      EXPECT_EQ(stored, StoredValue(HASH_MD5, Md5(Of(kPassword))));
    }
  }
}

// A failed lookup is never retried, even when the host gains the call later;
// a fresh load looks again.
TEST_F(PasswordStoreTest, FailedLookupIsNotRetried) {
  Reload(vesk::kAllHostCalls & ~vesk::kGetPassword);
  const auto prepare = [](vesk::Attempt& a) {
    a.SetPasswordValue(std::string(kPassword));
    a.SetPasswordHash(StoredValue(HASH_SHA1, Sha1(Of("stored only"))));
  };
  {
    vesk::Attempt attempt;
    prepare(attempt);
    EXPECT_EQ(OfferFor(attempt).record.hashId, HASH_SHA1);
  }
  void* late = dlopen(vesk::HostCallLibraryPath(vesk::kGetPassword).c_str(), RTLD_NOW | RTLD_GLOBAL);
  ASSERT_NE(late, nullptr) << dlerror();
  {
    vesk::Attempt attempt;
    prepare(attempt);
    EXPECT_EQ(OfferFor(attempt).record.hashId, HASH_SHA1);
    EXPECT_EQ(attempt.CallCount(vesk::Call::kGetPassword, Side::kServer), 0u);
  }
  dlclose(late);
  Reload(vesk::kAllHostCalls);
  vesk::Attempt attempt;
  prepare(attempt);
  EXPECT_EQ(OfferFor(attempt).record.hashId, HASH_SALTED_SHA1);
}

}  // namespace
}  // namespace lsm_test
