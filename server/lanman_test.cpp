#include "server/lanman.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

#include "ccs/ccsrec.h"
#include "platform/tarn/tarn_control.h"
#include "server/generate_hash.h"
#include "server/schemes_test_env.h"

namespace {

using schemes_test::Bytes;
using schemes_test::FromHex;
using schemes_test::HexOf;
using schemes_test::Of;
using schemes_test::SchemeTest;

using schemes_test::kInjected;

// A password as the server holds it: its bytes, then a zero byte.
struct Password {
  explicit Password(Bytes b) : bytes(std::move(b)) { bytes.push_back(0); }
  const std::uint8_t* data() const { return bytes.data(); }
  std::int32_t length() const { return static_cast<std::int32_t>(bytes.size() - 1); }
  Bytes bytes;
};

using GenerateHashTest = SchemeTest;

TEST_F(GenerateHashTest, PublishedDigests) {
  struct Case {
    const std::uint8_t* algorithm;
    const char* text;
    const char* digest;
  };
  const Case cases[] = {
      {ccs::ALG_MD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {ccs::ALG_SHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {ccs::ALG_MD4, "abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {ccs::ALG_MD4, "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " -> " + c.digest);
    const AlgorithmSpec algorithm{c.algorithm, nullptr, 0};
    const Bytes data = Of(c.text);
    std::uint8_t out[32];
    std::uint32_t length = sizeof out;
    ASSERT_EQ(generateHash(&algorithm, data.data(), static_cast<std::uint32_t>(data.size()), out, &length), 0);
    EXPECT_EQ(HexOf(std::span(out, length)), HexOf(FromHex(c.digest)));
  }
}

TEST_F(GenerateHashTest, FirstFailureIsTheResultAndTheContextGoesBack) {
  const AlgorithmSpec algorithm{ccs::ALG_SHA1, nullptr, 0};
  for (const char* operation : {"CCSX_CreateContext", "CCSX_DigestInit", "CCSX_Digest"}) {
    SCOPED_TRACE(operation);
    TarnControl_Reset();
    ASSERT_EQ(TarnControl_FailNext(operation, kInjected, 1), 0);
    std::uint8_t out[20];
    std::uint32_t length = sizeof out;
    EXPECT_EQ(generateHash(&algorithm, out, 0, out, &length), kInjected);
    EXPECT_EQ(TarnControl_LiveContexts(), 0u);
    const bool created = std::string(operation) != "CCSX_CreateContext";
    EXPECT_EQ(Calls("CCSX_DestroyContext"), created ? 1u : 0u);
    EXPECT_EQ(Calls("CCSX_Digest"), std::string(operation) == "CCSX_DigestInit" ? 0u : created ? 1u : 0u);
  }
}

TEST(MyStrupr, OnlyAsciiLettersChange) {
  std::uint8_t text[] = "abc XYZ 019 \xc3\xa9 z";
  my_strupr(text);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "ABC XYZ 019 \xc3\xa9 Z");
}

using NtHashTest = SchemeTest;

TEST_F(NtHashTest, PublishedAndIndependentHashes) {
  struct Case {
    const char* password;  // hex of the UTF-8 bytes
    const char* hash;      // published, or empty: MD4 of the UTF-16LE text, built here
    const char* utf16le;
  };
  const Case cases[] = {
      {"70617373776f7264", "8846f7eaee8fb117ad06bdd830b7586c", ""},  // "password"
      {"50617373776f7264", "a4f49c406510bdcab6824ee7c30fd852", ""},  // "Password"
      {"636c69656e7450617373", "44ebba8d5312b8d611474411f56989ae", ""},  // "clientPass"
      {"", "31d6cfe0d16ae931b73c59d7e0c089c0", ""},
      {"c3a9 e282ac 41", "", "e900 ac20 4100"},  // low byte first, whatever the machine
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    const Password password(FromHex(c.password));
    const Bytes expected = *c.hash != 0 ? FromHex(c.hash) : schemes_test::Md4(FromHex(c.utf16le));
    std::uint8_t out[24];
    std::memset(out, 0xAA, sizeof out);
    std::uint32_t length = sizeof out;
    ASSERT_EQ(computeNTHash(handle(), password.data(), password.length(), out, &length), 0);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(HexOf(std::span(out, 16)), HexOf(expected));
    EXPECT_EQ(HexOf(std::span(out + 16, 8)), HexOf(Bytes(8, 0))) << "the whole capacity is cleared";
  }
}

TEST_F(NtHashTest, LengthLimitAndUnconvertibleText) {
  const Password longest(Bytes(256, 'a'));
  Bytes wide;
  for (int i = 0; i < 256; ++i) wide.insert(wide.end(), {'a', 0});
  std::uint8_t out[16];
  std::uint32_t length = sizeof out;
  ASSERT_EQ(computeNTHash(handle(), longest.data(), longest.length(), out, &length), 0);
  EXPECT_EQ(HexOf(out), HexOf(schemes_test::Md4(wide)));

  const Password tooLong(Bytes(257, 'a'));
  length = sizeof out;
  EXPECT_EQ(computeNTHash(handle(), tooLong.data(), tooLong.length(), out, &length), -3);

  const Password fourByte(FromHex("61 f0 9f 98 80"));
  EXPECT_EQ(computeNTHash(handle(), fourByte.data(), fourByte.length(), out, &length), -1642);
  EXPECT_EQ(Lines(), std::vector<std::string>(3, "PWD LSM: computeNTHash starting"));
}

TEST_F(NtHashTest, NoMemoryAndNoSecretLeftInTheFreedBuffer) {
  const Password password(Of("s3cretPw"));
  std::uint8_t out[16];
  std::uint32_t length = sizeof out;
  attempt_.FailMalloc(1);
  EXPECT_EQ(computeNTHash(handle(), password.data(), password.length(), out, &length), -1635);

  const int wide = attempt_.WatchSecret(FromHex("73 00 33 00 63 00 72 00 65 00 74 00"));
  ASSERT_EQ(computeNTHash(handle(), password.data(), password.length(), out, &length), 0);
  EXPECT_TRUE(attempt_.FreedHolding(wide).empty()) << "the converted password was freed uncleared";
}

TEST_F(NtHashTest, StaysWithinTheGivenLength) {
  // No terminator where the length ends: the hash is of the given bytes only.
  const Bytes bytes = Of("passwordXYZ");
  std::uint8_t out[16];
  std::uint32_t length = sizeof out;
  ASSERT_EQ(computeNTHash(handle(), bytes.data(), 8, out, &length), 0);
  EXPECT_EQ(HexOf(out), HexOf(FromHex("8846f7eaee8fb117ad06bdd830b7586c")));
}

using LanmanTest = SchemeTest;

TEST_F(LanmanTest, PublishedAndIndependentHashes) {
  struct Case {
    const char* password;
    const char* hash;  // published, or empty: built here with Nettle
  };
  const Case cases[] = {
      {"password", "e52cac67419a9a224a3b108f3fa6cb6d"},
      {"Password", "e52cac67419a9a224a3b108f3fa6cb6d"},
      {"PASSWORD", "e52cac67419a9a224a3b108f3fa6cb6d"},
      {"", "aad3b435b51404eeaad3b435b51404ee"},
      {"abcdefghijklmn", ""},
      {"abcdefghijklmnopq", ""},  // only the first 14 count
      {"\xc3\xa9t\xc3\xa9", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    const Password password(Of(c.password));
    const Bytes expected = *c.hash != 0 ? FromHex(c.hash) : schemes_test::NettleLanman(Of(c.password));
    std::uint8_t out[16];
    std::uint32_t length = sizeof out;
    ASSERT_EQ(computeLanmanHash(handle(), password.data(), password.length(), out, &length), 0);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(HexOf(out), HexOf(expected));
  }
  EXPECT_EQ(Lines().back(), "PWD LSM: computeLanmanHash starting");
}

TEST(DesKey, OddParityTable) {
  for (int i = 0; i < 256; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::popcount(static_cast<unsigned>(odd_parity[i])) % 2, 1);
    EXPECT_EQ(odd_parity[i] & 0xFE, i & 0xFE);
  }
}

TEST(DesKey, StrToKeySpreadsEachSliceBitIntoItsKeyByte) {
  const std::uint8_t zeros[7] = {};
  const std::uint8_t ones[7] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  std::uint8_t key[8];
  str_to_key(zeros, key);
  EXPECT_EQ(HexOf(key), HexOf(Bytes(8, 0x01)));
  str_to_key(ones, key);
  EXPECT_EQ(HexOf(key), HexOf(Bytes(8, 0xFE)));
  for (int bit = 0; bit < 56; ++bit) {
    SCOPED_TRACE(bit);
    std::uint8_t slice[7] = {};
    slice[bit / 8] = static_cast<std::uint8_t>(0x80 >> (bit % 8));
    str_to_key(slice, key);
    Bytes expected(8, 0x01);
    expected[bit / 7] = static_cast<std::uint8_t>(0x80 >> (bit % 7));  // one bit set: parity bit stays clear
    EXPECT_EQ(HexOf(key), HexOf(expected));
  }
}

}  // namespace
