#include "server/afp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/tarn/tarn_control.h"
#include "server/schemes_test_env.h"

namespace {

using schemes_test::Bytes;
using schemes_test::FromHex;
using schemes_test::HexOf;
using schemes_test::DesBlock;
using schemes_test::Of;
using schemes_test::SchemeTest;
using TraceList = std::vector<std::string>;

using schemes_test::kInjected;
const Bytes kServerRandom = FromHex("1122334455667788");
const Bytes kClientRandom = FromHex("8899aabbccddeeff");
const Bytes kSentProof = FromHex("5a5a5a5a5a5a5a5a");

Bytes Key(const std::string& password, bool shifted) {
  Bytes key(8, 0);
  for (std::size_t i = 0; i < 8 && i < password.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(password[i]);
    key[i] = shifted ? static_cast<std::uint8_t>(b << 1) : b;
  }
  return key;
}

// A record whose client proof is made from `proofPassword` under the key rule of `keyUam`.
Bytes Record(std::uint16_t uam, const std::string& proofPassword, std::uint16_t keyUam) {
  Bytes r(kAfpAnswerSize, 0xEE);
  r[0] = static_cast<std::uint8_t>(uam);
  r[1] = static_cast<std::uint8_t>(uam >> 8);
  const Bytes proof = DesBlock(Key(proofPassword, keyUam == 3), kServerRandom);
  std::copy(kServerRandom.begin(), kServerRandom.end(), r.begin() + 4);
  std::copy(proof.begin(), proof.end(), r.begin() + 12);
  std::copy(kClientRandom.begin(), kClientRandom.end(), r.begin() + 20);
  std::copy(kSentProof.begin(), kSentProof.end(), r.begin() + 28);
  return r;
}

Bytes ServerProof(const Bytes& record) { return Bytes(record.begin() + 28, record.begin() + 36); }

std::int32_t Compare(mafHandle h, const std::string& password, Bytes& record, std::uint32_t length) {
  Bytes text = Of(password);
  text.push_back(0);
  return doAFPCompare(h, text.data(), static_cast<std::int32_t>(password.size()), record.data(), length);
}

using AfpCompareTest = SchemeTest;

TEST_F(AfpCompareTest, BothExchangesAndTheKeyRules) {
  struct Case {
    const char* name;
    std::uint16_t uam, keyUam;
    std::string proofPassword, password;
    std::int32_t status;
    Bytes serverProof;  // empty: left as sent
  };
  const Case cases[] = {
      {"one-way", 2, 2, "secret", "secret", 0, Bytes(8, 0)},
      {"two-way", 3, 3, "secret", "secret", 0, DesBlock(Key("secret", true), kClientRandom)},
      {"only 8 bytes count", 2, 2, "longpassword1", "longpassXYZ", 0, Bytes(8, 0)},
      {"only 8 bytes count, two-way", 3, 3, "\xffongpass", "\xffongpassword", 0,
       DesBlock(Key("\xffongpass", true), kClientRandom)},
      {"one-way record under the two-way key", 3, 2, "secret", "secret", -1642, {}},
      {"two-way record under the one-way key", 2, 3, "secret", "secret", -1642, {}},
      {"wrong password", 3, 3, "secret", "Secret", -1642, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    Bytes record = Record(c.uam, c.proofPassword, c.keyUam);
    const Bytes sent = record;
    EXPECT_EQ(Compare(attempt.Handle(vesk::Side::kServer), c.password, record, 36), c.status);
    EXPECT_EQ(HexOf(ServerProof(record)), HexOf(c.serverProof.empty() ? kSentProof : c.serverProof));
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 28), Bytes(sent.begin(), sent.begin() + 28));
    const char* method = c.uam == 2 ? "PWD LSM: doAFPCompare Random Number Exchange."
                                    : "PWD LSM: doAFPCompare Two-Way Random Number Exchange.";
    EXPECT_EQ(attempt.TraceLines(vesk::Side::kServer),
              (TraceList{"PWD LSM: doAFPCompare", method, "PWD LSM: doAFPCompare returning " + std::to_string(c.status)}));
  }
}

TEST_F(AfpCompareTest, MalformedAnswersAreRefusedWithoutCrypto) {
  struct Case {
    const char* name;
    std::string password;
    std::uint16_t uam;
    std::uint32_t length;
    bool unsupported;
  };
  const Case cases[] = {
      {"35 bytes", "secret", 2, 35, false},
      {"empty password", "", 2, 36, false},
      {"uam 1", "secret", 1, 36, true},
      {"uam 4", "secret", 4, 36, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    Bytes record = Record(c.uam, "secret", 2);
    record.resize(c.length);
    const Bytes sent = record;
    EXPECT_EQ(Compare(attempt.Handle(vesk::Side::kServer), c.password, record, c.length), -1642);
    EXPECT_EQ(record, sent);
    TraceList expected{"PWD LSM: doAFPCompare"};
    if (c.unsupported) expected.push_back("PWD LSM: doAFPCompare unsupported AFP UAM: " + std::to_string(c.uam));
    expected.push_back("PWD LSM: doAFPCompare returning -1642");
    EXPECT_EQ(attempt.TraceLines(vesk::Side::kServer), expected);
  }
  Bytes record = Record(2, "secret", 2);
  EXPECT_EQ(doAFPCompare(handle(), nullptr, 6, record.data(), 36), -1642);
  EXPECT_EQ(doAFPCompare(handle(), Of("secret").data(), 6, nullptr, 36), -1642);
  EXPECT_EQ(Calls("CCSX_CreateContext"), 0u);
}

TEST_F(AfpCompareTest, CryptoFailuresKeepTheRecordAsSent) {
  struct Case {
    const char* operation;
    bool closingTrace;
  };
  for (const Case& c : {Case{"CCSX_CreateContext", false}, Case{"CCSX_InjectKey", true},
                        Case{"CCSX_DataEncryptInit", true}, Case{"CCSX_Encrypt", true}}) {
    SCOPED_TRACE(c.operation);
    vesk::Attempt attempt;
    TarnControl_Reset();
    ASSERT_EQ(TarnControl_FailNext(c.operation, kInjected, 1), 0);
    Bytes record = Record(3, "secret", 3);
    const Bytes sent = record;
    EXPECT_EQ(Compare(attempt.Handle(vesk::Side::kServer), "secret", record, 36), kInjected);
    EXPECT_EQ(record, sent);
    TraceList expected{"PWD LSM: doAFPCompare", "PWD LSM: doAFPCompare Two-Way Random Number Exchange."};
    if (c.closingTrace) expected.push_back("PWD LSM: doAFPCompare returning -1422");
    EXPECT_EQ(attempt.TraceLines(vesk::Side::kServer), expected);
    EXPECT_EQ(TarnControl_LiveContexts(), 0u);
  }
}

TEST_F(AfpCompareTest, AShortEncryptionIsNoMatch) {
  Bytes record = Record(3, "secret", 3);
  const Bytes sent = record;
  ASSERT_EQ(TarnControl_ReportLengthNext("CCSX_Encrypt", 4, 1), 0);
  EXPECT_EQ(Compare(handle(), "secret", record, 36), -1642);
  EXPECT_EQ(record, sent);
}

}  // namespace
