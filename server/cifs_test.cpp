#include "server/cifs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/tarn/tarn_control.h"
#include "server/schemes_test_env.h"

namespace {

using schemes_test::Bytes;
using schemes_test::FromHex;
using schemes_test::HexOf;
using schemes_test::Of;
using schemes_test::SchemeTest;
using TraceList = std::vector<std::string>;

using schemes_test::kInjected;
using schemes_test::Terminated;
using schemes_test::ntlm_example::kChallenge;
using schemes_test::ntlm_example::kLmHash;
using schemes_test::ntlm_example::kLmResponse;
using schemes_test::ntlm_example::kNtHash;
using schemes_test::ntlm_example::kNtResponse;

Bytes Answer(const Bytes& challenge, const Bytes& response) {
  Bytes a = challenge;
  a.insert(a.end(), response.begin(), response.end());
  return a;
}

Bytes Padded(const Bytes& hash) {
  Bytes p = hash;
  p.resize(21, 0);
  return p;
}

using CifsResponseTest = SchemeTest;

TEST_F(CifsResponseTest, PublishedResponses) {
  for (const auto& [hash, response] : {std::pair{kNtHash, kNtResponse}, std::pair{kLmHash, kLmResponse}}) {
    SCOPED_TRACE(HexOf(hash));
    const Bytes padded = Padded(hash);
    std::uint8_t out[24];
    ASSERT_EQ(xP24(handle(), padded.data(), kChallenge.data(), out), 0);
    EXPECT_EQ(HexOf(out), HexOf(response));
  }
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(Calls("CCSX_CreateContext"), 6u) << "one context per block";
}

TEST_F(CifsResponseTest, EachCryptoFailureWithItsStatusAndTrace) {
  struct Case {
    const char* operation;
    bool reportLength;  // report 7 bytes instead of failing
    std::int32_t status;
    const char* trace;
  };
  const Case cases[] = {
      {"CCSX_CreateContext", false, kInjected, nullptr},
      {"CCSX_InjectKey", false, kInjected, "PWD LSM: cifsStyleX CCS_InjectKey desKey0 ERROR = -1422"},
      {"CCSX_DataEncryptInit", false, kInjected, "PWD LSM: cifsStyleX CCS_DataEncryptInit desKey0 ERROR = -1422"},
      {"CCSX_Encrypt", false, kInjected, "PWD LSM: cifsStyleX CCS_Encrypt desKey0 ERROR = -1422"},
      {"CCSX_Encrypt", true, -1400, "PWD LSM: cifsStyleX CCS_Encrypt bad length = 7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.operation) + (c.reportLength ? " reports 7 bytes" : " fails"));
    vesk::Attempt attempt;
    TarnControl_Reset();
    if (c.reportLength) {
      ASSERT_EQ(TarnControl_ReportLengthNext(c.operation, 7, 1), 0);
    } else {
      ASSERT_EQ(TarnControl_FailNext(c.operation, kInjected, 1), 0);
    }
    const Bytes padded = Padded(kNtHash);
    std::uint8_t out[24];
    std::memset(out, 0xAA, sizeof out);
    EXPECT_EQ(xP24(attempt.Handle(vesk::Side::kServer), padded.data(), kChallenge.data(), out), c.status);
    EXPECT_EQ(HexOf(out), HexOf(Bytes(24, 0xAA))) << "no block is written after a failure";
    EXPECT_EQ(Calls("CCSX_CreateContext"), 1u) << "the remaining blocks are not made";
    EXPECT_EQ(TarnControl_LiveContexts(), 0u);
    EXPECT_EQ(TarnControl_LiveObjects(), 0u);
    EXPECT_EQ(attempt.TraceLines(vesk::Side::kServer), c.trace ? TraceList{c.trace} : TraceList{});
  }
}

using CifsCompareTest = SchemeTest;

TEST_F(CifsCompareTest, MatchesEitherResponseWithItsTraces) {
  const TraceList ntStart = {"PWD LSM: doCIFSCompare trying MD4", "PWD LSM: computeNTHash starting"};
  const TraceList lmStart = {"PWD LSM: doCIFSCompare MD4 did not match", "PWD LSM: doCIFSCompare trying LanMan",
                         "PWD LSM: computeLanmanHash starting"};
  struct Case {
    const char* password;
    Bytes response;
    std::int32_t status;
    TraceList tail;  // after the NT pass's start
  };
  const Case cases[] = {
      {"Password", kNtResponse, 0, {"PWD LSM: doCIFSCompare MD4 matched", "PWD LSM: doCIFSCompare returning 0"}},
      {"pASSWORD", kLmResponse, 0, {"PWD LSM: doCIFSCompare LanMan matched", "PWD LSM: doCIFSCompare returning 0"}},
      {"pASSWORD", kNtResponse, -1642,
       {"PWD LSM: doCIFSCompare LanMan did not match", "PWD LSM: doCIFSCompare returning -1642"}},
      {"Passwort", kLmResponse, -1642,
       {"PWD LSM: doCIFSCompare LanMan did not match", "PWD LSM: doCIFSCompare returning -1642"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.password) + " against " + HexOf(c.response));
    vesk::Attempt attempt;
    const Bytes password = Terminated(Of(c.password));
    const Bytes answer = Answer(kChallenge, c.response);
    EXPECT_EQ(doCIFSCompare(attempt.Handle(vesk::Side::kServer), password.data(),
                            static_cast<std::int32_t>(password.size() - 1), answer.data(),
                            static_cast<std::uint32_t>(answer.size())),
              c.status);
    TraceList expected = ntStart;
    if (c.tail.front() != "PWD LSM: doCIFSCompare MD4 matched") expected.insert(expected.end(), lmStart.begin(), lmStart.end());
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(attempt.TraceLines(vesk::Side::kServer), expected);
  }
}

TEST_F(CifsCompareTest, PasswordsWithoutNtHashStillMatchByLanman) {
  const Bytes fourByte = Of("ab\xf0\x9f\x98\x80" "cd");
  const Bytes longest(257, 'q');
  for (const auto& [plain, ntStatus] : {std::pair{fourByte, -1642}, std::pair{longest, -3}}) {
    SCOPED_TRACE(plain.size());
    vesk::Attempt attempt;
    const Bytes password = Terminated(plain);
    const Bytes answer = Answer(kChallenge, schemes_test::DesResponse(schemes_test::NettleLanman(plain), kChallenge));
    EXPECT_EQ(doCIFSCompare(attempt.Handle(vesk::Side::kServer), password.data(),
                            static_cast<std::int32_t>(plain.size()), answer.data(),
                            static_cast<std::uint32_t>(answer.size())),
              0);
    const TraceList lines = attempt.TraceLines(vesk::Side::kServer);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "PWD LSM: doCIFSCompare computeNTHash failed " + std::to_string(ntStatus));
    EXPECT_EQ(lines[3], "PWD LSM: doCIFSCompare trying LanMan");
    EXPECT_EQ(lines.back(), "PWD LSM: doCIFSCompare returning 0");
  }
}

TEST_F(CifsCompareTest, ANtPassFailureIsForgottenWhenLanmanDecides) {
  const Bytes password = Terminated(Of("Password"));
  const Bytes answer = Answer(kChallenge, kLmResponse);
  ASSERT_EQ(TarnControl_FailNext("CCSX_Encrypt", kInjected, 1), 0);
  EXPECT_EQ(doCIFSCompare(handle(), password.data(), 8, answer.data(), 32), 0);
  const TraceList lines = Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "PWD LSM: doCIFSCompare xP24 failed -1422"), lines.end());
  EXPECT_EQ(lines.back(), "PWD LSM: doCIFSCompare returning 0");

  // A LAN Manager pass that fails has the last word.
  TarnControl_Reset();
  const Bytes wrong = Answer(kChallenge, Bytes(24, 0));
  EXPECT_EQ(doCIFSCompare(handle(), password.data(), 8, wrong.data(), 32), -1642);
}

TEST_F(CifsCompareTest, AShortAnswerIsRefusedUnread) {
  const Bytes password = Terminated(Of("Password"));
  const Bytes whole = Answer(kChallenge, kNtResponse);
  for (std::uint32_t length : {0u, 8u, 31u}) {
    SCOPED_TRACE(length);
    // Only `length` bytes exist: a read beyond them is caught by the sanitizer build.
    Bytes answer(whole.begin(), whole.begin() + length);
    EXPECT_EQ(doCIFSCompare(handle(), password.data(), 8, answer.data(), length), -1642);
  }
  EXPECT_EQ(doCIFSCompare(handle(), password.data(), 8, nullptr, 32), -1642);
  EXPECT_EQ(Calls("CCSX_CreateContext"), 0u);
  EXPECT_EQ(Lines(), TraceList(4, "PWD LSM: doCIFSCompare returning -1642"));
  Bytes longer = whole;
  longer.push_back(0x55);
  EXPECT_EQ(doCIFSCompare(handle(), password.data(), 8, longer.data(), 33), 0) << "a longer answer is read to 32";
}

}  // namespace
