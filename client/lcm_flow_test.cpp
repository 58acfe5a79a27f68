// The real pwdlcm.so, loaded as the framework loads it, driven by a server that
// the test scripts message by message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "method/status.h"
#include "method/wire.h"
#include "platform/tarn/tarn_control.h"
#include "platform/vesk/vesk.h"
#include "platform/vesk/vesk_gtest.h"
#include "tests/support/reference.h"

namespace wistra {
namespace {

using reference::Galt;
using reference::Join;
using reference::Pattern;
using reference::Sha1;
using vesk::Bytes;
using vesk::Le32s;
using vesk::ToBytes;

Bytes Upper(Bytes b) {
  for (auto& c : b) c = static_cast<std::uint8_t>(std::toupper(c));
  return b;
}
// The crypto service's Galt answer: SHA-1 over the Galt hash of the password
// under the salt, followed by the challenge behind the salt.
Bytes GaltAnswer(const Bytes& extra, const Bytes& password) {
  const std::span<const std::uint8_t> salted(extra);
  return Sha1(Join({Galt(salted.first(4), password), salted.subspan(4)}));
}
Bytes MultiHash(const Bytes& plain, const Bytes& upper) {
  return Join({Le32s({2, 0, static_cast<std::uint32_t>(plain.size())}), plain,
               Le32s({1, static_cast<std::uint32_t>(upper.size())}), upper});
}
Bytes Record(std::int32_t status, std::uint32_t flags, std::int32_t hashId, std::uint32_t extraLen) {
  return Le32s({static_cast<std::uint32_t>(status), flags, static_cast<std::uint32_t>(hashId), extraLen});
}
const Bytes kOpening = Le32s({0xFFFFFFFFu, 0});
const Bytes kVersion = Le32s({1});

class LcmFlow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(vesk::SetHostCalls(vesk::kAllHostCalls, &error)) << error;
    module_ = vesk::Module::Load(PWDLCM_PATH, &error).release();
    ASSERT_NE(module_, nullptr) << error;
    entry_ = module_->FindVersioned("LCM00000009", "PXY_SHA1_VERSION_1.0.0");
    ASSERT_NE(entry_, nullptr);
  }
  static void TearDownTestSuite() {
    delete module_;
    module_ = nullptr;
  }

  // Runs the client entry against `server`, the scripted peer; returns what the entry returned.
  std::int32_t Run(const std::function<void(vesk::Peer&)>& server) {
    vesk::Peer peer = attempt_.Play(vesk::Side::kServer);
    vesk::EntryThread client(attempt_, vesk::Side::kClient, entry_);
    server(peer);
    const auto result = client.Join();
    EXPECT_TRUE(result.has_value());
    EXPECT_EQ(attempt_.Allocs().outstanding, 0u);
    return result.value_or(1);
  }
  // The opening and version messages of the current form.
  static void ExpectOpening(vesk::Peer& server) {
    EXPECT_TRUE(vesk::ExpectMessage(server, kOpening));
    EXPECT_TRUE(vesk::ExpectMessage(server, kVersion));
  }
  std::vector<std::int32_t> Outcomes() const { return attempt_.EndOutcomes(vesk::Side::kClient); }
  std::vector<std::string> Lines() const { return attempt_.TraceLines(vesk::Side::kClient); }
  bool Traced(const std::string& line) const {
    const auto lines = Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  static vesk::Module* module_;
  static vesk::Entry entry_;
  vesk::Attempt attempt_;
};
vesk::Module* LcmFlow::module_ = nullptr;
vesk::Entry LcmFlow::entry_ = nullptr;

TEST_F(LcmFlow, WithoutAttributeSevenAnswersTheSaltedSha1Request) {
  attempt_.SetTypedPassword("Pass word");
  const Bytes challenge = Pattern(16, 3, 5);
  const std::int32_t rc = Run([&](vesk::Peer& server) {
    ExpectOpening(server);
    server.Send(Record(1, 0, HASH_SALTED_SHA1, 16));
    server.Send(challenge);
    EXPECT_TRUE(vesk::ExpectMessage(server, Le32s({HASH_SALTED_SHA1, 0})));
    EXPECT_TRUE(vesk::ExpectMessage(server, Sha1(Join({ToBytes("Pass word"), challenge}))));
    server.Send(Le32s({1}));
    EXPECT_TRUE(vesk::ExpectNoMore(server));
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Outcomes(), std::vector<std::int32_t>{0});
  EXPECT_EQ(Lines(), (std::vector<std::string>{"PWD LCM: started", "PWD LCM: MAF_Read(wire_pwdInfo) replyLen 16",
                                               "PWD LCM: hash id 8 requested", "PWD LCM: login successful"}));
}

TEST_F(LcmFlow, SyncSendsThePasswordWithItsZeroAfterASuccessfulVerdict) {
  attempt_.SetTypedPassword("syncme");
  const std::int32_t rc = Run([&](vesk::Peer& server) {
    ExpectOpening(server);
    server.Send(Record(1, PWDINFO_SYNC_PASSWORD, HASH_SHA1, 0));
    EXPECT_TRUE(vesk::ExpectMessage(server, Le32s({HASH_SHA1, ANSWER_PASSWORD_CHANGE})));
    EXPECT_TRUE(vesk::ExpectMessage(server, Sha1(ToBytes("syncme"))));
    server.Send(Le32s({1}));
    EXPECT_TRUE(vesk::ExpectMessage(server, Join({ToBytes("syncme"), Bytes{0}}), vesk::Via::kX));
    server.Send(Le32s({0}));  // a failed store does not change the outcome
    EXPECT_TRUE(vesk::ExpectNoMore(server));
  });
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(Traced("PWD LCM: Sync password requested"));
  EXPECT_TRUE(Traced("PWD LCM: sync password"));
}

TEST_F(LcmFlow, SyncIsNotSentAfterARefusal) {
  attempt_.SetTypedPassword("syncme");
  const std::int32_t rc = Run([&](vesk::Peer& server) {
    ExpectOpening(server);
    server.Send(Record(1, PWDINFO_SYNC_PASSWORD, HASH_SHA1, 0));
    EXPECT_TRUE(vesk::ExpectLength(server, 8));
    EXPECT_TRUE(vesk::ExpectLength(server, 20));
    server.Send(Le32s({0}));
    EXPECT_TRUE(vesk::ExpectNoMore(server));
  });
  EXPECT_EQ(rc, kStatusLoginFailed);
  EXPECT_EQ(Outcomes(), std::vector<std::int32_t>{kStatusLoginFailed});
}

TEST_F(LcmFlow, UppercaseFlagSendsBothHashesInOneMultiHashAnswer) {
  struct Case {
    const char* name;
    std::int32_t hashId;
    Bytes extra;
    Bytes plain, upper;  // expected entries
  };
  const Bytes pw = ToBytes("MiXed cAse 1");
  const Bytes challenge = Pattern(16, 9, 5);
  const Bytes galtExtra = Join({Bytes{1, 2, 3, 4}, challenge});
  const Case cases[] = {
      {"salted SHA-1", HASH_SALTED_SHA1, challenge, Sha1(Join({pw, challenge})), Sha1(Join({Upper(pw), challenge}))},
      {"Galt", HASH_GALT, galtExtra, GaltAnswer(galtExtra, pw), GaltAnswer(galtExtra, Upper(pw))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt fresh;
    std::swap(attempt_, fresh);
    attempt_.SetTypedPassword(pw);
    const std::int32_t rc = Run([&](vesk::Peer& server) {
      ExpectOpening(server);
      server.Send(Record(1, PWDINFO_UPPERCASE_HASH, c.hashId, static_cast<std::uint32_t>(c.extra.size())));
      server.Send(c.extra);
      EXPECT_TRUE(vesk::ExpectMessage(server, Le32s({static_cast<std::uint32_t>(c.hashId), ANSWER_MULTI_HASHES})));
      Bytes answer;
      EXPECT_TRUE(vesk::ExpectLength(server, 60, &answer));
      EXPECT_EQ(answer, MultiHash(c.plain, c.upper));
      server.Send(Le32s({1}));
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(Traced("PWD LCM: uppercase hash requested"));
  }
}

TEST_F(LcmFlow, DirectFormPassesTheCallersRecordThroughUnchanged) {
  const Bytes record = Pattern(32, 0x40, 5);  // a CIFS response record
  attempt_.SetTypedPassword(record);
  attempt_.SetTypedType(HASH_CIFS, 0x12345678);
  const int secret = attempt_.WatchSecret(record);
  const std::int32_t rc = Run([&](vesk::Peer& server) {
    EXPECT_TRUE(vesk::ExpectMessage(server, Le32s({HASH_CIFS, 0})));
    EXPECT_TRUE(vesk::ExpectMessage(server, record));
    server.Send(Le32s({1}));
    EXPECT_TRUE(vesk::ExpectNoMore(server));
  });
  EXPECT_EQ(rc, 0);
  // The answer buffer held the caller's record; it goes back wiped.
  EXPECT_TRUE(attempt_.FreedHolding(secret).empty());
}

TEST_F(LcmFlow, EncodedDigestIsSentAsItsDecodedRecord) {
  // An AFP record, 36 bytes, as the host's front end encodes it.
  const Bytes afp = Pattern(36, 0x20, 5);
  std::string hex;
  for (std::uint8_t b : afp) {
    static const char kDigits[] = "0123456789abcdef";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  const Bytes text = Join({Bytes{0xFF, 0xFE, 0xFE, 0xFF, HASH_AFP}, ToBytes(hex)});
  attempt_.SetTypedPassword(text);
  const std::int32_t rc = Run([&](vesk::Peer& server) {
    EXPECT_TRUE(vesk::ExpectMessage(server, Le32s({HASH_AFP, 0})));
    Bytes answer;
    EXPECT_TRUE(vesk::ExpectLength(server, text.size(), &answer));
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 36), afp);
    server.Send(Le32s({1}));
  });
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(Traced("PWD LCM: encoded digest"));
}

// Failures: what the client returns and reports, and whether it releases the
// server with the empty message.
struct FailureCase {
  const char* name;
  std::function<void(vesk::Attempt&)> setup;
  std::function<void(vesk::Peer&)> server;  // up to the point of failure
  std::int32_t result;
  bool emptyMessage;
  const char* trace;  // a line that must be among the client's, or null
};

class LcmFailures : public LcmFlow {};

TEST_F(LcmFailures, TableOfFailures) {
  const auto current = [](Bytes record, Bytes extra = {}) {
    return [record, extra](vesk::Peer& server) {
      ExpectOpening(server);
      server.Send(record);
      if (!extra.empty()) server.Send(extra);
    };
  };
  const auto none = [](vesk::Peer&) {};
  const auto typed = [](vesk::Attempt& a) { a.SetTypedPassword("typed pw"); };
  const FailureCase cases[] = {
      {"refused version", typed, current(Record(kStatusNotSupported, 0, 0, 0)), kStatusNotSupported, false, nullptr},
      {"record status 0", typed, current(Record(0, 0, 8, 0)), kStatusRecordStatusZero, false, nullptr},
      {"an id the client cannot compute", typed, current(Record(1, 0, HASH_CIFS, 0)), kStatusNotSupported, true,
       "PWD LCM: hash failed -1636"},
      {"crypt without its salt", typed, current(Record(1, 0, HASH_CRYPT, 1), Bytes{'a'}), kStatusBadArgument, true,
       "PWD LCM: hash failed -1643"},
      {"Galt extra data without a whole salt", typed, current(Record(1, 0, HASH_GALT, 3), Bytes{1, 2, 3}),
       kStatusBadArgument, true, "PWD LCM: hash failed -1643"},
      {"record shorter than 16 bytes", typed, current(Le32s({1, 0, 8})), kStatusLoginFailed, true,
       "PWD LCM: MAF_Read(wire_pwdInfo) replyLen 12"},
      {"extraLen above 128", typed, current(Record(1, 0, HASH_SALTED_SHA1, 129)), kStatusLoginFailed, true, nullptr},
      {"extra data shorter than extraLen", typed, current(Record(1, 0, HASH_SALTED_SHA1, 16), Bytes(15, 7)),
       kStatusLoginFailed, true, nullptr},
      {"no attribute 6", [](vesk::Attempt& a) { a.SetTypedPasswordAbsent(kStatusNoSuchAttribute); }, none,
       kStatusNoSuchAttribute, true, "PWD LCM: login failed"},
      {"a 512-byte password leaves no room for its zero",
       [](vesk::Attempt& a) { a.SetTypedPassword(Bytes(512, 'p')); }, none, kStatusBadArgument, true, nullptr},
      {"encoded digest that does not decode",
       [](vesk::Attempt& a) { a.SetTypedPassword(Bytes{0xFF, 0xFE, 0xFE, 0xFF, 3}); }, none, kStatusNotSupported,
       true, "PWD LCM: decodeDigest failed -1636"},
      {"a type that reads as the marker",
       [](vesk::Attempt& a) {
         a.SetTypedPassword("x");
         a.SetTypedType(0xFFFFFFFFu);
       },
       none, kStatusNotSupported, true, nullptr},
      {"no memory for the extra data",
       [](vesk::Attempt& a) {
         a.SetTypedPassword("pw");
         a.FailMalloc(1);
       },
       current(Record(1, 0, HASH_SALTED_SHA1, 16)), kStatusNoMemory, true, nullptr},
      {"the record read fails",
       [](vesk::Attempt& a) {
         a.SetTypedPassword("pw");
         a.FailCall(vesk::Call::kRead, 1, -5);
       },
       [](vesk::Peer& server) { ExpectOpening(server); }, -5, false, nullptr},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt fresh;
    std::swap(attempt_, fresh);
    c.setup(attempt_);
    TarnControl_Reset();
    const std::int32_t rc = Run([&](vesk::Peer& server) {
      c.server(server);
      if (c.emptyMessage) {
        EXPECT_TRUE(vesk::ExpectEmpty(server));
      }
      EXPECT_TRUE(vesk::ExpectNoMore(server));
    });
    EXPECT_EQ(rc, c.result);
    EXPECT_EQ(Outcomes(), std::vector<std::int32_t>{c.result});
    EXPECT_TRUE(Traced("PWD LCM: login failed"));
    if (c.trace != nullptr) {
      EXPECT_TRUE(Traced(c.trace));
    }
    if (c.result == kStatusNotSupported && !c.emptyMessage) {
      EXPECT_EQ(TarnControl_CallCount("CCSX_Digest"), 0u);  // no hash for a refused version
    }
  }
}

TEST_F(LcmFlow, ShortOrFailedVerdictIsAFailedLogin) {
  struct Case {
    const char* name;
    Bytes verdict;
    std::int32_t result;
  } const cases[] = {
      {"2-byte verdict", Bytes{1, 0}, kStatusLoginFailed},
      {"verdict 0", Le32s({0}), kStatusLoginFailed},
      {"any non-zero verdict", Le32s({0x100}), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt fresh;
    std::swap(attempt_, fresh);
    attempt_.SetTypedPassword("pw");
    const std::int32_t rc = Run([&](vesk::Peer& server) {
      ExpectOpening(server);
      server.Send(Record(1, 0, HASH_MD5, 0));
      EXPECT_TRUE(vesk::ExpectLength(server, 8));
      EXPECT_TRUE(vesk::ExpectLength(server, 16));
      server.Send(c.verdict);
      EXPECT_TRUE(vesk::ExpectNoMore(server));
    });
    EXPECT_EQ(rc, c.result);
  }
}

TEST_F(LcmFlow, BeginFailureReturnsItsStatusWithoutEnd) {
  attempt_.SetTypedPassword("pw");
  attempt_.FailBegin(-77);
  const std::int32_t rc = Run([&](vesk::Peer& server) { EXPECT_TRUE(vesk::ExpectNoMore(server)); });
  EXPECT_EQ(rc, -77);
  EXPECT_TRUE(Outcomes().empty());
  EXPECT_EQ(Lines(), std::vector<std::string>{"PWD LCM: started"});
}

TEST_F(LcmFlow, FailedSyncSendReportsTheLoginAsFailed) {
  attempt_.SetTypedPassword("syncme");
  attempt_.FailCall(vesk::Call::kXWrite, 1, -9);
  const std::int32_t rc = Run([&](vesk::Peer& server) {
    ExpectOpening(server);
    server.Send(Record(1, PWDINFO_SYNC_PASSWORD, HASH_SHA1, 0));
    EXPECT_TRUE(vesk::ExpectLength(server, 8));
    EXPECT_TRUE(vesk::ExpectLength(server, 20));
    server.Send(Le32s({1}));
    EXPECT_TRUE(vesk::ExpectNoMore(server));
  });
  EXPECT_EQ(rc, -9);
  EXPECT_TRUE(Traced("PWD LCM: login failed"));
}

}  // namespace
}  // namespace wistra
