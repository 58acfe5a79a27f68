#include "osa/osatvul.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "osa/osatest_support.h"

namespace {

class OsaRandom : public ::testing::Test {
 protected:
  void TearDown() override { osa::testing::SetRandomDevice(nullptr); }
  osa::test::TempDir dir;
};

// A pass emits 13 bytes; the counter moves before its 11th byte and the
// generator before its 12th, so a call that stops earlier leaves them alone.
TEST_F(OsaRandom, StateMovesOncePerCompletedPass) {
  struct Case {
    std::uint32_t length;
    std::uint32_t passes;  // passes that reached the counter step
    bool nextRandMoves;
  };
  const Case cases[] = {
      {1, 0, false},  {7, 0, false},  {10, 0, false}, {11, 1, false}, {12, 1, true},
      {13, 1, true},  {14, 1, true},  {23, 1, true},  {24, 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    std::uint8_t buf[40];
    std::memset(buf, 0xA5, sizeof buf);
    const auto before = osa::testing::GetRandomState();
    EXPECT_EQ(OSA_GetRandom(buf, c.length), 0);
    const auto after = osa::testing::GetRandomState();
    EXPECT_EQ(after.callsCount - before.callsCount, c.passes);
    EXPECT_EQ(after.nextRand != before.nextRand, c.nextRandMoves);
    EXPECT_EQ(after.nextRand & 1u, 1u);  // the generator's state stays odd
    for (std::uint32_t i = c.length; i < sizeof buf; ++i) ASSERT_EQ(buf[i], 0xA5) << "byte " << i;
  }
}

TEST_F(OsaRandom, NothingToFill) {
  const auto before = osa::testing::GetRandomState();
  std::uint8_t byte = 0x5A;
  EXPECT_EQ(OSA_GetRandom(nullptr, 13), 0);
  EXPECT_EQ(OSA_GetRandom(&byte, 0), 0);
  EXPECT_EQ(byte, 0x5A);
  const auto after = osa::testing::GetRandomState();
  EXPECT_EQ(after.callsCount, before.callsCount);
  EXPECT_EQ(after.nextRand, before.nextRand);
}

// Without the device the mixing stream still covers the buffer; with a device
// that delivers fixed bytes, the output is those bytes xor the stream, so two
// calls over the same device bytes differ.
TEST_F(OsaRandom, DeviceBytesAreMixed) {
  osa::testing::SetRandomDevice(dir.File("missing").c_str());
  std::uint8_t a[64] = {}, b[64] = {};
  EXPECT_EQ(OSA_GetRandom(a, sizeof a), 0);
  EXPECT_NE(std::memcmp(a, b, sizeof a), 0);

  dir.Write("device", std::string(64, '\0'));
  osa::testing::SetRandomDevice(dir.File("device").c_str());
  std::memset(a, 0xFF, sizeof a);
  std::memset(b, 0xFF, sizeof b);
  EXPECT_EQ(OSA_GetRandom(a, sizeof a), 0);
  EXPECT_EQ(OSA_GetRandom(b, sizeof b), 0);
  EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
  const std::uint8_t zeros[64] = {};
  EXPECT_NE(std::memcmp(a, zeros, sizeof a), 0);
}

}  // namespace
