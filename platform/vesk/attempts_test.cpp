// Many attempts at once, each on its own pair of threads, each seeing only its
// own record, channel, trace and allocations.
#include <gtest/gtest.h>

#include <thread>

#include "method/status.h"
#include "platform/vesk/vesk.h"

namespace {

using vesk::Attempt;
using vesk::Side;

TEST(VeskManyAttempts, ThirtyTwoAtOnceSeeOnlyTheirOwnRecords) {
  ASSERT_TRUE(vesk::SetHostCalls(vesk::kAllHostCalls));
  std::string error;
  auto m = vesk::Module::Load(VESK_TEST_MODULE, &error);
  ASSERT_TRUE(m) << error;
  const vesk::Entry client = m->Find("VTM_Client");
  const vesk::Entry server = m->Find("VTM_Server");

  constexpr int kAttempts = 32;
  std::vector<Attempt> attempts(kAttempts);
  for (int i = 0; i < kAttempts; ++i) {
    const std::string pw = "password-" + std::to_string(i);
    attempts[i].SetTypedPassword(pw);
    // Every third attempt holds another user's password: only its own record
    // decides, so exactly those fail.
    attempts[i].SetPasswordValue(i % 3 == 0 ? "password-" + std::to_string((i + 1) % kAttempts) : pw);
    attempts[i].FailMalloc(i == 5 ? 1 : 0);
  }
  std::vector<std::unique_ptr<vesk::EntryThread>> threads;
  for (int i = 0; i < kAttempts; ++i) {
    threads.push_back(std::make_unique<vesk::EntryThread>(attempts[i], Side::kServer, server));
    threads.push_back(std::make_unique<vesk::EntryThread>(attempts[i], Side::kClient, client));
  }
  std::vector<std::optional<std::int32_t>> results;
  for (auto& t : threads) results.push_back(t->Join());

  for (int i = 0; i < kAttempts; ++i) {
    SCOPED_TRACE(testing::Message() << "attempt " << i);
    const auto server_result = results[2 * i];
    const auto client_result = results[2 * i + 1];
    if (i == 5) {
      // The attempt's first allocation (whichever side made it) failed; only
      // that attempt is touched.
      EXPECT_TRUE(server_result == wistra::kStatusNoMemory || client_result == wistra::kStatusNoMemory);
      continue;
    }
    const std::int32_t expected = i % 3 == 0 ? wistra::kStatusLoginFailed : 0;
    EXPECT_EQ(client_result, std::optional<std::int32_t>(expected));
    EXPECT_EQ(server_result, std::optional<std::int32_t>(0));
    EXPECT_EQ(attempts[i].EndOutcomes(Side::kServer), std::vector<std::int32_t>{expected});
    const auto t = attempts[i].Transcript();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t[0].bytes, vesk::ToBytes("password-" + std::to_string(i))) << "another attempt's message arrived";
    EXPECT_EQ(attempts[i].Allocs().calls, 2u);
    EXPECT_EQ(attempts[i].Allocs().outstanding, 0u);
    EXPECT_EQ(attempts[i].TraceLines(Side::kServer).size(), 1u);
  }
}

}  // namespace
