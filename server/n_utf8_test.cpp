#include "server/n_utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "server/schemes_test_env.h"

namespace {

using schemes_test::Bytes;
using schemes_test::FromHex;
using schemes_test::HexOf;

TEST(Utf8CharLen, LeadBytesAndTheOverlongCheck) {
  struct Case {
    std::uint8_t first, second;
    std::int32_t charlen, charlen2;
  };
  const Case cases[] = {
      {0x41, 0x00, 1, 1}, {0x7F, 0x00, 1, 1}, {0x80, 0x80, 0, 0}, {0xBF, 0x80, 0, 0}, {0xC0, 0x80, 2, 2},
      {0xC1, 0x00, 2, 2}, {0xDF, 0xBF, 2, 2}, {0xE0, 0x9F, 3, 0}, {0xE0, 0xA0, 3, 3}, {0xE1, 0x80, 3, 3},
      {0xEF, 0x7F, 3, 0}, {0xF0, 0x8F, 4, 0}, {0xF0, 0x90, 4, 4}, {0xF7, 0x80, 4, 4}, {0xF8, 0x87, 5, 0},
      {0xF8, 0x88, 5, 5}, {0xFB, 0x80, 5, 5}, {0xFC, 0x83, 6, 0}, {0xFC, 0x84, 6, 6}, {0xFD, 0x80, 6, 6},
      {0xFE, 0x80, 0, 0}, {0xFF, 0x80, 0, 0},
  };
  for (const Case& c : cases) {
    const std::uint8_t p[2] = {c.first, c.second};
    SCOPED_TRACE(HexOf(p));
    EXPECT_EQ(ldap_x_utf8_charlen(p), c.charlen);
    EXPECT_EQ(ldap_x_utf8_charlen2(p), c.charlen2);
  }
}

TEST(Utf8ToUnicode, ConvertsOrRefuses) {
  struct Case {
    const char* utf8;  // hex
    std::int32_t result;
    std::vector<std::uint16_t> stored;  // what lies in out before the terminator or the refusal
  };
  const Case cases[] = {
      {"", 0, {}},
      {"61 62 63", 3, {0x61, 0x62, 0x63}},
      {"c3 a9", 1, {0xE9}},
      {"c3", -1, {}},  // the terminator is no continuation byte
      {"c3 41", -1, {}},
      {"c0 80", 1, {0x0000}},  // two-byte forms are not checked for overlong form
      {"e0 80 80", -1, {}},
      {"e0 a0 80", 1, {0x0800}},
      {"e1 80 80", 1, {0x1000}},
      {"ef bf bf", 1, {0xFFFF}},
      {"e2 82 ac 41", 2, {0x20AC, 0x41}},
      {"f0 9f 98 80", -1, {}},  // four bytes, though well formed
      {"41 f8 88 80 80 80", -1, {0x41}},
      {"80", -1, {}},
      {"41 fe", -1, {0x41}},
      {"41 ff", -1, {0x41}},
      {"61 e2 82", -1, {0x61}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    Bytes text = FromHex(c.utf8);
    text.push_back(0);
    std::uint16_t out[8];
    std::fill(std::begin(out), std::end(out), 0xAAAA);
    EXPECT_EQ(utf8s_to_unicodeStr(out, text.data(), 8), c.result);
    EXPECT_EQ(utf8s_to_unicodeStr(nullptr, text.data(), 0), c.result) << "counting only";
    for (std::size_t i = 0; i < c.stored.size(); ++i) EXPECT_EQ(out[i], c.stored[i]) << "unit " << i;
    // A terminator follows a whole conversion, and only a whole one.
    EXPECT_EQ(out[c.stored.size()], c.result >= 0 ? 0 : 0xAAAA);
  }
}

TEST(Utf8ToUnicode, StopsAtCapacityWithoutTerminator) {
  const std::uint8_t text[] = "abcd";
  std::uint16_t out[5] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
  EXPECT_EQ(utf8s_to_unicodeStr(out, text, 3), 3);
  EXPECT_EQ(out[2], 'c');
  EXPECT_EQ(out[3], 0xAAAA);
  EXPECT_EQ(utf8s_to_unicodeStr(out, nullptr, 5), 0);
  EXPECT_EQ(out[0], 0);
}

TEST(UnicodeToUtf8, OneCharacter) {
  struct Case {
    std::uint16_t ch;
    const char* utf8;
  };
  const Case cases[] = {{0x0000, "00"},    {0x0041, "41"},       {0x007F, "7f"},       {0x0080, "c2 80"},
                        {0x07FF, "df bf"}, {0x0800, "e0 a0 80"}, {0xFFFF, "ef bf bf"}, {0xD800, "ed a0 80"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    const Bytes expected = FromHex(c.utf8);
    const auto n = static_cast<std::int32_t>(expected.size());
    EXPECT_EQ(unicode_to_utf8(nullptr, c.ch, 0), n);
    std::uint8_t buf[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(unicode_to_utf8(buf, c.ch, static_cast<std::uint32_t>(n - 1)), 0);
    EXPECT_EQ(HexOf(buf), HexOf(FromHex("aa aa aa aa"))) << "nothing written when it does not fit";
    EXPECT_EQ(unicode_to_utf8(buf, c.ch, 4), n);
    EXPECT_EQ(HexOf(std::span(buf, expected.size())), HexOf(expected));
  }
}

TEST(UnicodeStrToUtf8s, WholeOrZeroFilledToTheRoom) {
  struct Case {
    std::vector<std::uint16_t> units;
    std::int32_t room;
    std::int32_t result;
    const char* buffer;  // the first 6 bytes of the output afterwards; aa is untouched
  };
  const Case cases[] = {
      {{0x0800}, 2, 2, "00 00 aa aa aa aa"},
      {{0x0800}, 3, 3, "e0 a0 80 aa aa aa"},
      {{0x0800}, 4, 3, "e0 a0 80 00 aa aa"},
      {{0x41, 0xE9}, 2, 2, "41 00 aa aa aa aa"},
      {{0x41, 0xE9, 0x42}, 5, 4, "41 c3 a9 42 00 aa"},
      {{0x41, 0xE9, 0x800}, 6, 6, "41 c3 a9 e0 a0 80"},
      {{}, 0, 0, "aa aa aa aa aa aa"},
      {{}, 3, 0, "00 aa aa aa aa aa"},
      {{0x41}, 0, 0, "aa aa aa aa aa aa"},
      {{0x41}, -4, 0, "aa aa aa aa aa aa"},  // a negative room is no room
  };
  for (const Case& c : cases) {
    std::vector<std::uint16_t> ucs = c.units;
    ucs.push_back(0);
    SCOPED_TRACE(::testing::Message() << "units " << c.units.size() << ", room " << c.room);
    std::uint8_t out[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(unicodeStr_to_utf8s(out, ucs.data(), c.room), c.result);
    EXPECT_EQ(HexOf(out), HexOf(FromHex(c.buffer)));
  }
}

TEST(UnicodeStrToUtf8s, MeasuresWithoutOutput) {
  const std::uint16_t ucs[] = {0x41, 0xE9, 0x800, 0};
  EXPECT_EQ(unicodeStr_to_utf8s(nullptr, ucs, 0), 6);
  EXPECT_EQ(unicodeStr_to_utf8s(nullptr, nullptr, 9), 0);
}

}  // namespace
