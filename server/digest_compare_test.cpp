#include "server/digest_compare.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ccs/atb.h"
#include "platform/tarn/tarn_control.h"
#include "server/schemes_test_env.h"

namespace {

using schemes_test::Bytes;
using schemes_test::FromHex;
using schemes_test::Galt;
using schemes_test::HexOf;
using schemes_test::Join;
using schemes_test::Of;
using schemes_test::SchemeTest;
using schemes_test::Sha1;
using TraceList = std::vector<std::string>;

using schemes_test::kInjected;
const Bytes kSalt = FromHex("0a0b0c0d");
const Bytes kKeyReference = FromHex("01020304");

Bytes Le32(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u >> 16),
          static_cast<std::uint8_t>(u >> 24)};
}

Bytes Terminated(const std::string& text) {
  Bytes b = Of(text);
  b.push_back(0);
  return b;
}

// --- The encrypted Galt digest ------------------------------------------------------

// The broker's encryption of a digest with the key reference, as another front
// end holding the same broker key makes it.
Bytes BrokerEncrypt(const Bytes& digest) {
  std::uint32_t length = 0;
  const std::int32_t sized = ATEncryptWithSecretKey(16, digest.data(), 4, kKeyReference.data(), 0, &length, nullptr);
  EXPECT_TRUE(sized == 0 || sized == -649) << sized;
  Bytes out(length);
  EXPECT_EQ(ATEncryptWithSecretKey(16, digest.data(), 4, kKeyReference.data(), length, &length, out.data()), 0);
  return out;
}

Bytes HedraAnswer(const std::string& password) {
  const Bytes encrypted = BrokerEncrypt(Galt(kSalt, Of(password)));
  return Join({kKeyReference, kSalt, Le32(static_cast<std::int32_t>(encrypted.size())), encrypted});
}

std::int32_t Hedra(mafHandle h, const std::string& password, const Bytes& answer, std::size_t length) {
  const Bytes text = Terminated(password);
  return doHEDRA_PIVOCompare(h, text.data(), static_cast<std::int32_t>(password.size()), answer.data(),
                             static_cast<std::uint32_t>(length));
}

using HedraPivoTest = SchemeTest;

TEST_F(HedraPivoTest, MatchesTheBrokersEncryptionOfTheGaltHash) {
  const Bytes answer = HedraAnswer("open sesame");
  TarnControl_Reset();
  EXPECT_EQ(Hedra(handle(), "open sesame", answer, answer.size()), 0);
  EXPECT_EQ(Lines(), (TraceList{"PWD LSM: doHEDRA_PIVOCompare starting", "PWD LSM: doHEDRA_PIVOCompare: returning=0"}));
  EXPECT_EQ(Calls("ATX_EncryptWithSecretKey"), 2u) << "sized first, then made";
  EXPECT_EQ(Hedra(handle(), "open sesamE", answer, answer.size()), -1642);

  Bytes otherSalt = answer;
  otherSalt[4] ^= 1;
  EXPECT_EQ(Hedra(handle(), "open sesame", otherSalt, otherSalt.size()), -1642);
  EXPECT_EQ(Lines().back(), "PWD LSM: doHEDRA_PIVOCompare: returning=-1642");
}

TEST_F(HedraPivoTest, AnEncryptedDigestNotWholeInTheAnswerIsNotHandedOn) {
  const Bytes answer = HedraAnswer("open sesame");
  for (std::size_t length : {std::size_t{0}, std::size_t{11}, std::size_t{12}, std::size_t{15}, answer.size() - 1}) {
    SCOPED_TRACE(length);
    // Only `length` bytes exist, so a read beyond them shows under the sanitizers.
    const Bytes cut(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(Hedra(handle(), "open sesame", cut, length), -1642);
  }
  EXPECT_EQ(Calls("ATX_CompareSecretKeyEncrypted"), 0u);
  EXPECT_EQ(Calls("CCSX_CreateContext"), 0u);
}

TEST_F(HedraPivoTest, FailuresWithTheirStatusAndTraces) {
  struct Case {
    const char* operation;  // null: the buffer cannot be allocated
    std::int32_t status;
    const char* extra;  // a trace between the opening and the closing line
  };
  const Case cases[] = {
      {"CCSX_CreateContext", kInjected, nullptr},
      {"CCSX_DigestInit", kInjected, nullptr},
      {"CCSX_Digest", kInjected, "PWD LSM doHEDRA_PIVOCompare: CCS_Digest failed -1422"},
      {"ATX_EncryptWithSecretKey", kInjected, nullptr},
      {"ATBX_StartCall", kInjected, nullptr},
      {nullptr, -150, nullptr},
  };
  const Bytes answer = HedraAnswer("open sesame");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation ? c.operation : "MAF_Malloc");
    vesk::Attempt attempt;
    vesk::Attempt::ThreadScope scope(attempt);
    TarnControl_Reset();
    if (c.operation) {
      ASSERT_EQ(TarnControl_FailNext(c.operation, kInjected, 1), 0);
    } else {
      attempt.FailMalloc(1);
    }
    EXPECT_EQ(Hedra(attempt.Handle(vesk::Side::kServer), "open sesame", answer, answer.size()), c.status);
    TraceList expected{"PWD LSM: doHEDRA_PIVOCompare starting"};
    if (c.extra) expected.push_back(c.extra);
    expected.push_back("PWD LSM: doHEDRA_PIVOCompare: returning=" + std::to_string(c.status));
    EXPECT_EQ(attempt.TraceLines(vesk::Side::kServer), expected);
    EXPECT_EQ(TarnControl_LiveContexts(), 0u);
    EXPECT_EQ(attempt.Allocs().outstanding, 0u);
  }
}

// --- The chained digest ----------------------------------------------------------------

struct VeskPelu {
  Bytes salt = kSalt;
  std::int32_t expectedLength = 20;
  Bytes expected;
  std::int32_t dataALength;
  Bytes dataA;
  std::int32_t dataBLength;
  Bytes dataB;

  Bytes Encode() const {
    auto field = [](Bytes b) {
      b.resize(36, 0xC5);
      return b;
    };
    return Join({salt, Le32(expectedLength), field(expected), Le32(dataALength), field(dataA), Le32(dataBLength),
                 field(dataB)});
  }
};

VeskPelu MakeVeskPelu(const Bytes& inner, const Bytes& dataA, const Bytes& dataB) {
  VeskPelu r;
  r.dataA = dataA;
  r.dataALength = static_cast<std::int32_t>(dataA.size());
  r.dataB = dataB;
  r.dataBLength = static_cast<std::int32_t>(dataB.size());
  r.expected = Sha1(Join({inner, dataB, dataA}));
  return r;
}

std::int32_t Pelu(mafHandle h, const std::string& password, const Bytes& answer) {
  const Bytes text = Terminated(password);
  return doVESKPELUCompare(h, text.data(), static_cast<std::int32_t>(password.size()), answer.data(),
                           static_cast<std::uint32_t>(answer.size()));
}

using VeskPeluTest = SchemeTest;

TEST_F(VeskPeluTest, FirstAttemptSecondAttemptAndNeither) {
  const std::string password = "chained pw";
  const Bytes dataA = Of("server nonce A");
  const Bytes dataB = Of("client nonce B, longer one");
  const Bytes sha1 = Sha1(Of(password));
  const Bytes galt = Galt(kSalt, Of(password));
  const TraceList start{"PWD LSM: doVESKPELUCompare"};
  const std::string first = "PWD LSM: doVESKPELUCompare first compare failed";
  const std::string matched = "PWD LSM: doVESKPELUCompare matched";
  const std::string failed = "PWD LSM: doVESKPELUCompare compare failed";
  VeskPelu shortExpected = MakeVeskPelu(sha1, dataA, dataB);
  shortExpected.expectedLength = 16;
  VeskPelu swapped = MakeVeskPelu(sha1, dataA, dataB);
  swapped.expected = Sha1(Join({sha1, dataA, dataB}));
  struct Case {
    const char* name;
    Bytes answer;
    std::int32_t status;
    TraceList middle;
  };
  const Case cases[] = {
      {"SHA-1 of the password", MakeVeskPelu(sha1, dataA, dataB).Encode(), 0, {matched}},
      {"Galt hash of the password", MakeVeskPelu(galt, dataA, dataB).Encode(), 0, {first, matched}},
      {"dataA before dataB", swapped.Encode(), -1642, {first, failed}},
      {"expected length 16", shortExpected.Encode(), -1642, {first, failed}},
      {"empty data, full fields", MakeVeskPelu(galt, Bytes(36, 0x11), {}).Encode(), 0, {first, matched}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    EXPECT_EQ(Pelu(attempt.Handle(vesk::Side::kServer), password, c.answer), c.status);
    TraceList expected = start;
    expected.insert(expected.end(), c.middle.begin(), c.middle.end());
    expected.push_back("PWD LSM: doVESKPELUCompare returning " + std::to_string(c.status));
    EXPECT_EQ(attempt.TraceLines(vesk::Side::kServer), expected);
  }
}

TEST_F(VeskPeluTest, RecordsOutsideTheirFieldsAreRefusedUnread) {
  const Bytes sha1 = Sha1(Of("pw"));
  const VeskPelu good = MakeVeskPelu(sha1, Of("a"), Of("b"));
  struct Case {
    const char* name;
    Bytes answer;
  };
  std::vector<Case> cases;
  Bytes shortRecord = good.Encode();
  shortRecord.pop_back();
  cases.push_back({"123 bytes", shortRecord});
  for (std::int32_t bad : {-1, 37, 0x7FFFFFFF}) {
    VeskPelu r = good;
    r.expectedLength = bad;
    cases.push_back({"expected length", r.Encode()});
    r = good;
    r.dataALength = bad;
    cases.push_back({"dataA length", r.Encode()});
    r = good;
    r.dataBLength = bad;
    cases.push_back({"dataB length", r.Encode()});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Pelu(handle(), "pw", c.answer), -1642);
  }
  EXPECT_EQ(Calls("CCSX_CreateContext"), 0u);
  EXPECT_EQ(Lines().back(), "PWD LSM: doVESKPELUCompare returning -1642");
  EXPECT_EQ(Pelu(handle(), "pw", good.Encode()), 0) << "the untouched record matches";
}

TEST_F(VeskPeluTest, ACryptoFailureInTheFirstAttemptEndsIt) {
  const Bytes galt = Galt(kSalt, Of("pw"));
  const Bytes answer = MakeVeskPelu(galt, Of("a"), Of("b")).Encode();
  for (const char* operation :
       {"CCSX_CreateContext", "CCSX_DigestInit", "CCSX_Digest", "CCSX_DigestUpdate", "CCSX_DigestFinal"}) {
    SCOPED_TRACE(operation);
    vesk::Attempt attempt;
    TarnControl_Reset();
    ASSERT_EQ(TarnControl_FailNext(operation, kInjected, 1), 0);
    EXPECT_EQ(Pelu(attempt.Handle(vesk::Side::kServer), "pw", answer), kInjected);
    EXPECT_EQ(attempt.TraceLines(vesk::Side::kServer),
              (TraceList{"PWD LSM: doVESKPELUCompare", "PWD LSM: doVESKPELUCompare returning -1422"}));
    EXPECT_EQ(TarnControl_LiveContexts(), 0u);
  }
}

// --- The current-form Galt challenge ------------------------------------------------------

using GaltTest = SchemeTest;

std::int32_t Galt(mafHandle h, const Bytes& stored, const Bytes& answer, const Bytes& extra) {
  return doRimoGALTCompare(h, stored.data(), static_cast<std::uint32_t>(stored.size()), answer.data(),
                           static_cast<std::uint32_t>(answer.size()), extra.data(),
                           static_cast<std::uint32_t>(extra.size()));
}

TEST_F(GaltTest, MatchesShaOfTheStoredHashAndTheChallenge) {
  const Bytes stored = Galt(kSalt, Of("pw"));
  const Bytes random = FromHex("00112233445566778899aabbccddeeff");
  const Bytes answer = Sha1(Join({stored, random}));
  Bytes longer = answer;
  longer.push_back(0);
  Bytes flipped = answer;
  flipped[19] ^= 0x80;
  struct Case {
    const char* name;
    Bytes answer, extra;
    std::int32_t status;
  };
  const Case cases[] = {
      {"right", answer, Join({kSalt, random}), 0},
      {"the salt is not digested", answer, Join({FromHex("ffffffff"), random}), 0},
      {"19 bytes", Bytes(answer.begin(), answer.end() - 1), Join({kSalt, random}), -1642},
      {"21 bytes", longer, Join({kSalt, random}), -1642},
      {"last bit", flipped, Join({kSalt, random}), -1642},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    EXPECT_EQ(Galt(attempt.Handle(vesk::Side::kServer), stored, c.answer, c.extra), c.status);
    EXPECT_EQ(attempt.TraceLines(vesk::Side::kServer),
              (TraceList{"PWD LSM: doRimoGALTCompare", "PWD LSM: doRimoGALTCompare returning " + std::to_string(c.status)}));
  }
}

TEST_F(GaltTest, InputBeyondItsBufferIsRefused) {
  struct Case {
    std::size_t stored, extra;
    std::int32_t status;
  };
  const Case cases[] = {{100, 16, 0}, {100, 17, -1643}, {112, 4, 0}, {113, 4, -1643}, {0, 116, 0},
                        {0, 117, -1643}, {16, 3, -1643}, {16, 0, -1643}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.stored << " stored, " << c.extra << " extra");
    TarnControl_Reset();
    Bytes stored(c.stored, 0x3C);
    Bytes extra(c.extra, 0x4D);
    const Bytes answer = Sha1(Join({stored, c.extra >= 4 ? Bytes(extra.begin() + 4, extra.end()) : Bytes{}}));
    EXPECT_EQ(Galt(handle(), stored, answer, extra), c.status);
    EXPECT_EQ(Calls("CCSX_CreateContext"), c.status == 0 ? 1u : 0u);
  }
}

TEST_F(GaltTest, DigestFailureIsTheStatus) {
  const Bytes stored(16, 1);
  const Bytes extra(20, 2);
  ASSERT_EQ(TarnControl_FailNext("CCSX_Digest", kInjected, 1), 0);
  EXPECT_EQ(Galt(handle(), stored, Bytes(20, 0), extra), kInjected);
  EXPECT_EQ(Lines().back(), "PWD LSM: doRimoGALTCompare returning -1422");
}

}  // namespace
