#include "method/wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wistra {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(std::span<const std::uint8_t> b) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (auto c : b) {
    s += d[c >> 4];
    s += d[c & 15];
  }
  return s;
}

Bytes Words(std::initializer_list<std::uint32_t> words) {
  Bytes out;
  for (auto w : words)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
  return out;
}

TEST(WireEncoding, RecordsByteForByte) {
  std::uint8_t buf[128];
  EXPECT_EQ(Hex(std::span(buf, EncodeOpeningMessage(buf))), "ffffffff00000000");
  EXPECT_EQ(Hex(std::span(buf, EncodeWord(PROTOCOL_VERSION, buf))), "01000000");
  EXPECT_EQ(Hex(std::span(buf, EncodePwdInfo({1, PWDINFO_SYNC_PASSWORD | PWDINFO_UPPERCASE_HASH, HASH_SALTED_SHA1,
                                                16},
                                               buf))),
            "01000000060000000800000010000000");
  EXPECT_EQ(Hex(std::span(buf, EncodePwdInfo({-1636, 0, 1, 0}, buf))), "9cf9ffff000000000100000000000000");
  EXPECT_EQ(Hex(std::span(buf, EncodeAnswerHeader({HASH_CRYPT, ANSWER_PASSWORD_CHANGE | ANSWER_MULTI_HASHES}, buf))),
            "0400000003000000");
  const std::uint8_t plain[] = {0xAA, 0xBB};
  const std::uint8_t upper[] = {0xCC};
  EXPECT_EQ(Hex(std::span(buf, EncodeMultiHashAnswer(plain, upper, buf))),
            "02000000" "00000000" "02000000" "aabb" "01000000" "01000000" "cc");
  // Too small an output gives 0, never a partial record.
  EXPECT_EQ(EncodePwdInfo({}, std::span(buf, 15)), 0u);
}

TEST(WireEncoding, ChapAnswerRoundTripsAtItsOffsets) {
  chapAnswer a;
  a.id = 0x42;
  a.challenge[0] = 0x11;
  a.challenge[31] = 0x1F;
  a.challengeLen = 16;
  a.response[0] = 0x22;
  a.responseLen = 16;
  std::uint8_t buf[chapAnswer::kSize];
  ASSERT_EQ(EncodeChapAnswer(a, buf), chapAnswer::kSize);
  EXPECT_EQ(buf[0], 0x42);
  EXPECT_EQ(buf[4], 0x11);
  EXPECT_EQ(buf[35], 0x1F);
  EXPECT_EQ(buf[36], 16);
  EXPECT_EQ(buf[40], 0x22);
  EXPECT_EQ(buf[72], 16);
  chapAnswer b;
  ASSERT_TRUE(DecodeChapAnswer(buf, &b));
  EXPECT_EQ(b.id, 0x42);
  EXPECT_EQ(b.challengeLen, 16u);
  EXPECT_EQ(b.response[0], 0x22);
  for (std::size_t n : {std::size_t{0}, std::size_t{75}}) EXPECT_FALSE(DecodeChapAnswer(std::span(buf, n), &b));
  std::uint8_t longer[77] = {};
  EXPECT_FALSE(DecodeChapAnswer(longer, &b));
}

TEST(WireParsing, ShortAndLongHeaders) {
  struct Case {
    Bytes message;
    bool opening;
    std::int32_t answerType;
    std::uint32_t answerFlags;
  };
  const Case cases[] = {
      {{}, false, 0, 0},
      {{0xFF}, false, 0xFF, 0},
      {{0xFF, 0xFF, 0xFF}, false, 0xFFFFFF, 0},
      {{0xFF, 0xFF, 0xFF, 0xFF}, true, -1, 0},
      {Words({0xFFFFFFFF, 7, 9}), true, -1, 7},  // marker whatever follows
      {Words({8}), false, 8, 0},                  // 4-byte header: flags 0
      {{8, 0, 0, 0, 3}, false, 8, 3},             // 5 bytes: the flags byte that is there
      {Words({8, 3}), false, 8, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.message));
    EXPECT_EQ(IsOpeningMessage(c.message), c.opening);
    const answerHeader h = DecodeAnswerHeader(c.message);
    EXPECT_EQ(h.answerType, c.answerType);
    EXPECT_EQ(h.answerFlags, c.answerFlags);
  }
}

TEST(WireParsing, PwdInfoFromShortReplyPadsWithZero) {
  const Bytes full = Words({1, 6, 8, 16});
  const wire_pwdInfo a = DecodePwdInfo(full);
  EXPECT_EQ(a.status, 1);
  EXPECT_EQ(a.flags, 6u);
  EXPECT_EQ(a.hashId, 8);
  EXPECT_EQ(a.extraLen, 16u);
  const wire_pwdInfo b = DecodePwdInfo(std::span(full).first(9));
  EXPECT_EQ(b.status, 1);
  EXPECT_EQ(b.flags, 6u);
  EXPECT_EQ(b.hashId, 8);
  EXPECT_EQ(b.extraLen, 0u);
  EXPECT_EQ(DecodePwdInfo({}).status, 0);
}

// Each entry the walk verifies, and the verdict it returns.
struct WalkCase {
  const char* name;
  Bytes message;
  Bytes matching;  // the entry bytes that verify as a match
  int verdict;
  std::vector<std::uint32_t> seenUpcase;
};

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(MultiHashWalk, FollowsTheRules) {
  const Bytes good = {0xAB, 0xCD};
  const WalkCase cases[] = {
      {"four bytes or fewer", Words({2}), good, 0, {}},
      {"count 0", Cat({Words({0, 0, 2}), good}), good, 0, {}},
      {"first entry matches", Cat({Words({2, 0, 2}), good, Words({1, 2}), {1, 1}}), good, 1, {0}},
      {"second matches after first fails", Cat({Words({2, 0, 2}), {9, 9}, Words({1, 2}), good}), good, 1, {0, 1}},
      {"count stops the walk", Cat({Words({1, 0, 2}), {9, 9}, Words({1, 2}), good}), good, 0, {0}},
      {"length runs past the end", Cat({Words({2, 0, 50}), good}), good, 0, {}},
      {"oversized first entry passed over, second read after its head",
       Cat({Words({2, 0, 0xFFFFFFF0}), Words({1, 2}), good}), good, 1, {1}},
      {"fewer than 9 bytes left", Cat({Words({2, 0, 0})}), good, 0, {}},
      {"eight-byte entry with no bytes ends the walk", Cat({Words({5, 0, 0})}), {}, 0, {}},
      {"huge count with nothing after", Cat({Words({0xFFFFFFFF}), {1, 2, 3}}), good, 0, {}},
      {"empty entry with one byte after it", Cat({Words({2, 7, 0}), {0xAB}}), {}, 1, {7}},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint32_t> seen;
    const int verdict = WalkMultiHashAnswer(c.message, [&](std::uint32_t upcase, std::span<const std::uint8_t> b) {
      seen.push_back(upcase);
      return Bytes(b.begin(), b.end()) == c.matching ? 1 : 0;
    });
    EXPECT_EQ(verdict, c.verdict);
    EXPECT_EQ(seen, c.seenUpcase);
  }
}

}  // namespace
}  // namespace wistra
