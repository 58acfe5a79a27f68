// The facade's lifecycle against the crypto service stand-in: the reference
// count, registration, the failure rows, the module identifier and the state
// lock between threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "ccs/ccs.h"
#include "ccs/ccsstate.h"
#include "ccs/scoped.h"
#include "method/status.h"
#include "osa/osactx.h"
#include "platform/tarn/tarn_control.h"

namespace {

using wistra::kStatusFacadeDown;
using wistra::kStatusFacadeNoMemory;
using wistra::kStatusInvalidArgument;

void* NoMemory(std::size_t) { return nullptr; }

// Up exactly when a wrapper gets through to the service.
bool FacadeUp() {
  ccs::ScopedContext context;
  const std::int32_t rc = context.Create();
  EXPECT_TRUE(rc == 0 || rc == kStatusFacadeDown) << rc;
  return rc == 0;
}

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    CCS_ShutdownAll();
    TarnControl_Reset();
  }
  void TearDown() override {
    ccs::testing::SetRegistrationAllocator(nullptr);
    osa::testing::SetWallClock(nullptr);
    osa::testing::SetYield(nullptr);
    CCS_ShutdownAll();
  }
  int caller_ = 0;
};

enum class Step { Init, InitNull, Shutdown, ShutdownAll, RefuseRegistration, NoMemory, Flags0, Flags1 };

struct LifecycleCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::int32_t> results;  // one per step that returns a status
  bool up;
  std::int32_t counter;
  std::uint32_t registrations;  // CCSX_Register calls
  std::uint32_t goodbyes;
};

constexpr std::int32_t kRefused = -1234;

TEST_F(Lifecycle, TransitionsAndFailureRows) {
  using S = Step;
  const LifecycleCase cases[] = {
      {"init", {S::Init}, {0}, true, 1, 1, 0},
      {"null caller", {S::InitNull}, {kStatusInvalidArgument}, false, 0, 0, 0},
      {"null caller, then init", {S::InitNull, S::Init}, {kStatusInvalidArgument, 0}, true, 1, 1, 0},
      {"init twice, shut down once", {S::Init, S::Init, S::Shutdown}, {0, 0}, true, 1, 1, 0},
      {"init twice, shut down twice", {S::Init, S::Init, S::Shutdown, S::Shutdown}, {0, 0}, false, 0, 1, 1},
      {"init three times, shut down all", {S::Init, S::Init, S::Init, S::ShutdownAll}, {0, 0, 0}, false, 0, 1, 1},
      {"shut down while down", {S::Shutdown}, {}, false, -1, 0, 0},
      {"shut down all while down", {S::Shutdown, S::ShutdownAll}, {}, false, 0, 0, 0},
      {"shut down while down, then init", {S::Shutdown, S::Init}, {0}, true, 0, 1, 0},
      {"below zero, init, shut down", {S::Shutdown, S::Init, S::Shutdown}, {0}, false, -1, 1, 1},
      {"registration refused", {S::RefuseRegistration}, {kRefused}, false, 0, 1, 0},
      {"registration refused, then init", {S::RefuseRegistration, S::Init}, {kRefused, 0}, true, 1, 2, 0},
      {"refused while up changes nothing", {S::Init, S::RefuseRegistration}, {0, 0}, true, 2, 1, 0},
      {"no memory to register", {S::NoMemory}, {kStatusFacadeNoMemory}, false, 0, 0, 0},
      {"no memory, then init", {S::NoMemory, S::Init}, {kStatusFacadeNoMemory, 0}, true, 1, 1, 0},
      {"flags while down", {S::Flags0, S::Flags1}, {0, kStatusInvalidArgument}, false, 0, 0, 0},
      {"flags while up", {S::Init, S::Flags1, S::Flags0}, {0, kStatusInvalidArgument, 0}, true, 1, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CCS_ShutdownAll();
    TarnControl_Reset();
    std::vector<std::int32_t> results;
    for (Step step : c.steps) {
      switch (step) {
        case S::Init: results.push_back(CCS_Init(&caller_)); break;
        case S::InitNull: results.push_back(CCS_Init(nullptr)); break;
        case S::Shutdown: CCS_Shutdown(); break;
        case S::ShutdownAll: CCS_ShutdownAll(); break;
        case S::RefuseRegistration:
          ASSERT_EQ(TarnControl_FailNext("CCSX_Register", kRefused, 1), 0);
          results.push_back(CCS_Init(&caller_));
          break;
        case S::NoMemory:
          ccs::testing::SetRegistrationAllocator(&NoMemory);
          results.push_back(CCS_Init(&caller_));
          ccs::testing::SetRegistrationAllocator(nullptr);
          break;
        case S::Flags0: results.push_back(CCS_SetInitFlags(0)); break;
        case S::Flags1: results.push_back(CCS_SetInitFlags(1)); break;
      }
    }
    EXPECT_EQ(results, c.results);
    EXPECT_EQ(ccs::testing::InitCounter(), c.counter);
    EXPECT_EQ(TarnControl_CallCount("CCSX_Register"), c.registrations);
    EXPECT_EQ(TarnControl_CallCount("CCSX_Goodbye"), c.goodbyes);
    // Registered with the service exactly while up, and hModule 0 while down.
    EXPECT_EQ(TarnControl_RegisteredCount(), c.up ? 1u : 0u);
    EXPECT_EQ(ccs::hModule == 0, !c.up);
    EXPECT_EQ(FacadeUp(), c.up);
    // The state lock is free again: this would spin for ever otherwise.
    CCS_ShutdownAll();
  }
}

// Fixes the clock for the identifier tests.
std::atomic<std::int64_t> fixedSeconds{0};
void FixedClock(std::int64_t* seconds, std::int64_t* micros) {
  *seconds = fixedSeconds.load();
  *micros = 999999;
}

TEST_F(Lifecycle, ReinitialisingMakesAndRegistersANewIdentifier) {
  osa::testing::SetWallClock(&FixedClock);
  std::uint32_t ids[2] = {};
  const std::int64_t times[2] = {1000, 2000};
  for (int i = 0; i < 2; ++i) {
    fixedSeconds = times[i];
    ASSERT_EQ(CCS_Init(&caller_), 0);
    ids[i] = ccs::hModule;
    std::uint32_t registered = 0;
    ASSERT_EQ(TarnControl_LastModule("CCSX_Register", &registered), 0);
    EXPECT_EQ(registered, ids[i]);
    CCS_Shutdown();
  }
  EXPECT_EQ(TarnControl_CallCount("CCSX_Register"), 2u);
  EXPECT_EQ(TarnControl_CallCountFor("CCSX_Goodbye", ids[0]), 1u);
  // Same caller, same stack depth: the identifiers differ by the clock term,
  // (seconds << 10) | 10 * seconds, alone.
  const auto term = [](std::uint32_t s) { return (s << 10) | (s * 10u); };
  EXPECT_EQ(ids[0] ^ ids[1], term(1000) ^ term(2000));
}

TEST_F(Lifecycle, IdentifierFoldsTheWholeCallerAddress) {
  osa::testing::SetWallClock(&FixedClock);
  fixedSeconds = 1000;
  // Two callers that differ only above bit 31 (on a 64-bit build) or in bit 4.
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(&caller_);
  const std::uintptr_t other = sizeof(std::uintptr_t) > 4 ? base ^ ((std::uintptr_t{1} << 20) << 20) : base ^ 0x10;
  const std::uint32_t a = ccs::generateModuleID(reinterpret_cast<const void*>(base));
  const std::uint32_t b = ccs::generateModuleID(reinterpret_cast<const void*>(other));
  EXPECT_NE(a, b);
  EXPECT_EQ(a ^ b, ccs::FoldAddress(base) ^ ccs::FoldAddress(other));
}

// Holds the first CCS_Init inside the state lock (in its clock reading) until
// the second thread has been seen spinning for the lock.
std::atomic<bool> releaseClock{false};
std::atomic<int> clockReads{0};
std::atomic<int> yields{0};
void BlockingClock(std::int64_t* seconds, std::int64_t* micros) {
  clockReads.fetch_add(1);
  while (!releaseClock.load()) std::this_thread::yield();
  *seconds = 1000;
  *micros = 0;
}
void CountingYield() {
  yields.fetch_add(1);
  std::this_thread::yield();
}

// Polls until done() holds, for at most two seconds; a broken lock shows as a
// failure, not as a hang.
template <typename F>
bool WaitUntil(F done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST_F(Lifecycle, TwoThreadsInitialisingADownFacadeRegisterOnce) {
  releaseClock = false;
  clockReads = 0;
  yields = 0;
  osa::testing::SetWallClock(&BlockingClock);
  osa::testing::SetYield(&CountingYield);

  std::int32_t results[2] = {-1, -1};
  std::thread first([&] { results[0] = CCS_Init(&caller_); });
  EXPECT_TRUE(WaitUntil([] { return clockReads.load() > 0; }));
  std::thread second([&] { results[1] = CCS_Init(&caller_); });
  // The second thread spins at yield level 2, giving the processor away.
  const bool spun = WaitUntil([] { return yields.load() >= 3; });
  releaseClock = true;
  first.join();
  second.join();
  EXPECT_TRUE(spun) << "the second CCS_Init did not wait for the state lock at yield level 2";

  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_EQ(clockReads.load(), 1);
  EXPECT_EQ(TarnControl_CallCount("CCSX_Register"), 1u);
  EXPECT_EQ(ccs::testing::InitCounter(), 2);
  CCS_Shutdown();
  EXPECT_TRUE(FacadeUp());
  CCS_Shutdown();
  EXPECT_FALSE(FacadeUp());
}

TEST_F(Lifecycle, ShutdownWaitsForARunningInitWithoutYielding) {
  releaseClock = false;
  clockReads = 0;
  yields = 0;
  osa::testing::SetWallClock(&BlockingClock);
  osa::testing::SetYield(&CountingYield);

  std::atomic<bool> shutdownDone{false};
  std::thread init([&] { EXPECT_EQ(CCS_Init(&caller_), 0); });
  EXPECT_TRUE(WaitUntil([] { return clockReads.load() > 0; }));
  std::thread shutdown([&] {
    CCS_Shutdown();
    shutdownDone = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(shutdownDone.load());
  releaseClock = true;
  init.join();
  shutdown.join();

  EXPECT_EQ(yields.load(), 0);
  EXPECT_EQ(ccs::testing::InitCounter(), 0);
  EXPECT_FALSE(FacadeUp());
  EXPECT_EQ(TarnControl_CallCount("CCSX_Goodbye"), 1u);
}

}  // namespace
