// MAF_Malloc and MAF_Free counted per attempt, the Nth allocation failed on
// purpose, secrets found in freed buffers, and err_warn kept where it belongs.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/vesk/vesk.h"

namespace {

using vesk::Attempt;

TEST(VeskMemory, CountsOutstandingBuffersPerAttemptWhateverThreadFreesThem) {
  Attempt a, b;
  const vesk::Allocations global_before = vesk::GlobalAllocs();
  void* p1;
  void* p2;
  void* q;
  {
    Attempt::ThreadScope scope(a);
    p1 = MAF_Malloc(100);
    p2 = MAF_Malloc(0);
  }
  {
    Attempt::ThreadScope scope(b);
    q = MAF_Malloc(7);
  }
  ASSERT_TRUE(p1 && p2 && q);
  EXPECT_EQ(a.Allocs().outstanding, 2u);
  EXPECT_EQ(a.Allocs().outstanding_bytes, 100u);
  EXPECT_EQ(b.Allocs().outstanding, 1u);

  std::thread([&] { MAF_Free(p1); }).join();  // a thread of no attempt
  EXPECT_EQ(a.Allocs().outstanding, 1u) << "counted back to the attempt it came from";
  MAF_Free(p2);
  MAF_Free(q);
  MAF_Free(nullptr);
  EXPECT_EQ(a.Allocs().outstanding, 0u);
  EXPECT_EQ(a.Allocs().calls, 2u);
  EXPECT_EQ(b.Allocs().outstanding, 0u);
  EXPECT_EQ(vesk::GlobalAllocs().calls, global_before.calls) << "nothing was taken outside an attempt";
}

TEST(VeskMemory, FailsExactlyTheNthAllocation) {
  for (std::uint32_t nth = 1; nth <= 3; ++nth) {
    SCOPED_TRACE(testing::Message() << "nth " << nth);
    Attempt a;
    a.FailMalloc(nth);
    Attempt::ThreadScope scope(a);
    void* p[4];
    for (std::uint32_t i = 0; i < 4; ++i) {
      p[i] = MAF_Malloc(16);
      EXPECT_EQ(p[i] == nullptr, i + 1 == nth) << "allocation " << i + 1;
    }
    EXPECT_EQ(a.Allocs().calls, 4u);
    EXPECT_EQ(a.Allocs().outstanding, 3u);
    for (void* x : p) MAF_Free(x);
  }
}

TEST(VeskMemory, RefusesARequestBeyondAnyBufferOfTheModules) {
  Attempt a;
  Attempt::ThreadScope scope(a);
  for (std::uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF8u, 0x80000000u}) {
    SCOPED_TRACE(testing::Message() << "size " << size);
    EXPECT_EQ(MAF_Malloc(size), nullptr);
  }
  EXPECT_EQ(a.Allocs().outstanding, 0u);
  EXPECT_EQ(a.Allocs().calls, 3u);
}

TEST(VeskMemory, NotesWhichFreedBuffersStillHeldTheSecret) {
  Attempt a;
  const int secret = a.WatchSecret("hunter2");
  const int other = a.WatchSecret("never");
  Attempt::ThreadScope scope(a);
  auto* kept = static_cast<char*>(MAF_Malloc(64));
  auto* wiped = static_cast<char*>(MAF_Malloc(32));
  ASSERT_TRUE(kept && wiped);
  std::memset(kept, 0, 64);
  std::memcpy(kept + 57, "hunter2", 7);  // at the very end of the buffer
  std::memcpy(wiped, "hunter2", 7);
  std::memset(wiped, 0, 32);
  MAF_Free(kept);
  MAF_Free(wiped);
  EXPECT_EQ(a.FreedHolding(secret), std::vector<std::uint32_t>{64});
  EXPECT_TRUE(a.FreedHolding(other).empty());
}

TEST(VeskErrWarn, LinesGoToTheAttemptOfTheThreadElseToTheProcess) {
  vesk::ClearGlobalErrWarnLines();
  Attempt a;
  {
    Attempt::ThreadScope scope(a);
    err_warn("unable to initialize - %d ", -1496);
  }
  err_warn("outside %s", "any attempt");
  EXPECT_EQ(a.ErrWarnLines(), std::vector<std::string>{"unable to initialize - -1496 "});
  EXPECT_EQ(vesk::GlobalErrWarnLines(), std::vector<std::string>{"outside any attempt"});
}

}  // namespace
