#include "osa/secure.h"

#include <gtest/gtest.h>

#include <array>
#include <new>

namespace {

TEST(Secure, ConstantTimeEqualComparesLengthAndBytes) {
  const std::uint8_t a[] = {1, 2, 3, 4};
  const std::uint8_t b[] = {1, 2, 3, 5};
  struct Case {
    std::span<const std::uint8_t> x, y;
    bool equal;
  };
  const Case cases[] = {
      {a, a, true}, {a, b, false}, {std::span(a).first(3), std::span(b).first(3), true},
      {a, std::span(a).first(3), false}, {{}, {}, true},
  };
  for (const Case& c : cases) EXPECT_EQ(osa::ConstantTimeEqual(c.x, c.y), c.equal);
}

TEST(Secure, SecretBufferIsWipedOnScopeExit) {
  alignas(osa::SecretBuffer<32>) unsigned char storage[sizeof(osa::SecretBuffer<32>)];
  auto* secret = new (storage) osa::SecretBuffer<32>();
  for (std::size_t i = 0; i < 32; ++i) (*secret)[i] = 0xA5;
  secret->~SecretBuffer();
  for (unsigned char c : storage) EXPECT_EQ(c, 0);
}

TEST(Secure, WipeOnExitClearsTheObject) {
  std::array<std::uint8_t, 16> key;
  key.fill(0x5A);
  { osa::WipeOnExit guard(key); }
  for (auto c : key) EXPECT_EQ(c, 0);
}

TEST(Secure, ScopeExitRunsUnlessCancelled) {
  int runs = 0;
  { osa::ScopeExit g([&] { ++runs; }); }
  {
    osa::ScopeExit g([&] { ++runs; });
    g.Cancel();
  }
  EXPECT_EQ(runs, 1);
}

}  // namespace
