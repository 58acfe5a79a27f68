// Tracing against a host that this executable plays itself: it exports
// MAF_Trace and MAF_TraceEnabled (or lacks them, as HOST_HAS_TRACE and
// HOST_HAS_TRACE_ENABLED say), and the lookup finds them in the global scope.
#include "method/maftrace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex linesLock;
std::vector<std::pair<mafHandle, std::string>> lines;
std::atomic<std::int32_t> tracingOn{1};

std::vector<std::pair<mafHandle, std::string>> TakeLines() {
  std::lock_guard<std::mutex> hold(linesLock);
  return std::exchange(lines, {});
}

}  // namespace

extern "C" {
#if HOST_HAS_TRACE
__attribute__((visibility("default"))) void MAF_Trace(mafHandle handle, const char* text) {
  std::lock_guard<std::mutex> hold(linesLock);
  lines.emplace_back(handle, text);
}
#endif
#if HOST_HAS_TRACE_ENABLED
__attribute__((visibility("default"))) std::int32_t MAF_TraceEnabled(mafHandle) { return tracingOn.load(); }
#endif
}

namespace {

#if HOST_HAS_TRACE && HOST_HAS_TRACE_ENABLED

TEST(Trace, FirstUseFromManyThreadsLosesNoLine) {
  // Runs first, so that the lookup is still to be made.
  constexpr int kThreads = 8;
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&start, i] {
      start.arrive_and_wait();
      Trace(static_cast<mafHandle>(i), "PWD LSM: line");
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(TakeLines().size(), static_cast<std::size_t>(kThreads));
}

TEST(Trace, FixedTextPassesUnchangedWhetherOrNotTracingIsOn) {
  for (std::int32_t on : {1, 0}) {
    SCOPED_TRACE(on);
    tracingOn = on;
    Trace(7, "PWD LCM: 100% done %s");
    const auto got = TakeLines();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, 7u);
    EXPECT_EQ(got[0].second, "PWD LCM: 100% done %s");
  }
  tracingOn = 1;
}

TEST(Trace, FormattedLineIsCutTo511Characters) {
  struct Case {
    std::size_t length;
    std::size_t arrives;
  };
  for (const Case c : {Case{10, 10}, Case{511, 511}, Case{512, 511}, Case{600, 511}}) {
    SCOPED_TRACE(c.length);
    std::string text(c.length, 'x');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
    TracePrintf(3, "%s", text.c_str());
    const auto got = TakeLines();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, 3u);
    EXPECT_EQ(got[0].second, text.substr(0, c.arrives));
  }
}

TEST(Trace, FormattedLineFollowsItsFormat) {
  TracePrintf(4, "PWD LSM: hash %d of %s", 8, "user");
  const auto got = TakeLines();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].second, "PWD LSM: hash 8 of user");
}

TEST(Trace, TracingOffSilencesOnlyFormattedLines) {
  tracingOn = 0;
  TracePrintf(5, "PWD LSM: %d", 1);
  Trace(5, "PWD LSM: fixed");
  tracingOn = 1;
  const auto got = TakeLines();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].second, "PWD LSM: fixed");
}

#elif HOST_HAS_TRACE

TEST(TraceWithoutEnabled, FixedLinesPassAndFormattedLinesDoNot) {
  TracePrintf(1, "PWD LCM: %d", 1);
  Trace(1, "PWD LCM: fixed");
  const auto got = TakeLines();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].second, "PWD LCM: fixed");
}

#else

TEST(TraceWithoutFramework, NothingIsWrittenAndNothingFails) {
  // Neither function exists in this process; a call through a missing one would crash.
  Trace(1, "PWD LCM: fixed");
  TracePrintf(1, "PWD LCM: %d", 1);
  resolveMAFTrace();
  EXPECT_TRUE(TakeLines().empty());
}

#endif

}  // namespace
