#include "osa/osactx.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// The layer's flag is module-wide: leave it down for the next test.
class OsaLifecycle : public ::testing::Test {
 protected:
  void TearDown() override {
    while (OSA_Deinitialize(nullptr) == 0) {
    }
  }
};

TEST_F(OsaLifecycle, TransitionsFollowTheTable) {
  struct Step {
    const char* op;
    std::int32_t result;
    std::int32_t handleAfter;
  };
  const Step steps[] = {
      {"deinit", -2, 0}, {"init", 0, 1}, {"init", 0, 1}, {"deinit", 0, 0}, {"deinit", -2, 0}, {"init", 0, 1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.op);
    const std::int32_t rc = std::string_view(s.op) == "init" ? OSA_Initialize(nullptr) : OSA_Deinitialize(nullptr);
    EXPECT_EQ(rc, s.result);
    EXPECT_EQ(OSA_GetModuleHandle(0), s.handleAfter);
    EXPECT_EQ(OSA_GetModuleHandle(1), 0);
  }
}

TEST(OsaContext, RecordHoldsCheckWordAndValue) {
  OSA_Context* ctx = nullptr;
  ASSERT_EQ(OSA_CreateContext(7, &ctx), 0);
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->check, 0x11111111u);
  EXPECT_EQ(ctx->value, 7u);
  EXPECT_EQ(OSA_DestroyContext(ctx), 0);
  EXPECT_EQ(OSA_CreateContext(7, nullptr), -2);
  EXPECT_EQ(OSA_DestroyContext(nullptr), 0);
}

std::atomic<int> yields{0};
void CountYield() { yields.fetch_add(1); }

TEST(OsaSchedule, OnlyLevelTwoYields) {
  osa::testing::SetYield(&CountYield);
  struct Case {
    std::int32_t level;
    int yields;
  };
  for (const Case c : {Case{0, 0}, Case{1, 0}, Case{2, 1}, Case{3, 0}, Case{-1, 0}}) {
    SCOPED_TRACE(c.level);
    yields = 0;
    EXPECT_EQ(OSA_YieldExecution(c.level), 0);
    EXPECT_EQ(yields.load(), c.yields);
  }
  osa::testing::SetYield(nullptr);
  EXPECT_EQ(OSA_Delay(1000000), 0);
  EXPECT_EQ(OSA_DisableShutDownEvents(), 0);
}

std::int64_t fixedSeconds = 0;
std::int64_t fixedMicros = 0;
void FixedClock(std::int64_t* s, std::int64_t* us) {
  *s = fixedSeconds;
  *us = fixedMicros;
}

TEST(OsaClock, SecondsAndTenfoldIgnoreMicroseconds) {
  osa::testing::SetWallClock(&FixedClock);
  struct Case {
    std::int64_t seconds, micros;
    std::uint32_t expectSeconds, expectTenfold;
  };
  const Case cases[] = {
      {1000, 0, 1000, 10000},
      {1000, 999999, 1000, 10000},
      {0x20000000, 5, 0x20000000u, 0x40000000u},  // 10 * 2^29 wraps in 32 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    fixedSeconds = c.seconds;
    fixedMicros = c.micros;
    std::uint32_t s = 0, t = 0;
    EXPECT_EQ(OSA_GetSecMsec(&s, &t), c.expectSeconds);
    EXPECT_EQ(s, c.expectSeconds);
    EXPECT_EQ(t, c.expectTenfold);
    EXPECT_EQ(OSA_GetTODULong(0), c.expectSeconds);
  }
  osa::testing::SetWallClock(nullptr);
  EXPECT_GT(OSA_GetTODULong(0), 1700000000u);
}

}  // namespace
