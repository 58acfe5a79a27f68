// The user's record as a module reads and writes it: attribute names and
// lengths, every source present or absent with the status the test chose, and
// what a sync leaves behind.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "method/status.h"
#include "platform/vesk/vesk.h"

namespace {

using vesk::Attempt;
using vesk::Side;
using wistra::kStatusMafValueTooLong;

// The late-bound calls, looked up as a module would, with all five present.
struct Late {
  MAF_GetPassword_t get_password;
  MAF_SetPassword_t set_password;
  MAF_GetPELUPwdHash_t get_hash;
};

class VeskRecord : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(vesk::SetHostCalls(vesk::kAllHostCalls, &error)) << error;
    void* global = dlopen(nullptr, RTLD_NOW);
    late_.get_password = reinterpret_cast<MAF_GetPassword_t>(dlsym(global, "MAF_GetPassword"));
    late_.set_password = reinterpret_cast<MAF_SetPassword_t>(dlsym(global, "MAF_SetPassword"));
    late_.get_hash = reinterpret_cast<MAF_GetPELUPwdHash_t>(dlsym(global, "MAF_GetPELUPwdHash"));
    ASSERT_TRUE(late_.get_password && late_.set_password && late_.get_hash);
  }
  void TearDown() override { vesk::SetHostCalls(vesk::kNoHostCalls); }

  Attempt a_;
  mafHandle server_ = a_.Handle(Side::kServer);
  Late late_{};
};

const std::u16string kHash = u"Password Hash";
const std::u16string kFlags = u"Password Flags";

const std::uint16_t* Name(const std::u16string& s) { return reinterpret_cast<const std::uint16_t*>(s.c_str()); }

TEST_F(VeskRecord, AttributeLengthsFollowCapacityInLengthOut) {
  const vesk::Bytes value = {4, 'a', 'b', 'c', 'd', 'e', 0};
  a_.SetPasswordHash(value);
  std::uint32_t length = 0;
  ASSERT_EQ(MAF_GetAttribute(server_, 24, Name(kHash), &length, nullptr), 0) << "no buffer asks for the length";
  EXPECT_EQ(length, value.size());

  for (std::uint32_t capacity : {0u, 6u, 7u, 64u}) {
    SCOPED_TRACE(testing::Message() << "capacity " << capacity);
    std::vector<std::uint8_t> buffer(capacity + 4, 0xEE);
    length = capacity;
    const std::int32_t st = MAF_GetAttribute(server_, 24, Name(kHash), &length, buffer.data());
    EXPECT_EQ(length, value.size());
    if (capacity < value.size()) {
      EXPECT_EQ(st, kStatusMafValueTooLong);
      for (std::uint8_t b : buffer) ASSERT_EQ(b, 0xEE) << "a refused value was written";
    } else {
      EXPECT_EQ(st, 0);
      EXPECT_EQ(vesk::Bytes(buffer.begin(), buffer.begin() + value.size()), value);
      for (std::size_t i = value.size(); i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xEE);
    }
  }
}

TEST_F(VeskRecord, AttributeNamesMatchOnlyTheExactZeroTerminatedString) {
  a_.SetPasswordFlags(22, 0x1234);
  std::uint8_t word[4];
  for (const std::u16string& name : {std::u16string(u"Password flags"), std::u16string(u"Password Flag"),
                                     std::u16string(u"Password Flags "), std::u16string(u"")}) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    std::uint32_t length = 4;
    EXPECT_EQ(MAF_GetAttribute(server_, 22, Name(name), &length, word), wistra::kStatusNoSuchAttribute);
  }
  std::uint32_t length = 4;
  EXPECT_EQ(MAF_GetAttribute(server_, 22, nullptr, &length, word), wistra::kStatusNoSuchAttribute);
  EXPECT_EQ(MAF_GetAttribute(server_, 18, Name(kFlags), &length, word), wistra::kStatusNoSuchAttribute)
      << "kind 18 was not set";

  // An odd address: the name is read byte-wise, not through an aligned load.
  std::vector<std::uint8_t> unaligned(1 + 2 * (kFlags.size() + 1));
  std::memcpy(unaligned.data() + 1, kFlags.c_str(), 2 * (kFlags.size() + 1));
  length = 4;
  ASSERT_EQ(MAF_GetAttribute(server_, 22, reinterpret_cast<const std::uint16_t*>(unaligned.data() + 1), &length, word),
            0);
  EXPECT_EQ(vesk::Bytes(word, word + 4), vesk::Le32(0x1234));
}

TEST_F(VeskRecord, ClientAttributesTakeAnyName) {
  a_.SetTypedPassword("pw");
  a_.SetTypedType(7);
  const mafHandle client = a_.Handle(Side::kClient);
  std::uint8_t b[16];
  std::uint32_t length = sizeof b;
  ASSERT_EQ(MAF_GetAttribute(client, 6, nullptr, &length, b), 0);
  EXPECT_EQ(vesk::Bytes(b, b + length), vesk::ToBytes("pw"));
  length = sizeof b;
  ASSERT_EQ(MAF_GetAttribute(client, 7, Name(u"anything"), &length, b), 0);
  EXPECT_EQ(vesk::Bytes(b, b + length), vesk::Le32s({7, 0}));
}

TEST_F(VeskRecord, EverySourceStartsAbsentWithTheFrameworksOwnStatus) {
  std::uint32_t length = 64;
  std::uint8_t b[64];
  std::uint16_t units[32];
  std::uint32_t flags = 0;
  EXPECT_EQ(late_.get_password(server_, &length, units, &flags, 0, 0), wistra::kStatusNoSuchValue);
  length = 64;
  EXPECT_EQ(MAF_GetAttribute(server_, 24, Name(kHash), &length, b), wistra::kStatusNoSuchAttribute);
  length = 64;
  EXPECT_EQ(late_.get_hash(server_, b, &length, b, 0, 0), wistra::kStatusNoHash);
  length = 64;
  EXPECT_EQ(MAF_GetAttribute(a_.Handle(Side::kClient), 6, nullptr, &length, b), wistra::kStatusNoSuchAttribute);
}

TEST_F(VeskRecord, EachSourceCanBeAbsentWithAChosenStatus) {
  const std::int32_t statuses[] = {wistra::kStatusNoSuchValue, wistra::kStatusNoSuchAttribute, wistra::kStatusNoHash,
                                   wistra::kStatusNoAccess, wistra::kStatusNoObject, wistra::kStatusNotSupported};
  for (std::int32_t status : statuses) {
    SCOPED_TRACE(testing::Message() << "status " << status);
    Attempt a;
    a.SetPasswordValue("present first");
    a.SetPasswordValueAbsent(status);
    a.SetPasswordHashAbsent(status);
    a.SetPasswordFlagsAbsent(22, status);
    a.SetPasswordFlagsAbsent(18, status);
    a.SetGaltHashAbsent(status);
    a.SetTypedPasswordAbsent(status);
    a.SetTypedTypeAbsent(status);
    const mafHandle s = a.Handle(Side::kServer);
    const mafHandle c = a.Handle(Side::kClient);
    std::uint8_t b[64];
    std::uint16_t units[32];
    std::uint32_t length = 32;
    EXPECT_EQ(late_.get_password(s, &length, units, nullptr, 0, 0), status);
    EXPECT_EQ(length, 32u) << "an absent source leaves the length alone";
    EXPECT_EQ(MAF_GetAttribute(s, 24, Name(kHash), &length, b), status);
    EXPECT_EQ(MAF_GetAttribute(s, 22, Name(kFlags), &length, b), status);
    EXPECT_EQ(MAF_GetAttribute(s, 18, Name(kFlags), &length, b), status);
    EXPECT_EQ(late_.get_hash(s, b, &length, b, 0, 0), status);
    EXPECT_EQ(MAF_GetAttribute(c, 6, nullptr, &length, b), status);
    EXPECT_EQ(MAF_GetAttribute(c, 7, nullptr, &length, b), status);
    EXPECT_FALSE(a.PasswordValue().has_value());
  }
}

TEST_F(VeskRecord, PasswordValueIsUcs2WithItsTerminatorAndFlagWord) {
  ASSERT_TRUE(a_.SetPasswordValue("p\xC3\xA9\xE2\x82\xAC", 0x11));  // p, e acute, euro sign
  std::uint32_t length = 0;
  std::uint32_t flags = 0;
  ASSERT_EQ(late_.get_password(server_, &length, nullptr, &flags, 0, 0), 0) << "no buffer asks for the length";
  EXPECT_EQ(length, 4u) << "three units and the terminator";
  EXPECT_EQ(flags, 0x11u);

  std::uint16_t units[8];
  std::fill(std::begin(units), std::end(units), 0xEEEE);
  length = 3;
  EXPECT_EQ(late_.get_password(server_, &length, units, nullptr, 0, 0), kStatusMafValueTooLong);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(units[0], 0xEEEE) << "a refused value was written";
  length = 8;
  ASSERT_EQ(late_.get_password(server_, &length, units, nullptr, 0, 0), 0);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(std::vector<std::uint16_t>(units, units + 5),
            (std::vector<std::uint16_t>{u'p', 0x00E9, 0x20AC, 0, 0xEEEE}));

  EXPECT_FALSE(a_.SetPasswordValue("\xF0\x9F\x98\x80")) << "beyond UCS-2";
  EXPECT_FALSE(a_.SetPasswordValue("\xC3")) << "cut short";
}

TEST_F(VeskRecord, SetPasswordStoresTheValueAndRecordsTheCall) {
  a_.SetPasswordValueAbsent(wistra::kStatusNoSuchValue);
  const std::uint16_t text[] = {'n', 'e', 'w', 0};
  ASSERT_EQ(late_.set_password(server_, 4, text, 0x18), 0);
  EXPECT_EQ(a_.PasswordValue(), std::optional<std::u16string>(u"new"));
  EXPECT_EQ(a_.PasswordValueFlags(), 0x18u);
  std::uint32_t length = 0;
  EXPECT_EQ(late_.get_password(server_, &length, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(length, 4u);

  a_.FailCall(vesk::Call::kSetPassword, 2, wistra::kStatusNoSuchValue);
  const std::uint16_t other[] = {'x', 0};
  EXPECT_EQ(late_.set_password(server_, 2, other, 0), wistra::kStatusNoSuchValue);
  EXPECT_EQ(a_.PasswordValue(), std::optional<std::u16string>(u"new")) << "a refused store changes nothing";

  const auto calls = a_.SetPasswordCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].units, std::u16string(u"new\0", 4));
  EXPECT_EQ(calls[0].flags, 0x18u);
  EXPECT_EQ(calls[1].status, wistra::kStatusNoSuchValue);
}

TEST_F(VeskRecord, PutAttributeChangesTheRecord) {
  a_.SetPasswordHash(vesk::Bytes{2, 1, 2, 3, 0});
  const vesk::Bytes stored = {1, 's', 'e', 'c'};
  ASSERT_EQ(MAF_PutAttribute(server_, 24, Name(kHash), static_cast<std::uint32_t>(stored.size()), stored.data()), 0);
  std::uint8_t b[16];
  std::uint32_t length = sizeof b;
  ASSERT_EQ(MAF_GetAttribute(server_, 24, Name(kHash), &length, b), 0);
  EXPECT_EQ(vesk::Bytes(b, b + length), stored);
  EXPECT_EQ(a_.Attribute(24, kHash), std::optional<vesk::Bytes>(stored));
  const auto calls = a_.PutAttributeCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, 24u);
  EXPECT_EQ(calls[0].name, std::optional<std::u16string>(kHash));
  EXPECT_EQ(calls[0].value, stored);
}

TEST_F(VeskRecord, GaltHashGivesSaltAndHashSeparately) {
  const vesk::Bytes hash(16, 0x5A);
  const std::uint8_t salt[4] = {1, 2, 3, 4};
  a_.SetGaltHash(hash, salt);
  std::uint8_t got_salt[4] = {};
  ASSERT_EQ(late_.get_hash(server_, got_salt, nullptr, nullptr, 0, 0), 0) << "the salt alone";
  EXPECT_EQ(vesk::Bytes(got_salt, got_salt + 4), vesk::Bytes(salt, salt + 4));
  std::uint32_t length = 0;
  ASSERT_EQ(late_.get_hash(server_, nullptr, &length, nullptr, 0, 0), 0) << "the length alone";
  EXPECT_EQ(length, 16u);
  std::uint8_t b[20];
  std::fill(std::begin(b), std::end(b), 0xEE);
  length = 15;
  EXPECT_EQ(late_.get_hash(server_, nullptr, &length, b, 0, 0), kStatusMafValueTooLong);
  EXPECT_EQ(length, 16u);
  EXPECT_EQ(b[0], 0xEE);
  length = 20;
  ASSERT_EQ(late_.get_hash(server_, nullptr, &length, b, 0, 0), 0);
  EXPECT_EQ(vesk::Bytes(b, b + length), hash);
  EXPECT_EQ(b[16], 0xEE);
}

}  // namespace
