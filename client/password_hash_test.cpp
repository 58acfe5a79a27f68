#include "client/password_hash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ccs/ccs.h"
#include "method/status.h"
#include "method/wire.h"
#include "platform/tarn/tarn_control.h"
#include "tests/support/reference.h"

namespace wistra {
namespace {

using reference::Bytes;
using reference::CryptWithZero;
using reference::Galt;
using reference::Join;
using reference::Md5;
using reference::Of;
using reference::Pattern;
using reference::Sha1;

// The facade is up for every test, as it is in a loaded module.
class FacadeUp : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(CCS_Init(&caller_), 0); }
  void TearDown() override { CCS_Shutdown(); }

 private:
  int caller_ = 0;
};
const auto* const kFacade = ::testing::AddGlobalTestEnvironment(new FacadeUp);

struct Result {
  std::int32_t status;
  std::int32_t answerType;
  Bytes answer;
};

Result Hash(std::int32_t id, const Bytes& extra, const Bytes& password) {
  std::uint8_t out[128];
  std::uint32_t outLength = sizeof out;
  Result r{0, -99, {}};
  r.status = hashPassword(id, static_cast<std::uint32_t>(extra.size()), extra.empty() ? nullptr : extra.data(),
                          password.data(), static_cast<std::uint32_t>(password.size()), out, &outLength,
                          &r.answerType);
  if (r.status == kStatusOk) r.answer.assign(out, out + outLength);
  return r;
}

Result GaltHash(const Bytes& extra, const Bytes& password) {
  std::uint8_t out[128];
  std::uint32_t outLength = sizeof out;
  Result r{0, -99, {}};
  r.status = rimoGALTHashPassword(static_cast<std::uint32_t>(extra.size()), extra.empty() ? nullptr : extra.data(),
                                  password.data(), static_cast<std::uint32_t>(password.size()), out, &outLength,
                                  &r.answerType);
  if (r.status == kStatusOk) r.answer.assign(out, out + outLength);
  return r;
}

TEST(HashPassword, AnswersMatchTheIndependentPrimitives) {
  const Bytes pw = Of("Secret pass");
  const Bytes challenge = Pattern(16, 0x41, 3);
  const Bytes longPw = Pattern(240, 0x20, 3);
  struct Case {
    const char* name;
    std::int32_t id;
    Bytes extra;
    Bytes password;
    Bytes expected;
  } const cases[] = {
      {"SHA-1 ignores extra data", HASH_SHA1, Of("xyz"), pw, Sha1(pw)},
      {"MD5 ignores extra data", HASH_MD5, Of("xyz"), pw, Md5(pw)},
      {"crypt with 2 salt bytes", HASH_CRYPT, Of("ab"), pw, CryptWithZero("Secret pass", "ab")},
      {"crypt uses only the first 2 extra bytes", HASH_CRYPT, Of("abXYZ"), pw, CryptWithZero("Secret pass", "ab")},
      {"salted SHA-1 over password and challenge", HASH_SALTED_SHA1, challenge, pw, Sha1(Join({pw, challenge}))},
      {"salted SHA-1 without extra data", HASH_SALTED_SHA1, {}, pw, Sha1(pw)},
      {"salted SHA-1 filling the work buffer", HASH_SALTED_SHA1, challenge, longPw, Sha1(Join({longPw, challenge}))},
      {"SHA-1 of an empty password", HASH_SHA1, {}, {}, Sha1({})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = Hash(c.id, c.extra, c.password);
    ASSERT_EQ(r.status, kStatusOk);
    EXPECT_EQ(r.answerType, c.id);
    EXPECT_EQ(r.answer, c.expected);
  }
}

TEST(HashPassword, RefusalsLeaveTheAnswerTypeAndTheServiceAlone) {
  struct Case {
    const char* name;
    std::int32_t id;
    Bytes extra;
    std::size_t passwordLength;
    std::int32_t status;
  } const cases[] = {
      {"crypt with 1 salt byte", HASH_CRYPT, Of("a"), 6, kStatusBadArgument},
      {"crypt without extra data", HASH_CRYPT, {}, 6, kStatusBadArgument},
      {"salted SHA-1 beyond the work buffer", HASH_SALTED_SHA1, Pattern(17, 1, 3), 240, kStatusBadArgument},
      {"salted SHA-1 with a password beyond the work buffer", HASH_SALTED_SHA1, {}, 257, kStatusBadArgument},
      {"plain", HASH_PLAIN, {}, 6, kStatusNotSupported},
      {"CHAP", HASH_CHAP, {}, 6, kStatusNotSupported},
      {"CIFS", HASH_CIFS, {}, 6, kStatusNotSupported},
      {"Vesk Pelu", HASH_VESK_PELU, {}, 6, kStatusNotSupported},
      {"Galt", HASH_GALT, Pattern(20, 1, 3), 6, kStatusNotSupported},
      {"unknown id", 13, {}, 6, kStatusNotSupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TarnControl_Reset();
    const Result r = Hash(c.id, c.extra, Pattern(c.passwordLength, 0x61, 3));
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.answerType, -99);
    EXPECT_EQ(TarnControl_CallCount("CCSX_CreateContext"), 0u);
  }
}

TEST(HashPassword, ServiceFailurePassesUpAndTheContextIsDestroyed) {
  const std::uint32_t live = TarnControl_LiveContexts();
  for (const char* op : {"CCSX_CreateContext", "CCSX_DigestInit", "CCSX_Digest"}) {
    SCOPED_TRACE(op);
    TarnControl_Reset();
    ASSERT_EQ(TarnControl_FailNext(op, kStatusBadLength, 1), 0);
    const Result r = Hash(HASH_SALTED_SHA1, Pattern(16, 1, 3), Of("pw"));
    EXPECT_EQ(r.status, kStatusBadLength);
    EXPECT_EQ(r.answerType, HASH_SALTED_SHA1);
    EXPECT_EQ(TarnControl_LiveContexts(), live);
  }
}

TEST(RimoGaltHashPassword, JoinsTheSaltedGaltHashWithTheChallenge) {
  const Bytes pw = Of("Galt Pass");
  const Bytes salt = {0xDE, 0xAD, 0x01, 0x02};
  struct Case {
    const char* name;
    Bytes challenge;
  } const cases[] = {
      {"the standard 16 random bytes", Pattern(16, 0x90, 3)},
      {"a salt and nothing behind it", {}},
      {"the largest challenge that fits", Pattern(240, 0x10, 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = GaltHash(Join({salt, c.challenge}), pw);
    ASSERT_EQ(r.status, kStatusOk);
    EXPECT_EQ(r.answerType, HASH_GALT);
    EXPECT_EQ(r.answer, Sha1(Join({Galt(salt, pw), c.challenge})));
  }
}

TEST(RimoGaltHashPassword, RefusesExtraDataWithoutASaltOrBeyondTheWorkBuffer) {
  const Bytes pw = Of("Galt Pass");
  EXPECT_EQ(GaltHash(Pattern(3, 1, 3), pw).status, kStatusBadArgument);
  EXPECT_EQ(GaltHash({}, pw).status, kStatusBadArgument);
  EXPECT_EQ(GaltHash(Pattern(4 + 241, 1, 3), pw).status, kStatusBadArgument);
}

TEST(MyStrupr, UpperCasesOnlyAsciiLettersUpToTheZero) {
  char text[] = "abc XYZ \xe9\xff z\0tail";
  my_strupr(text);
  EXPECT_EQ(std::string(text, sizeof text - 1), std::string("ABC XYZ \xe9\xff Z\0tail", sizeof text - 1));
}

}  // namespace
}  // namespace wistra
