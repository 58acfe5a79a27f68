// Many attempts of the real pwdlsm.so in one process at the same time.
#include <atomic>
#include <thread>

#include "method/status.h"
#include "server/lsm_test_env.h"

namespace lsm_test {
namespace {

using namespace wistra;

class LsmConcurrencyTest : public LsmTest {};

// Many attempts in one process, each with its own record: half against a
// plain password, half against a stored digest with a sync after the login.
// Being the first calls of a freshly loaded module, they also race for its
// once-only lookups.
TEST_F(LsmConcurrencyTest, ManyAttemptsAtOnce) {
  constexpr int kAttempts = 24;
  const auto password = [](int i) { return "password " + std::to_string(i); };
  std::vector<vesk::Attempt> attempts(kAttempts);
  for (int i = 0; i < kAttempts; ++i) {
    if (i % 2 == 0) {
      attempts[i].SetPasswordValue(password(i));
    } else {
      attempts[i].SetPasswordValueAbsent(kStatusNoSuchValue);
      attempts[i].SetPasswordHash(StoredValue(HASH_SHA1, Sha1(Of(password(i)))));
    }
  }
  std::atomic<int> matched{0}, synced{0};
  {
    std::vector<std::thread> clients;
    std::vector<std::unique_ptr<vesk::EntryThread>> servers;
    for (int i = 0; i < kAttempts; ++i) {
      clients.emplace_back([&, i] {
        vesk::Peer client = attempts[i].Play(Side::kClient);
        Offer offer;
        if (!Open(client, &offer)) return;
        if (i % 2 == 0) {
          Answer(client, HASH_SALTED_SHA1, 0, Sha1(Join({Of(password(i)), offer.extra})));
          if (Verdict(client) == 1u) ++matched;
          return;
        }
        Answer(client, HASH_SHA1, ANSWER_PASSWORD_CHANGE, Sha1(Of(password(i))));
        if (Verdict(client) != 1u) return;
        ++matched;
        client.SendX(Join({Of(password(i)), Bytes{0}}));
        if (vesk::ExpectMessage(client, vesk::Le32(1))) ++synced;
      });
      servers.push_back(std::make_unique<vesk::EntryThread>(attempts[i], Side::kServer, entry()));
    }
    for (auto& t : clients) t.join();
    for (auto& s : servers) EXPECT_EQ(s->Join(), 0);
  }
  EXPECT_EQ(matched.load(), kAttempts);
  EXPECT_EQ(synced.load(), kAttempts / 2);
  for (int i = 0; i < kAttempts; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(attempts[i].EndOutcomes(Side::kServer), std::vector<std::int32_t>{0});
    EXPECT_EQ(attempts[i].Allocs().outstanding, 0u);
    if (i % 2 == 1) {
      const std::string p = password(i);
      EXPECT_EQ(attempts[i].PasswordValue(), std::u16string(p.begin(), p.end()));
    }
  }
}

}  // namespace
}  // namespace lsm_test
