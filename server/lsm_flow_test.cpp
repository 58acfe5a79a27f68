// Whole attempts of the real pwdlsm.so, the client scripted byte by byte: the
// failure table, the edge cases of the exchange and the sync step.
#include <functional>

#include "method/status.h"
#include "platform/tarn/tarn_control.h"
#include "server/lsm_test_env.h"

namespace lsm_test {
namespace {

using namespace wistra;

constexpr std::string_view kPassword = "Correct Horse";

class LsmFlowTest : public LsmTest {};

// How a scripted attempt goes, and what the server must have done by the end.
struct FailureCase {
  const char* name;
  std::function<void(vesk::Attempt&)> prepare;
  std::function<void(vesk::Peer&)> play;
  std::int32_t result;
  // Message sizes the server sends, in order.
  std::vector<std::size_t> sent;
};

TEST_F(LsmFlowTest, EveryFailureEndsOnceWithItsStatus) {
  const auto plain = [](vesk::Attempt& a) { a.SetPasswordValue(std::string(kPassword)); };
  const auto marker = [](vesk::Peer& c) { c.Send(vesk::Le32s({PROTOCOL_MARKER, 0})); };
  const auto opening = [&](vesk::Peer& c) {
    marker(c);
    c.Send(vesk::Le32(1));
  };
  const std::vector<FailureCase> cases = {
      {"first message empty", plain, [](vesk::Peer& c) { c.SendEmpty(); }, kStatusLoginFailed, {}},
      {"version message empty", plain, [&](vesk::Peer& c) { marker(c); c.SendEmpty(); }, kStatusLoginFailed, {}},
      {"version 2", plain, [&](vesk::Peer& c) { marker(c); c.Send(vesk::Le32(2)); }, kStatusNotSupported, {16}},
      {"marker in a longer first message, version 0", plain,
       [](vesk::Peer& c) { c.Send(vesk::Le32s({PROTOCOL_MARKER, 7, 9})); c.Send(vesk::Le32(0)); },
       kStatusNotSupported, {16}},
      {"no password information", [](vesk::Attempt&) {}, opening, kStatusNoHash, {16}},
      {"answer header empty", plain, [&](vesk::Peer& c) { opening(c); c.SendEmpty(); },
       kStatusEmptyAnswerHeader, {16, 16}},
      {"answer empty", plain,
       [&](vesk::Peer& c) { opening(c); c.Send(vesk::Le32s({HASH_SALTED_SHA1, 0})); c.SendEmpty(); },
       kStatusLoginFailed, {16, 16}},
      {"direct answer empty", plain,
       [](vesk::Peer& c) { c.Send(vesk::Le32s({HASH_PLAIN, 0})); c.SendEmpty(); }, kStatusLoginFailed, {}},
      {"first read fails", [&](vesk::Attempt& a) { plain(a); a.FailCall(vesk::Call::kRead, 1, -7001); },
       [](vesk::Peer&) {}, -7001, {}},
      {"answer read fails", [&](vesk::Attempt& a) { plain(a); a.FailCall(vesk::Call::kRead, 2, -7002); },
       [](vesk::Peer& c) { c.Send(vesk::Le32s({HASH_PLAIN, 0})); }, -7002, {}},
      {"record send fails", [&](vesk::Attempt& a) { plain(a); a.FailCall(vesk::Call::kWrite, 1, -7003); },
       opening, -7003, {}},
      {"extra data send fails", [&](vesk::Attempt& a) { plain(a); a.FailCall(vesk::Call::kWrite, 2, -7004); },
       opening, -7004, {16}},
      {"verdict send fails", [&](vesk::Attempt& a) { plain(a); a.FailCall(vesk::Call::kWrite, 1, -7005); },
       [](vesk::Peer& c) { c.Send(vesk::Le32s({HASH_PLAIN, 0})); c.Send(Of(kPassword)); }, -7005, {}},
      {"answer does not match", plain,
       [](vesk::Peer& c) { c.Send(vesk::Le32s({HASH_PLAIN, 0})); c.Send(Of("Correct Horsf")); }, kStatusOk, {4}},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    c.prepare(attempt);
    {
      Session run(*this, attempt);
      c.play(run.client);
      std::vector<std::size_t> sent;
      while (auto m = run.client.Receive(std::chrono::milliseconds(5000))) sent.push_back(m->bytes.size());
      EXPECT_EQ(run.server.Join(), c.result);
      EXPECT_EQ(sent, c.sent);
    }
    EXPECT_EQ(attempt.BeginCount(Side::kServer), 1u);
    EXPECT_EQ(attempt.EndOutcomes(Side::kServer), std::vector<std::int32_t>{kStatusLoginFailed});
    const std::vector<std::string> lines = attempt.TraceLines(Side::kServer);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "PWD LSM: started");
    EXPECT_EQ(lines.back(), "PWD LSM: login failed");
    EXPECT_EQ(attempt.Allocs().outstanding, 0u);
  }
}

TEST_F(LsmFlowTest, VersionRefusalIsSentInTheRecord) {
  vesk::Attempt attempt;
  attempt.SetPasswordValue(std::string(kPassword));
  Session run(*this, attempt);
  Offer offer;
  ASSERT_TRUE(Open(run.client, &offer, 2));
  EXPECT_EQ(offer.record.status, kStatusNotSupported);
  EXPECT_TRUE(vesk::ExpectNoMore(run.client));
  EXPECT_EQ(run.server.Join(), kStatusNotSupported);
}

TEST_F(LsmFlowTest, NoBufferOrNoBeginMeansNoEnd) {
  {
    SCOPED_TRACE("message buffer not allocated");
    vesk::Attempt attempt;
    attempt.FailMalloc(1);
    Session run(*this, attempt);
    EXPECT_EQ(run.server.Join(), kStatusNoMemory);
    EXPECT_EQ(attempt.BeginCount(Side::kServer), 0u);
    EXPECT_TRUE(attempt.EndOutcomes(Side::kServer).empty());
    EXPECT_EQ(attempt.TraceLines(Side::kServer), std::vector<std::string>{"PWD LSM: started"});
  }
  {
    SCOPED_TRACE("MAF_Begin fails");
    vesk::Attempt attempt;
    attempt.FailBegin(-7010);
    Session run(*this, attempt);
    EXPECT_EQ(run.server.Join(), -7010);
    EXPECT_TRUE(attempt.EndOutcomes(Side::kServer).empty());
    EXPECT_EQ(attempt.TraceLines(Side::kServer), std::vector<std::string>{"PWD LSM: started"});
    EXPECT_EQ(attempt.Allocs().outstanding, 0u);
  }
}

// A plain password is asked for as salted SHA-1 over 16 bytes drawn afresh.
TEST_F(LsmFlowTest, PlainPasswordIsAskedForWithAFreshChallenge) {
  std::vector<Bytes> challenges;
  for (int i = 0; i < 2; ++i) {
    vesk::Attempt attempt;
    attempt.SetPasswordValue(std::string(kPassword));
    {
      Session run(*this, attempt);
      Offer offer;
      ASSERT_TRUE(Open(run.client, &offer));
      EXPECT_EQ(offer.record.status, 1);
      EXPECT_EQ(offer.record.hashId, HASH_SALTED_SHA1);
      ASSERT_EQ(offer.extra.size(), 16u);
      challenges.push_back(offer.extra);
      Answer(run.client, HASH_SALTED_SHA1, 0, Sha1(Join({Of(kPassword), offer.extra})));
      EXPECT_EQ(Verdict(run.client), 1u);
      EXPECT_EQ(run.server.Join(), 0);
    }
    EXPECT_EQ(attempt.EndOutcomes(Side::kServer), std::vector<std::int32_t>{0});
    EXPECT_EQ(attempt.TraceLines(Side::kServer),
              (std::vector<std::string>{"PWD LSM: started", "PWD LSM: multiHashes = 0",
                                        "PWD LSM: Calling verifyPassword", "PWD LSM: login successful"}));
  }
  EXPECT_NE(challenges[0], challenges[1]);
}

TEST_F(LsmFlowTest, UndrawnChallengeIsNeverSent) {
  vesk::Attempt attempt;
  attempt.SetPasswordValue(std::string(kPassword));
  ASSERT_EQ(TarnControl_FailNext("ATX_GetRandom", -7020, 1), 0);
  Session run(*this, attempt);
  Offer offer;
  ASSERT_TRUE(Open(run.client, &offer));
  EXPECT_EQ(offer.record.status, -7020);
  EXPECT_EQ(offer.record.extraLen, 0u);
  EXPECT_TRUE(vesk::ExpectNoMore(run.client));
  EXPECT_EQ(run.server.Join(), -7020);
  EXPECT_EQ(attempt.EndOutcomes(Side::kServer), std::vector<std::int32_t>{kStatusLoginFailed});
}

// A 4-byte header carries no flags: no multi-hash walk, and no sync after a match.
TEST_F(LsmFlowTest, FourByteHeaderMeansNoFlags) {
  vesk::Attempt attempt;
  attempt.SetPasswordValue(std::string(kPassword));
  Session run(*this, attempt);
  run.client.Send(vesk::Le32(HASH_PLAIN));
  run.client.Send(Of(kPassword));
  EXPECT_EQ(Verdict(run.client), 1u);
  EXPECT_TRUE(vesk::ExpectNoMore(run.client));
  EXPECT_EQ(run.server.Join(), 0);
  EXPECT_EQ(attempt.TraceLines(Side::kServer),
            (std::vector<std::string>{"PWD LSM: started", "PWD LSM: Password change not requested",
                                      "PWD LSM: Calling verifyPassword", "PWD LSM: login successful"}));
  EXPECT_EQ(attempt.CallCount(vesk::Call::kXRead, Side::kServer), 0u);
}

TEST_F(LsmFlowTest, MultiHashWithoutUpperCaseRequestIsNotChecked) {
  vesk::Attempt attempt;
  attempt.SetPasswordValue(std::string(kPassword));
  Session run(*this, attempt);
  Offer offer;
  ASSERT_TRUE(Open(run.client, &offer));
  ASSERT_EQ(offer.record.flags & PWDINFO_UPPERCASE_HASH, 0u);
  const Bytes right = Sha1(Join({Of(kPassword), offer.extra}));
  Bytes multi(64);
  multi.resize(EncodeMultiHashAnswer(right, right, multi));
  Answer(run.client, HASH_SALTED_SHA1, ANSWER_MULTI_HASHES, multi);
  EXPECT_EQ(Verdict(run.client), 0u);
  EXPECT_EQ(run.server.Join(), 0);
  EXPECT_EQ(attempt.EndOutcomes(Side::kServer), std::vector<std::int32_t>{kStatusLoginFailed});
  EXPECT_TRUE(LinesWith(attempt, "PWD LSM: Calling").empty());
}

// The sync step after a login against a hash.
class LsmSyncTest : public LsmTest {
 protected:
  // Logs in against a stored SHA-1 value with the password-change flag set;
  // returns the verdict.
  std::optional<std::uint32_t> LogIn(vesk::Peer& client, Offer* offer) {
    if (!Open(client, offer)) return std::nullopt;
    EXPECT_NE(offer->record.flags & PWDINFO_SYNC_PASSWORD, 0u);
    Answer(client, HASH_SHA1, ANSWER_PASSWORD_CHANGE, Sha1(Of(kPassword)));
    return Verdict(client);
  }
  void Prepare(vesk::Attempt& attempt) {
    attempt.SetPasswordValueAbsent(kStatusNoSuchValue);
    attempt.SetPasswordHash(StoredValue(HASH_SHA1, Sha1(Of(kPassword))));
    attempt.SetPasswordFlags(22, 0x10 | PWDINFO_PASSWORD_FLAG);
    attempt.SetPasswordFlags(18, 0x08);
  }
};

TEST_F(LsmSyncTest, SyncedPasswordIsStoredAndItsBufferWiped) {
  vesk::Attempt attempt;
  Prepare(attempt);
  const std::string newPassword = "n\xC3\xA9w password";
  const int watch = attempt.WatchSecret(newPassword);
  {
    Session run(*this, attempt);
    Offer offer;
    ASSERT_EQ(LogIn(run.client, &offer), 1u);
    Bytes sync = Of(newPassword);
    sync.push_back(0);
    run.client.SendX(sync);
    EXPECT_TRUE(vesk::ExpectMessage(run.client, vesk::Le32(1)));
    EXPECT_EQ(run.server.Join(), 0);
  }
  const std::vector<vesk::SetPasswordCall> calls = attempt.SetPasswordCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].units, std::u16string(u"n\u00E9w password") + u'\0');
  EXPECT_EQ(calls[0].flags, 0x18u);
  EXPECT_EQ(attempt.EndOutcomes(Side::kServer), std::vector<std::int32_t>{0});
  EXPECT_EQ(LinesWith(attempt, "PWD LSM: setPassword"), std::vector<std::string>{"PWD LSM: setPassword successful"});
  EXPECT_EQ(attempt.TraceLines(Side::kServer).back(), "PWD LSM: login successful");
  EXPECT_TRUE(attempt.FreedHolding(watch).empty());
  EXPECT_EQ(attempt.Allocs().outstanding, 0u);
}

TEST_F(LsmSyncTest, FailedOrEmptySyncLeavesTheLoginSuccessful) {
  struct Case {
    const char* name;
    Bytes sync;
    std::int32_t setPasswordStatus;  // 0: the framework stores it
    std::optional<std::uint32_t> syncResult;
    std::vector<std::string> traced;
  };
  const std::vector<Case> cases = {
      {"empty sync message", {}, 0, std::nullopt, {}},
      {"framework refuses", Join({Of("other"), Bytes{0}}), -7030, 0u, {"PWD LSM: setPassword not successful"}},
      {"not UTF-8", Bytes{'a', 0xC3, 0}, 0, 0u, {"PWD LSM: setPassword not successful"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    Prepare(attempt);
    if (c.setPasswordStatus != 0) attempt.FailCall(vesk::Call::kSetPassword, 1, c.setPasswordStatus);
    {
      Session run(*this, attempt);
      Offer offer;
      ASSERT_EQ(LogIn(run.client, &offer), 1u);
      run.client.Send(c.sync, vesk::Via::kX);
      if (c.syncResult) {
        EXPECT_TRUE(vesk::ExpectMessage(run.client, vesk::Le32(*c.syncResult)));
      }
      EXPECT_TRUE(vesk::ExpectNoMore(run.client));
      EXPECT_EQ(run.server.Join(), 0);
    }
    EXPECT_EQ(attempt.EndOutcomes(Side::kServer), std::vector<std::int32_t>{0});
    EXPECT_EQ(LinesWith(attempt, "PWD LSM: setPassword"), c.traced);
    EXPECT_EQ(attempt.PasswordValue(), std::nullopt);
    EXPECT_EQ(attempt.Attribute(24, u"Password Hash"), StoredValue(HASH_SHA1, Sha1(Of(kPassword))));
  }
}

}  // namespace
}  // namespace lsm_test
