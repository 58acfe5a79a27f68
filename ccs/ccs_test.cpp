// The forwarding wrappers against the crypto service stand-in: refused while
// down, forwarded with the module identifier while up, and serialised.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "ccs/ccs.h"
#include "ccs/ccsstate.h"
#include "ccs/scoped.h"
#include "ccs/wrapper_cases.h"
#include "method/status.h"
#include "platform/tarn/tarn_control.h"

namespace {

using ccs::test::AllWrappers;

constexpr CCS_Word kNoWords[10] = {};
constexpr std::int32_t kInjected = -7777;

TEST(WrappersWhileDown, EveryWrapperRefusesWithoutReachingTheService) {
  CCS_ShutdownAll();
  TarnControl_Reset();
  for (const auto& wrapper : AllWrappers()) {
    SCOPED_TRACE(wrapper.service);
    EXPECT_EQ(wrapper.call(kNoWords), wistra::kStatusFacadeDown);
    EXPECT_EQ(TarnControl_CallCount(wrapper.service), 0u);
  }
}

TEST(WrappersWhileDown, GetModuleInfoAnswersTheSameUpOrDown) {
  CCS_ShutdownAll();
  EXPECT_EQ(CCS_GetModuleInfo(), wistra::kStatusBadLength);
  int caller = 0;
  ASSERT_EQ(CCS_Init(&caller), 0);
  EXPECT_EQ(CCS_GetModuleInfo(1, 2, 3), wistra::kStatusBadLength);
  CCS_ShutdownAll();
}

class WrappersUp : public ::testing::Test {
 protected:
  void SetUp() override {
    CCS_ShutdownAll();
    TarnControl_Reset();
    ASSERT_EQ(CCS_Init(&caller_), 0);
    ASSERT_EQ(TarnControl_LastModule("CCSX_Register", &module_), 0);
  }
  void TearDown() override { CCS_ShutdownAll(); }

  // The facade lock is free when another thread could take it now.
  static bool LockIsFree() {
    bool free = false;
    std::thread([&] {
      free = OSA_mutex_trylock(&ccs::ccsLock) == 0;
      if (free) OSA_mutex_unlock(&ccs::ccsLock);
    }).join();
    return free;
  }

  int caller_ = 0;
  std::uint32_t module_ = 0;
};

TEST_F(WrappersUp, EveryWrapperReachesItsOperationWithTheModuleAndReturnsItsStatus) {
  for (const auto& wrapper : AllWrappers()) {
    SCOPED_TRACE(wrapper.service);
    // The injected failure returns before the service looks at any argument.
    ASSERT_EQ(TarnControl_FailNext(wrapper.service, kInjected, 1), 0);
    EXPECT_EQ(wrapper.call(kNoWords), kInjected);
    EXPECT_EQ(TarnControl_CallCountFor(wrapper.service, module_), 1u);
    EXPECT_EQ(TarnControl_CallCount(wrapper.service), 1u);
    // A lock left held would hang the next row.
    ASSERT_TRUE(LockIsFree());
  }
}

TEST_F(WrappersUp, TheServicesOwnRefusalOfTheModulePassesThrough) {
  ASSERT_EQ(TarnControl_FailNext("CCSX_CreateContext", wistra::kStatusFacadeDown, 1), 0);
  std::uint32_t context = 0x1234;
  EXPECT_EQ(CCS_CreateContext(0, &context), wistra::kStatusFacadeDown);
  EXPECT_EQ(context, 0x1234u);
  // Still up: the next call goes through.
  ccs::ScopedContext next;
  EXPECT_EQ(next.Create(), 0);
}

TEST_F(WrappersUp, DigestsOfTwoThreadsReachTheServiceOneAfterTheOther) {
  // While the facade lock is taken, neither thread's digest may reach the
  // service; once it is free both complete, each under this module's identifier.
  ccs::ScopedContext contexts[2];
  for (auto& c : contexts) ASSERT_EQ(c.Create(), 0);
  const std::uint8_t data[] = {'a', 'b', 'c'};
  std::uint8_t out[2][ccs::kSha1Size] = {};
  std::int32_t results[2] = {-1, -1};
  for (auto& c : contexts) {
    const AlgorithmSpec sha1 = ccs::PlainAlgorithm(ccs::ALG_SHA1);
    ASSERT_EQ(CCS_DigestInit(c.get(), &sha1), 0);
  }
  TarnControl_Reset();

  ASSERT_EQ(OSA_mutex_lock(&ccs::ccsLock), 0);
  std::thread threads[2];
  for (int i = 0; i < 2; ++i) {
    threads[i] = std::thread([&, i] {
      std::uint32_t length = sizeof out[i];
      results[i] = CCS_Digest(contexts[i].get(), data, sizeof data, out[i], &length);
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(TarnControl_CallCount("CCSX_Digest"), 0u);
  ASSERT_EQ(OSA_mutex_unlock(&ccs::ccsLock), 0);
  for (auto& t : threads) t.join();

  EXPECT_EQ(TarnControl_CallCountFor("CCSX_Digest", module_), 2u);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(results[i], 0);
    EXPECT_EQ(out[i][0], 0xA9);  // SHA-1("abc") begins a9 99 3e 36
    EXPECT_EQ(out[i][1], 0x99);
  }
  EXPECT_TRUE(LockIsFree());
}

}  // namespace
