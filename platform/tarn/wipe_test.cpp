// What the service frees holds no secret: this executable replaces the global
// allocator so that every block the service gives back is searched, while a
// watched call runs, for the password or key schedule it was handed.
#include <malloc.h>
#include <nettle/des.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/tarn/test_support.h"

namespace {

std::atomic<bool> watching{false};
const void* secret = nullptr;
std::size_t secretSize = 0;
std::atomic<int> blocksHoldingSecret{0};

void Inspect(void* p) {
  if (p == nullptr || !watching.load()) return;
  if (memmem(p, malloc_usable_size(p), secret, secretSize) != nullptr) ++blocksHoldingSecret;
}

}  // namespace

void* operator new(std::size_t n) {
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  Inspect(p);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Inspect(p);
  std::free(p);
}

namespace tarn::test {
namespace {

using namespace wistra;

// Counts the freed blocks that held `bytes` while f runs.
template <typename F>
int FreedHolding(const void* bytes, std::size_t size, F&& f) {
  secret = bytes;
  secretSize = size;
  blocksHoldingSecret = 0;
  watching = true;
  f();
  watching = false;
  return blocksHoldingSecret.load();
}

// Short enough to stay whole in a hash's pending block.
constexpr std::uint8_t kPassword[] = {'Z', 'q', '7', '!', 'h', 'u', 'n', 't', 'e', 'r', '2'};

class WipeTest : public ServiceTest {};

TEST_F(WipeTest, FinishedAndAbandonedDigestsLeaveNoPasswordBehind) {
  const Bytes cryptSalt = FromText("ab");
  const Bytes galtSalt = FromHex("01020304");
  struct Case {
    const char* name;
    Algorithm algorithm;
  } cases[] = {
      {"MD4", Algorithm(ccs::ALG_MD4)},
      {"MD5", Algorithm(ccs::ALG_MD5)},
      {"SHA-1", Algorithm(ccs::ALG_SHA1)},
      {"LM", Algorithm(ccs::ALG_LMHASH)},
      {"crypt", Algorithm(ccs::ALG_CRYPT, ccs::ATTR_SALT, cryptSalt)},
      {"Galt", Algorithm(ccs::ALG_GALT_HASH, ccs::ATTR_SALT, galtSalt)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint8_t out[32];
    std::uint32_t length = sizeof out;
    ASSERT_EQ(CCSX_DigestInit(module_, context_, &c.algorithm.spec), kStatusOk);
    EXPECT_EQ(FreedHolding(kPassword, sizeof kPassword,
                           [&] {
                             EXPECT_EQ(CCSX_Digest(module_, context_, kPassword, sizeof kPassword, out, &length),
                                       kStatusOk);
                           }),
              0);

    std::uint32_t context = 0;
    ASSERT_EQ(CCSX_CreateContext(module_, 0, &context), kStatusOk);
    ASSERT_EQ(CCSX_DigestInit(module_, context, &c.algorithm.spec), kStatusOk);
    ASSERT_EQ(CCSX_DigestUpdate(module_, context, kPassword, sizeof kPassword), kStatusOk);
    EXPECT_EQ(FreedHolding(kPassword, sizeof kPassword,
                           [&] { EXPECT_EQ(CCSX_DestroyContext(module_, context), kStatusOk); }),
              0);
  }
}

TEST_F(WipeTest, DestroyedKeysAndEncryptionsLeaveNoKeySchedule) {
  const Bytes key = FromHex("0123456789abcdef");
  des_ctx schedule;
  des_set_key(&schedule, key.data());
  const KeyAttribute entries[6] = {
      {ccs::ATTR_KEY_VALUE, reinterpret_cast<std::uintptr_t>(key.data()), 8, 0},
      {ccs::ATTR_KEY_BITS, 1, ccs::kKeyBitsDes, 0},
      {ccs::ATTR_ALGORITHM, reinterpret_cast<std::uintptr_t>(ccs::ALG_DES), sizeof ccs::ALG_DES, 0},
      {ccs::ATTR_KEY_FLAGS, 1, ccs::kKeyFlagsPlain, 0},
      {ccs::ATTR_TYPE_7, 1, ccs::kType7Value, 0},
      {ccs::ATTR_TYPE_21, 1, ccs::kType21Value, 0},
  };
  const Bytes iv(8, 0);
  const Algorithm des(ccs::ALG_DES, ccs::ATTR_IV, iv);
  std::uint32_t object = 0;
  ASSERT_EQ(CCSX_InjectKey(module_, context_, entries, 6, &object), kStatusOk);
  ASSERT_EQ(CCSX_DataEncryptInit(module_, context_, &des.spec, object), kStatusOk);
  EXPECT_EQ(FreedHolding(&schedule, sizeof schedule,
                         [&] { EXPECT_EQ(CCSX_DestroyObject(module_, context_, object), kStatusOk); }),
            0);
  EXPECT_EQ(FreedHolding(&schedule, sizeof schedule,
                         [&] { EXPECT_EQ(CCSX_DestroyContext(module_, context_), kStatusOk); }),
            0);
}

}  // namespace
}  // namespace tarn::test
