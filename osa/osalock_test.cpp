#include "osa/osalock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace {

TEST(OsaTestAndSet, ExchangesAndClears) {
  std::uint32_t w = 1;
  EXPECT_EQ(OSA_test_and_set(&w, nullptr, 0), 1u);
  EXPECT_EQ(w, 0u);
  EXPECT_EQ(OSA_test_and_set(&w, nullptr, 0), 0u);
  OSA_clear_set(&w);
  EXPECT_EQ(w, 1u);
  EXPECT_EQ(OSA_test_and_set(&w, nullptr, 5), 1u);
  EXPECT_EQ(w, 5u);
}

// A spin lock over the word keeps a plain counter exact under contention.
TEST(OsaTestAndSet, SerialisesASpinLock) {
  std::uint32_t word = 1;
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      while (OSA_test_and_set(&word, nullptr, 0) == 0) {
      }
      ++counter;
      OSA_clear_set(&word);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);
}

TEST(OsaMutex, TrylockOnAMutexHeldElsewhereIsBusy) {
  OSA_Mutex m;
  ASSERT_EQ(OSA_mutex_init(&m), 0);
  ASSERT_EQ(OSA_mutex_lock(&m), 0);
  std::thread([&] { EXPECT_EQ(OSA_mutex_trylock(&m), EBUSY); }).join();
  EXPECT_EQ(OSA_mutex_unlock(&m), 0);
  std::thread([&] {
    EXPECT_EQ(OSA_mutex_trylock(&m), 0);
    EXPECT_EQ(OSA_mutex_unlock(&m), 0);
  }).join();
  EXPECT_EQ(OSA_mutex_destroy(&m), 0);
}

class RwLock : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OSA_rw_init(&lock), 0); }
  void TearDown() override { OSA_rw_destroy(&lock); }
  OSA_RwLock lock;
};

// Waits (without guessing a sleep) until f() holds or a generous limit passes.
template <typename F>
bool Eventually(F f) {
  for (int i = 0; i < 200000 && !f(); ++i) std::this_thread::yield();
  return f();
}

TEST_F(RwLock, WriterWaitsForBothReaders) {
  ASSERT_EQ(OSA_rw_rdlock(&lock), 0);
  ASSERT_EQ(OSA_rw_rdlock(&lock), 0);  // second reader: count 2
  EXPECT_EQ(lock.readerCount, 2);
  auto writer = std::async(std::launch::async, [&] { return OSA_rw_wrlock(&lock); });
  // The writer cannot be in while readers hold the resource lock.
  EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  EXPECT_EQ(OSA_rw_unlock(&lock), 0);
  EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  EXPECT_EQ(OSA_rw_unlock(&lock), 0);
  EXPECT_EQ(writer.get(), 0);
  EXPECT_EQ(lock.writerFlag, 1);
  EXPECT_EQ(OSA_rw_unlock(&lock), 0);
  EXPECT_EQ(lock.writerFlag, 0);
}

TEST_F(RwLock, ReadersQueueBehindAWriter) {
  ASSERT_EQ(OSA_rw_wrlock(&lock), 0);
  std::atomic<int> inside{0};
  auto reader = [&] {
    OSA_rw_rdlock(&lock);
    inside.fetch_add(1);
  };
  std::thread r1(reader);
  // The first reader has counted itself and waits on the resource lock while
  // holding the count mutex; the second queues on that mutex.
  ASSERT_TRUE(Eventually([&] {
    const int rc = OSA_mutex_trylock(&lock.readerCountMutex);
    if (rc == 0) OSA_mutex_unlock(&lock.readerCountMutex);
    return rc == EBUSY;
  }));
  std::thread r2(reader);
  EXPECT_EQ(inside.load(), 0);
  EXPECT_EQ(OSA_rw_unlock(&lock), 0);
  r1.join();
  r2.join();
  EXPECT_EQ(inside.load(), 2);
  EXPECT_EQ(lock.readerCount, 2);
  EXPECT_EQ(OSA_rw_unlock(&lock), 0);
  EXPECT_EQ(OSA_rw_unlock(&lock), 0);
  EXPECT_EQ(lock.readerCount, 0);
}

TEST_F(RwLock, ReadLockReleasedByAnotherThreadLeavesItFree) {
  std::thread([&] { ASSERT_EQ(OSA_rw_rdlock(&lock), 0); }).join();
  std::thread([&] { ASSERT_EQ(OSA_rw_unlock(&lock), 0); }).join();
  EXPECT_EQ(lock.readerCount, 0);
  // Free: a writer gets in at once, on yet another thread.
  std::thread([&] {
    EXPECT_EQ(OSA_rw_wrlock(&lock), 0);
    EXPECT_EQ(OSA_rw_unlock(&lock), 0);
  }).join();
}

TEST_F(RwLock, WriterDowngradesToReader) {
  ASSERT_EQ(OSA_rw_wrlock(&lock), 0);
  EXPECT_EQ(OSA_rw_wr2rdlock(&lock), 0);
  EXPECT_EQ(lock.writerFlag, 0);
  EXPECT_EQ(lock.readerCount, 1);
  // Now a reader: another reader enters at once, a writer does not.
  std::thread([&] { EXPECT_EQ(OSA_rw_rdlock(&lock), 0); }).join();
  EXPECT_EQ(lock.readerCount, 2);
  auto writer = std::async(std::launch::async, [&] { return OSA_rw_wrlock(&lock); });
  EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  OSA_rw_unlock(&lock);
  OSA_rw_unlock(&lock);
  EXPECT_EQ(writer.get(), 0);
  OSA_rw_unlock(&lock);
}

TEST_F(RwLock, HolderMayDestroyWithoutUnlocking) {
  ASSERT_EQ(OSA_rw_wrlock(&lock), 0);
  EXPECT_EQ(OSA_rw_destroy(&lock), 0);
  EXPECT_EQ(lock.writerFlag, 0);
  ASSERT_EQ(OSA_rw_init(&lock), 0);  // TearDown destroys again
}

}  // namespace
