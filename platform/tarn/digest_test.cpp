// The digest roles: published known answers, one-shot against multi-part, the
// salted roles, capacity refusals and malformed records.

#include "platform/tarn/tarn_host.h"
#include "platform/tarn/test_support.h"

namespace tarn::test {
namespace {

using namespace wistra;

struct KnownAnswer {
  const char* name;
  const std::uint8_t* identifier;
  Bytes input;
  const char* digest;
  Bytes salt = {};  // ATTR_SALT of the salted roles
};

Bytes Utf16Le(std::string_view text) {
  Bytes out;
  for (char c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

const KnownAnswer kKnownAnswers[] = {
    // MD4 and MD5: the test suites of their RFCs.
    {"MD4 empty", ccs::ALG_MD4, FromText(""), "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {"MD4 a", ccs::ALG_MD4, FromText("a"), "bde52cb31de33e46245e05fbdbd6fb24"},
    {"MD4 abc", ccs::ALG_MD4, FromText("abc"), "a448017aaf21d8525fc10ae87aa6729d"},
    {"MD4 message digest", ccs::ALG_MD4, FromText("message digest"), "d9130a8164549fe818874806e1c7014b"},
    {"MD4 alphabet", ccs::ALG_MD4, FromText("abcdefghijklmnopqrstuvwxyz"), "d79e1c308aa5bbcdeea8ed63df412da9"},
    {"MD4 80 digits", ccs::ALG_MD4,
     FromText("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
     "e33b4ddc9c38f2199c3e7b164fcc0536"},
    // The NT hash of "password": MD4 of its UTF-16LE form.
    {"NT hash of password", ccs::ALG_MD4, Utf16Le("password"), "8846f7eaee8fb117ad06bdd830b7586c"},
    {"MD5 empty", ccs::ALG_MD5, FromText(""), "d41d8cd98f00b204e9800998ecf8427e"},
    {"MD5 abc", ccs::ALG_MD5, FromText("abc"), "900150983cd24fb0d6963f7d28e17f72"},
    {"MD5 message digest", ccs::ALG_MD5, FromText("message digest"), "f96b697d7cb7938d525a2f31aaf161d0"},
    {"MD5 80 digits", ccs::ALG_MD5,
     FromText("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
     "57edf4a22be3c955ac49da2e2107b67a"},
    // SHA-1: the examples of its FIPS publication.
    {"SHA-1 abc", ccs::ALG_SHA1, FromText("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"SHA-1 two blocks", ccs::ALG_SHA1, FromText("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"SHA-1 empty", ccs::ALG_SHA1, FromText(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    // LAN Manager: the published hashes of "PASSWORD" and of the empty password;
    // the other rows move those halves about, which shows that bytes 0-6 and
    // 7-13 each key one half and that the input is zero-padded.
    {"LM PASSWORD", ccs::ALG_LMHASH, FromText("PASSWORD"), "e52cac67419a9a224a3b108f3fa6cb6d"},
    {"LM empty", ccs::ALG_LMHASH, FromText(""), "aad3b435b51404eeaad3b435b51404ee"},
    {"LM D", ccs::ALG_LMHASH, FromText("D"), "4a3b108f3fa6cb6daad3b435b51404ee"},
    {"LM 14 bytes", ccs::ALG_LMHASH, FromText("PASSWORPASSWOR"), "e52cac67419a9a22e52cac67419a9a22"},
    // crypt("password", "ab") with its terminating zero.
    {"crypt", ccs::ALG_CRYPT, FromText("password"), "61624a6e67677868422f79574900", FromText("ab")},
    // The stand-in's Galt hash: SHA-1 of salt and password, cut to 16 bytes.
    {"Galt", ccs::ALG_GALT_HASH, FromText("secret"), "bf13c597ffb288ba1d013c277c6a229a", FromHex("01020304")},
};

Algorithm AlgorithmOf(const KnownAnswer& k) {
  return k.salt.empty() ? Algorithm(k.identifier) : Algorithm(k.identifier, ccs::ATTR_SALT, k.salt);
}

class DigestTest : public ServiceTest {};

TEST_F(DigestTest, KnownAnswersOneShotAndInEveryTwoPartSplit) {
  for (const KnownAnswer& k : kKnownAnswers) {
    SCOPED_TRACE(k.name);
    const Algorithm algorithm = AlgorithmOf(k);
    Bytes out;
    ASSERT_EQ(OneShot(algorithm.spec, k.input, &out), kStatusOk);
    EXPECT_EQ(out, FromHex(k.digest));

    for (std::size_t split = 0; split <= k.input.size(); ++split) {
      SCOPED_TRACE("split at " + std::to_string(split));
      ASSERT_EQ(CCSX_DigestInit(module_, context_, &algorithm.spec), kStatusOk);
      ASSERT_EQ(CCSX_DigestUpdate(module_, context_, k.input.data(), static_cast<std::uint32_t>(split)), kStatusOk);
      ASSERT_EQ(CCSX_DigestUpdate(module_, context_, k.input.data() + split,
                                  static_cast<std::uint32_t>(k.input.size() - split)),
                kStatusOk);
      Bytes parts(32, 0);
      std::uint32_t length = static_cast<std::uint32_t>(parts.size());
      ASSERT_EQ(CCSX_DigestFinal(module_, context_, parts.data(), &length), kStatusOk);
      parts.resize(length);
      EXPECT_EQ(parts, FromHex(k.digest));
    }
  }
}

TEST_F(DigestTest, LanManagerRefusesMoreThanFourteenBytes) {
  const Algorithm lm(ccs::ALG_LMHASH);
  Bytes out;
  EXPECT_EQ(OneShot(lm.spec, FromText("PASSWORD123456X"), &out), kStatusCcsBadInputLength);

  ASSERT_EQ(CCSX_DigestInit(module_, context_, &lm.spec), kStatusOk);
  const Bytes first = FromText("PASSWORD");
  const Bytes rest = FromText("1234567");
  ASSERT_EQ(CCSX_DigestUpdate(module_, context_, first.data(), 8), kStatusOk);
  EXPECT_EQ(CCSX_DigestUpdate(module_, context_, rest.data(), 7), kStatusCcsBadInputLength);
  // The refused part is not taken in: the digest is still that of "PASSWORD".
  Bytes digest(16);
  std::uint32_t length = 16;
  ASSERT_EQ(CCSX_DigestFinal(module_, context_, digest.data(), &length), kStatusOk);
  EXPECT_EQ(digest, FromHex("e52cac67419a9a224a3b108f3fa6cb6d"));
}

TEST_F(DigestTest, UnixCryptRefusesASaltOutsideItsAlphabet) {
  const Bytes badSalt = FromText("!!");
  const Algorithm refused(ccs::ALG_CRYPT, ccs::ATTR_SALT, badSalt);
  Bytes out;
  EXPECT_EQ(OneShot(refused.spec, FromText("password"), &out), kStatusCcsCryptFailed);
}

TEST_F(DigestTest, HostGaltHashAgreesWithTheServiceAndDependsOnTheSalt) {
  const Bytes salt = FromHex("01020304");
  const Bytes password = FromText("secret");
  Bytes galt;
  ASSERT_EQ(OneShot(Algorithm(ccs::ALG_GALT_HASH, ccs::ATTR_SALT, salt).spec, password, &galt), kStatusOk);
  Bytes host(16);
  ASSERT_EQ(TarnHost_GaltHash(salt.data(), password.data(), static_cast<std::uint32_t>(password.size()), host.data()),
            kStatusOk);
  EXPECT_EQ(host, galt);
  EXPECT_EQ(TarnHost_GaltHash(nullptr, password.data(), 6, host.data()), kStatusCcsBadRecord);

  const Bytes otherSalt = FromHex("01020305");
  Bytes other;
  ASSERT_EQ(OneShot(Algorithm(ccs::ALG_GALT_HASH, ccs::ATTR_SALT, otherSalt).spec, password, &other), kStatusOk);
  EXPECT_NE(other, galt);
}

TEST_F(DigestTest, TooSmallCapacityIsRefusedWithoutWritingAndCanBeRetried) {
  const Bytes cryptSalt = FromText("ab");
  const Bytes galtSalt = FromHex("01020304");
  struct Case {
    const char* name;
    Algorithm algorithm;
    std::uint32_t size;
  } cases[] = {
      {"MD4", Algorithm(ccs::ALG_MD4), 16},
      {"LM", Algorithm(ccs::ALG_LMHASH), 16},
      {"SHA-1", Algorithm(ccs::ALG_SHA1), 20},
      {"crypt", Algorithm(ccs::ALG_CRYPT, ccs::ATTR_SALT, cryptSalt), 14},
      {"Galt", Algorithm(ccs::ALG_GALT_HASH, ccs::ATTR_SALT, galtSalt), 16},
  };
  const Bytes password = FromText("PASSWORD");
  constexpr std::uint8_t kCanary = 0xA5;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes expected;
    ASSERT_EQ(OneShot(c.algorithm.spec, password, &expected), kStatusOk);
    ASSERT_EQ(expected.size(), c.size);

    ASSERT_EQ(CCSX_DigestInit(module_, context_, &c.algorithm.spec), kStatusOk);
    Bytes out(c.size, kCanary);
    std::uint32_t length = c.size - 1;
    EXPECT_EQ(CCSX_Digest(module_, context_, password.data(), 8, out.data(), &length), kStatusCcsOutputTooSmall);
    EXPECT_EQ(length, c.size);
    EXPECT_EQ(out, Bytes(c.size, kCanary));
    // The refusal took nothing in: the same call with room gives the digest.
    length = c.size;
    ASSERT_EQ(CCSX_Digest(module_, context_, password.data(), 8, out.data(), &length), kStatusOk);
    EXPECT_EQ(out, expected);

    ASSERT_EQ(CCSX_DigestInit(module_, context_, &c.algorithm.spec), kStatusOk);
    ASSERT_EQ(CCSX_DigestUpdate(module_, context_, password.data(), 8), kStatusOk);
    length = 0;
    EXPECT_EQ(CCSX_DigestFinal(module_, context_, nullptr, &length), kStatusCcsOutputTooSmall);
    EXPECT_EQ(length, c.size);
  }
}

TEST_F(DigestTest, ContextRunsDigestAfterDigestAndRefusesOneNotStarted) {
  Bytes out(20);
  std::uint32_t length = 20;
  EXPECT_EQ(CCSX_DigestFinal(module_, context_, out.data(), &length), kStatusCcsNotInitialized);

  Bytes md5;
  ASSERT_EQ(OneShot(Algorithm(ccs::ALG_MD5).spec, FromText("abc"), &md5), kStatusOk);
  // A finished digest is spent until the next init.
  length = 20;
  EXPECT_EQ(CCSX_Digest(module_, context_, nullptr, 0, out.data(), &length), kStatusCcsNotInitialized);
  Bytes sha1;
  ASSERT_EQ(OneShot(Algorithm(ccs::ALG_SHA1).spec, FromText("abc"), &sha1), kStatusOk);
  EXPECT_EQ(sha1, FromHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

TEST_F(DigestTest, MalformedRecordsAreRefusedAndLeaveNoDigestRunning) {
  const Bytes salt2 = FromText("ab");
  const Bytes salt4 = FromHex("01020304");
  const std::uint8_t unknownId[] = {0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xF1, 0x5A, 0x01, 0x01, 0x7F};
  const std::uint8_t wrongTag[] = {0x04, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xF1, 0x5A, 0x01, 0x01, 0x05};
  const std::uint8_t longForm[] = {0x06, 0x81, 0x0B};
  const std::uint8_t shortId[] = {0x06, 0x01, 0x05};

  Algorithm twoEntries(ccs::ALG_GALT_HASH, ccs::ATTR_SALT, salt4);
  twoEntries.block.count = 2;
  Algorithm blockWithoutLength(ccs::ALG_GALT_HASH, ccs::ATTR_SALT, salt4);
  blockWithoutLength.spec.parameterLength = 0;
  Algorithm lengthWithoutBlock(ccs::ALG_SHA1);
  lengthWithoutBlock.spec.parameterLength = sizeof(ParamBlock);
  Algorithm nullValue(ccs::ALG_GALT_HASH, ccs::ATTR_SALT, salt4);
  nullValue.block.entries[0].value = nullptr;
  Algorithm nullIdentifier(nullptr);

  struct Case {
    const char* name;
    const AlgorithmSpec* spec;
    std::int32_t status;
  };
  const Algorithm cryptNoSalt(ccs::ALG_CRYPT), galtNoSalt(ccs::ALG_GALT_HASH),
      cryptSalt4(ccs::ALG_CRYPT, ccs::ATTR_SALT, salt4), galtSalt2(ccs::ALG_GALT_HASH, ccs::ATTR_SALT, salt2),
      galtAsIv(ccs::ALG_GALT_HASH, ccs::ATTR_IV, salt4), md5WithSalt(ccs::ALG_MD5, ccs::ATTR_SALT, salt4),
      des(ccs::ALG_DES), unknown(unknownId), tag(wrongTag), longLength(longForm), shortLength(shortId);
  const Case cases[] = {
      {"no record", nullptr, kStatusCcsBadRecord},
      {"no identifier", &nullIdentifier.spec, kStatusCcsBadRecord},
      {"unknown identifier", &unknown.spec, kStatusCcsUnknownAlgorithm},
      {"not an object identifier", &tag.spec, kStatusCcsUnknownAlgorithm},
      {"long-form length", &longLength.spec, kStatusCcsUnknownAlgorithm},
      {"identifier cut short", &shortLength.spec, kStatusCcsUnknownAlgorithm},
      {"cipher for a digest", &des.spec, kStatusCcsUnknownAlgorithm},
      {"crypt without salt", &cryptNoSalt.spec, kStatusCcsBadRecord},
      {"Galt without salt", &galtNoSalt.spec, kStatusCcsBadRecord},
      {"crypt with 4-byte salt", &cryptSalt4.spec, kStatusCcsBadRecord},
      {"Galt with 2-byte salt", &galtSalt2.spec, kStatusCcsBadRecord},
      {"Galt salt typed as IV", &galtAsIv.spec, kStatusCcsBadRecord},
      {"MD5 with a salt", &md5WithSalt.spec, kStatusCcsBadRecord},
      {"count 2", &twoEntries.spec, kStatusCcsBadRecord},
      {"block with length 0", &blockWithoutLength.spec, kStatusCcsBadRecord},
      {"length without block", &lengthWithoutBlock.spec, kStatusCcsBadRecord},
      {"salt value missing", &nullValue.spec, kStatusCcsBadRecord},
  };
  const Algorithm sha1(ccs::ALG_SHA1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(CCSX_DigestInit(module_, context_, &sha1.spec), kStatusOk);
    EXPECT_EQ(CCSX_DigestInit(module_, context_, c.spec), c.status);
    Bytes out(20);
    std::uint32_t length = 20;
    EXPECT_EQ(CCSX_DigestFinal(module_, context_, out.data(), &length), kStatusCcsNotInitialized);
  }
}

TEST_F(DigestTest, MissingPointersAreRefused) {
  const Algorithm sha1(ccs::ALG_SHA1);
  ASSERT_EQ(CCSX_DigestInit(module_, context_, &sha1.spec), kStatusOk);
  Bytes out(20);
  std::uint32_t length = 20;
  EXPECT_EQ(CCSX_DigestUpdate(module_, context_, nullptr, 1), kStatusCcsBadRecord);
  EXPECT_EQ(CCSX_Digest(module_, context_, nullptr, 1, out.data(), &length), kStatusCcsBadRecord);
  EXPECT_EQ(CCSX_Digest(module_, context_, nullptr, 0, out.data(), nullptr), kStatusCcsBadRecord);
  EXPECT_EQ(CCSX_Digest(module_, context_, nullptr, 0, nullptr, &length), kStatusCcsBadRecord);
  // Still running: none of the refusals spent it.
  ASSERT_EQ(CCSX_Digest(module_, context_, nullptr, 0, out.data(), &length), kStatusOk);
  EXPECT_EQ(out, FromHex("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
}

}  // namespace
}  // namespace tarn::test
