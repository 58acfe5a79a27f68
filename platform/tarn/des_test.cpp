// DES through key templates: published known answers, the three template
// orders, parity, and the encryption state's life apart from its key object.
#include <array>

#include "platform/tarn/test_support.h"

namespace tarn::test {
namespace {

using namespace wistra;

// The entries of a key template, to be laid out in a chosen order.
struct Template {
  explicit Template(const Bytes& key, std::uint32_t flags = ccs::kKeyFlagsPlain) : key(key) {
    value = {ccs::ATTR_KEY_VALUE, reinterpret_cast<std::uintptr_t>(this->key.data()), 8, 0};
    bits = {ccs::ATTR_KEY_BITS, 1, ccs::kKeyBitsDes, 0};
    algorithm = {ccs::ATTR_ALGORITHM, reinterpret_cast<std::uintptr_t>(ccs::ALG_DES), sizeof ccs::ALG_DES, 0};
    keyFlags = {ccs::ATTR_KEY_FLAGS, 1, flags, 0};
    type7 = {ccs::ATTR_TYPE_7, 1, ccs::kType7Value, 0};
    type21 = {ccs::ATTR_TYPE_21, 1, ccs::kType21Value, 0};
  }
  Template(const Template&) = delete;
  // The order of the MS-CHAP response's template.
  std::array<KeyAttribute, 6> Entries() const { return {value, bits, algorithm, keyFlags, type7, type21}; }

  Bytes key;
  KeyAttribute value, bits, algorithm, keyFlags, type7, type21;
};

struct DesVector {
  const char* name;
  const char* key;
  const char* plain;
  const char* cipher;
};

// Known answers of the published DES validation material; the last is a
// variable-plaintext row under the all-zero (weak) key.
const DesVector kVectors[] = {
    {"Now is t", "0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
    {"worked example", "133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
    {"weak key", "0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
};

class DesTest : public ServiceTest {
 protected:
  std::int32_t Inject(const KeyAttribute* entries, std::uint32_t count, std::uint32_t* key) {
    return CCSX_InjectKey(module_, context_, entries, count, key);
  }
  std::int32_t Init(std::uint32_t key, const Bytes& iv = Bytes(8, 0)) {
    const Algorithm des(ccs::ALG_DES, ccs::ATTR_IV, iv);
    return CCSX_DataEncryptInit(module_, context_, &des.spec, key);
  }
  std::int32_t Encrypt(const Bytes& in, Bytes* out, std::uint32_t capacity = 8) {
    out->assign(capacity, 0);
    std::uint32_t length = capacity;
    const std::int32_t status = CCSX_Encrypt(module_, context_, in.data(), static_cast<std::uint32_t>(in.size()),
                                             out->data(), &length);
    out->resize(status == kStatusOk ? length : 0);
    return status;
  }
  // The whole sequence the callers make: inject, init, encrypt one block.
  Bytes EncryptUnder(const KeyAttribute* entries, const Bytes& plain) {
    std::uint32_t key = 0;
    Bytes out;
    EXPECT_EQ(Inject(entries, 6, &key), kStatusOk);
    EXPECT_EQ(Init(key), kStatusOk);
    EXPECT_EQ(Encrypt(plain, &out), kStatusOk);
    EXPECT_EQ(CCSX_DestroyObject(module_, context_, key), kStatusOk);
    return out;
  }
};

TEST_F(DesTest, KnownAnswers) {
  for (const DesVector& v : kVectors) {
    SCOPED_TRACE(v.name);
    const Template t(FromHex(v.key));
    EXPECT_EQ(EncryptUnder(t.Entries().data(), FromHex(v.plain)), FromHex(v.cipher));
  }
}

TEST_F(DesTest, EveryTemplateOrderFlagWordAndParityGivesTheSameKey) {
  const DesVector& v = kVectors[0];
  const Bytes plain = FromHex(v.plain);
  Bytes flipped = FromHex(v.key);
  for (std::uint8_t& b : flipped) b ^= 0x01;

  const Template plainFlags(FromHex(v.key));
  const Template cifsFlags(FromHex(v.key), ccs::kKeyFlagsCifs);
  const Template parityFlipped(flipped);
  struct Case {
    const char* name;
    std::array<KeyAttribute, 6> entries;
  } cases[] = {
      {"MS-CHAP order", plainFlags.Entries()},
      {"CIFS order", {cifsFlags.keyFlags, cifsFlags.type21, cifsFlags.bits, cifsFlags.algorithm, cifsFlags.value,
                      cifsFlags.type7}},
      {"AFP order", {plainFlags.bits, plainFlags.value, plainFlags.type21, plainFlags.keyFlags, plainFlags.type7,
                     plainFlags.algorithm}},
      {"parity bits flipped", parityFlipped.Entries()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EncryptUnder(c.entries.data(), plain), FromHex(v.cipher));
  }
}

TEST_F(DesTest, EachEncryptStartsFromTheIvAndOutlivesItsKey) {
  const Template first(FromHex(kVectors[0].key));
  const Template second(FromHex(kVectors[1].key));
  std::uint32_t key = 0;
  ASSERT_EQ(Inject(first.Entries().data(), 6, &key), kStatusOk);
  ASSERT_EQ(Init(key), kStatusOk);
  ASSERT_EQ(CCSX_DestroyObject(module_, context_, key), kStatusOk);
  Bytes out;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(Encrypt(FromHex(kVectors[0].plain), &out), kStatusOk);
    EXPECT_EQ(out, FromHex(kVectors[0].cipher));
  }
  // A new init replaces the state: the second key encrypts from now on.
  ASSERT_EQ(Inject(second.Entries().data(), 6, &key), kStatusOk);
  ASSERT_EQ(Init(key), kStatusOk);
  ASSERT_EQ(Encrypt(FromHex(kVectors[1].plain), &out), kStatusOk);
  EXPECT_EQ(out, FromHex(kVectors[1].cipher));
}

TEST_F(DesTest, IvIsChainedIntoTheFirstBlockAndEachBlockIntoTheNext) {
  const DesVector& v = kVectors[0];
  const Template t(FromHex(v.key));
  std::uint32_t key = 0;
  ASSERT_EQ(Inject(t.Entries().data(), 6, &key), kStatusOk);
  const Bytes iv = FromHex("0f0e0d0c0b0a0908");
  ASSERT_EQ(Init(key, iv), kStatusOk);
  const Bytes plain = FromHex(v.plain), cipher = FromHex(v.cipher);
  Bytes in(16);
  for (std::size_t i = 0; i < 8; ++i) {
    in[i] = plain[i] ^ iv[i];
    in[8 + i] = plain[i] ^ cipher[i];
  }
  Bytes out;
  ASSERT_EQ(Encrypt(in, &out, 16), kStatusOk);
  Bytes twice = cipher;
  twice.insert(twice.end(), cipher.begin(), cipher.end());
  EXPECT_EQ(out, twice);
}

TEST_F(DesTest, EncryptRefusesBadLengthsAndSmallCapacity) {
  Bytes out;
  EXPECT_EQ(Encrypt(Bytes(8, 0), &out), kStatusCcsNotInitialized);
  const Template t(FromHex(kVectors[0].key));
  std::uint32_t key = 0;
  ASSERT_EQ(Inject(t.Entries().data(), 6, &key), kStatusOk);
  ASSERT_EQ(Init(key), kStatusOk);
  EXPECT_EQ(Encrypt(Bytes(), &out), kStatusCcsBadInputLength);
  EXPECT_EQ(Encrypt(Bytes(7, 0), &out), kStatusCcsBadInputLength);
  EXPECT_EQ(Encrypt(Bytes(12, 0), &out, 16), kStatusCcsBadInputLength);

  constexpr std::uint8_t kCanary = 0xA5;
  Bytes small(8, kCanary);
  std::uint32_t length = 7;
  const Bytes block(8, 0);
  EXPECT_EQ(CCSX_Encrypt(module_, context_, block.data(), 8, small.data(), &length), kStatusCcsOutputTooSmall);
  EXPECT_EQ(length, 8u);
  EXPECT_EQ(small, Bytes(8, kCanary));
  // Room for more than one block: one block in, one block out.
  ASSERT_EQ(Encrypt(FromHex(kVectors[0].plain), &out, 16), kStatusOk);
  EXPECT_EQ(out, FromHex(kVectors[0].cipher));
}

TEST_F(DesTest, MalformedTemplatesAreRefusedAndTheHandleWordKept) {
  const Template t(FromHex(kVectors[0].key));
  const Bytes shortKey(7, 1);
  const std::uint8_t badLength[] = {0x06, 0x0B, 0x2B};
  struct Case {
    const char* name;
    int entry;  // which of the six to replace, or -1 to change the count
    KeyAttribute replacement;
    std::uint32_t count;
  } cases[] = {
      {"five entries", -1, {}, 5},
      {"seven entries", -1, {}, 7},
      {"duplicate", 1, t.value, 6},
      {"seven-byte key", 0, {ccs::ATTR_KEY_VALUE, reinterpret_cast<std::uintptr_t>(shortKey.data()), 7, 0}, 6},
      {"no key bytes", 0, {ccs::ATTR_KEY_VALUE, 0, 8, 0}, 6},
      {"64 key bits", 1, {ccs::ATTR_KEY_BITS, 1, 64, 0}, 6},
      {"integer without its marker", 1, {ccs::ATTR_KEY_BITS, 0, ccs::kKeyBitsDes, 0}, 6},
      {"MD5 for a key", 2, {ccs::ATTR_ALGORITHM, reinterpret_cast<std::uintptr_t>(ccs::ALG_MD5), 13, 0}, 6},
      {"identifier longer than its length byte", 2,
       {ccs::ATTR_ALGORITHM, reinterpret_cast<std::uintptr_t>(ccs::ALG_DES), 12, 0}, 6},
      {"identifier cut off", 2, {ccs::ATTR_ALGORITHM, reinterpret_cast<std::uintptr_t>(badLength), 3, 0}, 6},
      {"flags 0", 3, {ccs::ATTR_KEY_FLAGS, 1, 0, 0}, 6},
      {"type 7 not 3", 4, {ccs::ATTR_TYPE_7, 1, 1, 0}, 6},
      {"type 21 not 1", 5, {ccs::ATTR_TYPE_21, 1, 3, 0}, 6},
      {"unknown type", 5, {99, 1, 1, 0}, 6},
  };
  constexpr std::uint32_t kUntouched = 0xDEADBEEF;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<KeyAttribute, 7> entries{};
    const auto six = t.Entries();
    std::copy(six.begin(), six.end(), entries.begin());
    entries[6] = t.type7;
    if (c.entry >= 0) entries[static_cast<std::size_t>(c.entry)] = c.replacement;
    std::uint32_t key = kUntouched;
    EXPECT_EQ(Inject(entries.data(), c.count, &key), kStatusCcsBadRecord);
    EXPECT_EQ(key, kUntouched);
  }
  std::uint32_t key = kUntouched;
  EXPECT_EQ(Inject(nullptr, 6, &key), kStatusCcsBadRecord);
  EXPECT_EQ(TarnControl_LiveObjects(), 0u);
}

TEST_F(DesTest, EncryptInitRefusesWrongRecordsAndForeignKeys) {
  const Template t(FromHex(kVectors[0].key));
  std::uint32_t key = 0;
  ASSERT_EQ(Inject(t.Entries().data(), 6, &key), kStatusOk);
  std::uint32_t otherContext = 0;
  ASSERT_EQ(CCSX_CreateContext(module_, 0, &otherContext), kStatusOk);

  const Bytes shortIv(4, 0);
  const Algorithm noIv(ccs::ALG_DES), ivTooShort(ccs::ALG_DES, ccs::ATTR_IV, shortIv), digest(ccs::ALG_SHA1);
  const Bytes iv(8, 0);
  const Algorithm good(ccs::ALG_DES, ccs::ATTR_IV, iv);
  struct Case {
    const char* name;
    std::uint32_t context;
    const AlgorithmSpec* spec;
    std::int32_t status;
  } cases[] = {
      {"no IV", context_, &noIv.spec, kStatusCcsBadRecord},
      {"4-byte IV", context_, &ivTooShort.spec, kStatusCcsBadRecord},
      {"digest for a cipher", context_, &digest.spec, kStatusCcsUnknownAlgorithm},
      {"key of another context", otherContext, &good.spec, kStatusCcsBadHandle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Init(key), kStatusOk);
    EXPECT_EQ(CCSX_DataEncryptInit(module_, c.context, c.spec, key), c.status);
    // A failed init leaves nothing running in the context it was given.
    Bytes out(8);
    std::uint32_t length = 8;
    const Bytes block(8, 0);
    EXPECT_EQ(CCSX_Encrypt(module_, c.context, block.data(), 8, out.data(), &length), kStatusCcsNotInitialized);
  }
  EXPECT_EQ(CCSX_DestroyContext(module_, otherContext), kStatusOk);
}

}  // namespace
}  // namespace tarn::test
