#include "server/mschap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/tarn/tarn_control.h"
#include "server/schemes_test_env.h"

namespace {

using schemes_test::Bytes;
using schemes_test::FromHex;
using schemes_test::HexOf;
using schemes_test::Of;
using schemes_test::SchemeTest;

// Published: the NTLM worked example ("Password", challenge 0123456789abcdef)
// here, and the MS-CHAP example ("clientPass", challenge d02e4386bce91226) below.
using schemes_test::kInjected;
using schemes_test::Terminated;
using schemes_test::ntlm_example::kChallenge;
using schemes_test::ntlm_example::kLmHash;
using schemes_test::ntlm_example::kLmResponse;
using schemes_test::ntlm_example::kNtHash;
using schemes_test::ntlm_example::kNtResponse;

// A 91-byte record with every unused byte set to a pattern, so a stray write shows.
Bytes Record(const Bytes& lmResponse, const Bytes& ntResponse, std::uint8_t flags, std::uint8_t challengeLength = 8) {
  Bytes r(kMsChapAnswerSize);
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<std::uint8_t>(0xA0 + i % 16);
  std::copy(kChallenge.begin(), kChallenge.end(), r.begin());
  std::copy(lmResponse.begin(), lmResponse.end(), r.begin() + kMsChapLmResponseOffset);
  std::copy(ntResponse.begin(), ntResponse.end(), r.begin() + kMsChapNtResponseOffset);
  r[kMsChapChallengeLengthOffset] = challengeLength;
  r[kMsChapFlagsOffset] = flags;
  return r;
}

Bytes Slice(const Bytes& b, std::size_t offset, std::size_t length) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(offset), b.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

using MsChapResponseTest = SchemeTest;

TEST_F(MsChapResponseTest, PublishedResponsesInOneContext) {
  struct Case {
    Bytes hash, challenge, response;
  };
  const Case cases[] = {
      {FromHex("44ebba8d5312b8d611474411f56989ae"), FromHex("d02e4386bce91226"),
       FromHex("82309ecd8d708b5ea08faa3981cd83544233114a3d85d6df")},
      {kNtHash, kChallenge, kNtResponse},
      {kLmHash, kChallenge, kLmResponse},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(HexOf(c.hash));
    TarnControl_Reset();
    Bytes hash = c.hash;
    hash.resize(24, 0xEE);
    std::uint8_t out[24];
    ASSERT_EQ(MSCHAP_ChallengeResponse(c.challenge.data(), hash.data(), 16, out), 0);
    EXPECT_EQ(HexOf(out), HexOf(c.response));
    EXPECT_EQ(HexOf(Slice(hash, 16, 8)), HexOf(FromHex("0000000000 eeeeee"))) << "bytes 16-20 are the padding";
    EXPECT_EQ(Calls("CCSX_CreateContext"), 1u);
    EXPECT_EQ(Calls("CCSX_InjectKey"), 3u);
    EXPECT_EQ(Calls("CCSX_DestroyObject"), 3u);
  }
  EXPECT_TRUE(Lines().empty());
}

TEST_F(MsChapResponseTest, FailuresAndTheirStatuses) {
  Bytes hash = kNtHash;
  hash.resize(24);
  std::uint8_t out[24];
  EXPECT_EQ(MSCHAP_ChallengeResponse(kChallenge.data(), hash.data(), 15, out), -1);
  EXPECT_EQ(MSCHAP_ChallengeResponse(kChallenge.data(), hash.data(), 20, out), -1);
  EXPECT_EQ(Calls("CCSX_CreateContext"), 0u);

  for (const char* operation : {"CCSX_CreateContext", "CCSX_InjectKey", "CCSX_DataEncryptInit", "CCSX_DestroyObject",
                                "CCSX_Encrypt"}) {
    SCOPED_TRACE(operation);
    TarnControl_Reset();
    ASSERT_EQ(TarnControl_FailNext(operation, kInjected, 1), 0);
    EXPECT_EQ(MSCHAP_ChallengeResponse(kChallenge.data(), hash.data(), 16, out), kInjected);
    EXPECT_LE(Calls("CCSX_InjectKey"), 1u) << "the loop stops at the first failure";
  }
  TarnControl_Reset();
  ASSERT_EQ(TarnControl_ReportLengthNext("CCSX_Encrypt", 7, 1), 0);
  EXPECT_EQ(MSCHAP_ChallengeResponse(kChallenge.data(), hash.data(), 16, out), -2);
  EXPECT_EQ(Calls("CCSX_Encrypt"), 1u);
  EXPECT_TRUE(Lines().empty());
}

using MsChapCompareTest = SchemeTest;

TEST_F(MsChapCompareTest, MalformedRecordsAreRefusedBeforeHashing) {
  const Bytes password = Terminated(Of("Password"));
  struct Case {
    std::size_t size;
    std::uint8_t challengeLength;
  };
  for (const Case& c : {Case{90, 8}, Case{92, 8}, Case{91, 7}, Case{91, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.size << " bytes, challenge length " << int(c.challengeLength));
    Bytes record = Record(kLmResponse, kNtResponse, 1, c.challengeLength);
    record.resize(c.size, 0x5A);
    const Bytes sent = record;
    std::int32_t matched = 7;
    EXPECT_EQ(doMSChapCompare(handle(), &matched, password.data(), 8, record.data(),
                              static_cast<std::uint32_t>(record.size())),
              -1);
    EXPECT_EQ(matched, 0);
    EXPECT_EQ(record, sent);
  }
  EXPECT_EQ(Calls("CCSX_CreateContext"), 0u);
  EXPECT_TRUE(Lines().empty());
}

TEST_F(MsChapCompareTest, VerdictStatusAndWriteBack) {
  struct Case {
    const char* name;
    Bytes password;
    Bytes lmResponse, ntResponse;
    std::uint8_t flags;
    std::int32_t status, matched;
    bool lmWritten, ntWritten;
  };
  const Bytes zeros(24, 0);
  const Bytes longPassword(257, 'Q');
  const Bytes longLmResponse = schemes_test::DesResponse(schemes_test::NettleLanman(longPassword), kChallenge);
  const Case cases[] = {
      {"NT variant", Of("Password"), zeros, kNtResponse, 0x01, 0, 1, true, true},
      {"NT variant, other flag bits", Of("Password"), zeros, kNtResponse, 0xFF, 0, 1, true, true},
      {"LM variant", Of("Password"), kLmResponse, zeros, 0x00, 0, 1, true, true},
      {"NT variant, wrong response", Of("pAsSwOrD"), kLmResponse, kNtResponse, 0x01, -3, 0, false, false},
      {"LM variant ignores a right NT response", Of("Password"), zeros, kNtResponse, 0xFE, -4, 0, false, false},
      {"NT variant, password too long", longPassword, longLmResponse, zeros, 0x01, -2, 0, false, false},
      // A match whose second hash fails: that status, and its field as sent.
      {"LM variant, password too long", longPassword, longLmResponse, zeros, 0x00, -3, 1, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes password = Terminated(c.password);
    Bytes record = Record(c.lmResponse, c.ntResponse, c.flags);
    const Bytes sent = record;
    std::int32_t matched = 7;
    EXPECT_EQ(doMSChapCompare(handle(), &matched, password.data(), static_cast<std::int32_t>(c.password.size()),
                              record.data(), 91),
              c.status);
    EXPECT_EQ(matched, c.matched);
    const Bytes lmHead = c.password.size() > 14 ? Slice(schemes_test::NettleLanman(c.password), 0, 8)
                                                : Slice(kLmHash, 0, 8);
    EXPECT_EQ(HexOf(Slice(record, 64, 8)), HexOf(c.lmWritten ? lmHead : Slice(sent, 64, 8)));
    EXPECT_EQ(HexOf(Slice(record, 72, 16)), HexOf(c.ntWritten ? kNtHash : Slice(sent, 72, 16)));
    EXPECT_EQ(Slice(record, 0, 64), Slice(sent, 0, 64));
    EXPECT_EQ(Slice(record, 88, 3), Slice(sent, 88, 3));
  }
}

TEST_F(MsChapCompareTest, CryptoFailureInTheFirstHashIsMinusTwo) {
  const Bytes password = Terminated(Of("Password"));
  Bytes record = Record(kLmResponse, kNtResponse, 0x01);
  std::int32_t matched = 7;
  ASSERT_EQ(TarnControl_FailNext("CCSX_CreateContext", kInjected, 1), 0);
  EXPECT_EQ(doMSChapCompare(handle(), &matched, password.data(), 8, record.data(), 91), -2);
  EXPECT_EQ(matched, 0);
}

}  // namespace
