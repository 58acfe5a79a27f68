#include "osa/osasema.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "osa/osatest_support.h"
#include "osa/osathrd.h"

namespace {

TEST(OsaSemaphoreDeadline, AddsMillisecondsToTheWallClock) {
  struct Case {
    std::int64_t s;
    std::uint32_t u, ms;
    std::int64_t wantSec;
    long wantNsec;
  };
  const Case cases[] = {
      {10, 800000, 1500, 12, 300000000},
      {10, 0, 0, 10, 0},
      {10, 999999, 999, 11, 998999000},  // the largest nanosecond sum
      {10, 500000, 500, 11, 0},
      {10, 1, 0xFFFFFFFEu, 10 + 4294967 + 0, 294000000 + 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.u) + "us + " + std::to_string(c.ms) + "ms");
    const timespec d = osa::SemaphoreDeadline(c.s, c.u, c.ms);
    EXPECT_EQ(d.tv_sec, c.wantSec);
    EXPECT_EQ(d.tv_nsec, c.wantNsec);
  }
}

class OsaSemaphore : public ::testing::Test {
 protected:
  void TearDown() override {
    if (h != nullptr) {
      EXPECT_EQ(OSA_FreeSemaphore(h), 0);
    }
  }
  std::int32_t Count() {
    std::int32_t v = -99;
    EXPECT_EQ(OSA_QuerySemaphore(h, &v), 0);
    return v;
  }
  OSA_Semaphore* h = nullptr;
};

TEST_F(OsaSemaphore, AllocRefusesReservedArgumentsAndNullOut) {
  struct Case {
    std::int32_t a, b;
    bool withOut;
  };
  const Case cases[] = {{1, 0, true}, {0, 1, true}, {0, 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.a) + "," + std::to_string(c.b) + (c.withOut ? "" : " null out"));
    OSA_Semaphore* out = reinterpret_cast<OSA_Semaphore*>(this);
    EXPECT_EQ(OSA_AllocSemaphore(nullptr, c.a, c.b, 1, c.withOut ? &out : nullptr), -2);
    if (c.withOut) {
      EXPECT_EQ(out, nullptr);
    }
  }
}

TEST_F(OsaSemaphore, WaitsTakeUnitsAndBlockAtZero) {
  ASSERT_EQ(OSA_AllocSemaphore(nullptr, 0, 0, 2, &h), 0);
  EXPECT_EQ(OSA_WaitForeverOnSemaphore(h), 0);
  EXPECT_EQ(OSA_WaitForeverOnSemaphore(h), 0);
  EXPECT_EQ(Count(), 0);
  osa::test::BlockingCall third([&] { return OSA_WaitForeverOnSemaphore(h); });
  ASSERT_TRUE(third.Blocked());
  EXPECT_EQ(OSA_PostSemaphore(h), 0);
  EXPECT_EQ(third.Join(), 0);
  EXPECT_EQ(Count(), 0);
}

TEST_F(OsaSemaphore, TimedWaitWithoutUnits) {
  ASSERT_EQ(OSA_AllocSemaphore(nullptr, 0, 0, 0, &h), 0);
  EXPECT_EQ(OSA_WaitOnSemaphore(h, 0), ETIMEDOUT);
  EXPECT_EQ(Count(), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OSA_WaitOnSemaphore(h, 30), ETIMEDOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(29));
  EXPECT_EQ(Count(), 0);

  EXPECT_EQ(OSA_PostSemaphore(h), 0);
  EXPECT_EQ(OSA_WaitOnSemaphore(h, 0), 0);  // a unit is there: no waiting at all
  EXPECT_EQ(Count(), 0);
}

TEST_F(OsaSemaphore, PostWakesATimedWaiter) {
  ASSERT_EQ(OSA_AllocSemaphore(nullptr, 0, 0, 0, &h), 0);
  osa::test::BlockingCall waiter([&] { return OSA_WaitOnSemaphore(h, 60000); });
  ASSERT_TRUE(waiter.Blocked());
  EXPECT_EQ(OSA_PostSemaphore(h), 0);
  EXPECT_EQ(waiter.Join(), 0);
  EXPECT_EQ(Count(), 0);
}

// Wake-ups without a post send the waiter back to wait for the same deadline;
// it never takes a unit that is not there.
TEST(OsaSemx, WakeWithoutPostKeepsWaiting) {
  semx_t sem;
  ASSERT_EQ(semx_init(&sem, 0, 0), 0);
  std::atomic<bool> done{false};
  const auto start = std::chrono::steady_clock::now();
  std::thread waiter([&] {
    EXPECT_EQ(semx_timedwait(&sem, 200), ETIMEDOUT);
    done.store(true);
  });
  while (!done.load()) {
    OSA_mutex_lock(&sem.mutex);
    pthread_cond_broadcast(&sem.cond);
    OSA_mutex_unlock(&sem.mutex);
    std::this_thread::yield();
  }
  waiter.join();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(199));
  std::int32_t v = -99;
  EXPECT_EQ(semx_getvalue(&sem, &v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(semx_destroy(&sem), 0);
}

TEST(OsaSemx, CountsPostsAndWaits) {
  semx_t sem;
  ASSERT_EQ(semx_init(&sem, 0, 0), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(semx_post(&sem), 0);
  std::int32_t v = -99;
  EXPECT_EQ(semx_getvalue(&sem, &v), 0);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(semx_wait(&sem), 0);
  EXPECT_EQ(semx_timedwait(&sem, 0), 0);
  EXPECT_EQ(semx_getvalue(&sem, &v), 0);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(semx_destroy(&sem), 0);
  EXPECT_EQ(sem.count, 0);
}

// A negative count holds no units: waits block on it as on zero.
TEST(OsaSemx, NegativeCountHasNoUnits) {
  semx_t sem;
  ASSERT_EQ(semx_init(&sem, 0, -1), 0);
  EXPECT_EQ(semx_timedwait(&sem, 0), ETIMEDOUT);
  osa::test::BlockingCall waiter([&] { return semx_wait(&sem); });
  ASSERT_TRUE(waiter.Blocked());
  EXPECT_EQ(semx_post(&sem), 0);  // count 0: still nothing to take
  EXPECT_EQ(semx_post(&sem), 0);
  EXPECT_EQ(waiter.Join(), 0);
  EXPECT_EQ(sem.count, 0);
  EXPECT_EQ(semx_destroy(&sem), 0);
}

// A waiter cancelled in its wait lets go of the mutex and takes nothing.
TEST(OsaSemx, CancelledWaiterReleasesTheMutex) {
  semx_t sem;
  ASSERT_EQ(semx_init(&sem, 0, 0), 0);
  std::atomic<pid_t> tid{0};
  struct Arg {
    semx_t* sem;
    std::atomic<pid_t>* tid;
  } arg{&sem, &tid};
  pthread_t t;
  ASSERT_EQ(OSA_pthread_create(
                &t, nullptr,
                [](void* p) -> void* {
                  auto* a = static_cast<Arg*>(p);
                  a->tid->store(osa::test::ThreadId());
                  semx_wait(a->sem);
                  return nullptr;
                },
                &arg),
            0);
  while (tid.load() == 0 || !osa::test::IsSleeping(tid.load())) std::this_thread::yield();
  ASSERT_EQ(pthread_cancel(t), 0);
  void* result = nullptr;
  ASSERT_EQ(OSA_pthread_join(t, &result), 0);
  EXPECT_EQ(result, PTHREAD_CANCELED);
  EXPECT_EQ(OSA_mutex_trylock(&sem.mutex), 0);
  EXPECT_EQ(OSA_mutex_unlock(&sem.mutex), 0);
  EXPECT_EQ(sem.count, 0);
  EXPECT_EQ(semx_destroy(&sem), 0);
}

TEST(OsaThread, WrappersPassThrough) {
  EXPECT_NE(OSA_pthread_equal(OSA_pthread_self(), OSA_pthread_self()), 0);
  pthread_t t;
  static int value = 7;
  ASSERT_EQ(OSA_pthread_create(&t, nullptr, [](void*) -> void* { OSA_pthread_exit(&value); }, nullptr), 0);
  EXPECT_EQ(OSA_pthread_equal(t, OSA_pthread_self()), 0);
  void* result = nullptr;
  EXPECT_EQ(OSA_pthread_join(t, &result), 0);
  EXPECT_EQ(result, &value);
  EXPECT_EQ(OSA_pthread_kill(OSA_pthread_self(), 0), 0);
}

}  // namespace
