// Registration of module identifiers and the handle rules, alone and under
// threads.
#include <thread>

#include "platform/tarn/test_support.h"

namespace tarn::test {
namespace {

using namespace wistra;

class HandlesTest : public ServiceTest {};

TEST_F(HandlesTest, UnknownModuleIsRefusedByEveryFamily) {
  const std::uint32_t stranger = NewModuleId();
  std::uint32_t word = 0x5555;
  std::uint8_t out[20];
  std::uint32_t length = sizeof out;
  const Algorithm sha1(ccs::ALG_SHA1);
  struct Case {
    const char* name;
    std::int32_t status;
  } cases[] = {
      {"CreateContext", CCSX_CreateContext(stranger, 0, &word)},
      {"DestroyContext", CCSX_DestroyContext(stranger, context_)},
      {"DestroyObject", CCSX_DestroyObject(stranger, context_, 1)},
      {"InjectKey", CCSX_InjectKey(stranger, context_, nullptr, 6, &word)},
      {"DataEncryptInit", CCSX_DataEncryptInit(stranger, context_, nullptr, 1)},
      {"Encrypt", CCSX_Encrypt(stranger, context_, out, 8, out, &length)},
      {"DigestInit", CCSX_DigestInit(stranger, context_, &sha1.spec)},
      {"Digest", CCSX_Digest(stranger, context_, out, 1, out, &length)},
      {"DigestUpdate", CCSX_DigestUpdate(stranger, context_, out, 1)},
      {"DigestFinal", CCSX_DigestFinal(stranger, context_, out, &length)},
      {"a pass-through operation", CCSX_GetRandom(stranger, 1, 2, 3)},
      {"SSLX_CalcMAC", SSLX_CalcMAC(stranger, 1, 2, 3, 200, 5, 6, 7)},
      {"Goodbye", CCSX_Goodbye(stranger)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.status, kStatusFacadeDown);
  }
  EXPECT_EQ(word, 0x5555u);
  EXPECT_EQ(length, sizeof out);
  // The stranger could not touch the fixture's context.
  EXPECT_EQ(TarnControl_LiveContexts(), 1u);
}

TEST_F(HandlesTest, RegistrationLastsUntilGoodbyeAndEndsTheModulesContexts) {
  const std::uint32_t other = NewModuleId();
  ASSERT_EQ(CCSX_Register(other), kStatusOk);
  EXPECT_EQ(CCSX_Register(other), kStatusCcsAlreadyRegistered);
  EXPECT_EQ(TarnControl_RegisteredCount(), 2u);

  std::uint32_t theirs = 0;
  ASSERT_EQ(CCSX_CreateContext(other, 0, &theirs), kStatusOk);
  // Contexts belong to the module that made them.
  EXPECT_EQ(CCSX_DestroyContext(module_, theirs), kStatusCcsBadHandle);
  EXPECT_EQ(CCSX_DestroyContext(other, context_), kStatusCcsBadHandle);
  ASSERT_EQ(TarnControl_LiveContexts(), 2u);

  ASSERT_EQ(CCSX_Goodbye(other), kStatusOk);
  EXPECT_EQ(TarnControl_LiveContexts(), 1u);
  EXPECT_EQ(CCSX_CreateContext(other, 0, &theirs), kStatusFacadeDown);
  EXPECT_EQ(CCSX_Goodbye(other), kStatusFacadeDown);
  // The fixture's module is untouched by the other's goodbye.
  EXPECT_EQ(CCSX_DestroyContext(module_, context_), kStatusOk);
}

TEST_F(HandlesTest, HandlesSkipZeroMinusOneAndThoseInUse) {
  TarnControl_SetNextHandle(context_);
  std::uint32_t a = 0;
  ASSERT_EQ(CCSX_CreateContext(module_, 0, &a), kStatusOk);
  EXPECT_NE(a, context_);

  TarnControl_SetNextHandle(0xFFFFFFFEu);
  std::uint32_t b = 0, c = 0;
  ASSERT_EQ(CCSX_CreateContext(module_, 0, &b), kStatusOk);
  ASSERT_EQ(CCSX_CreateContext(module_, 0, &c), kStatusOk);
  EXPECT_EQ(b, 0xFFFFFFFEu);
  EXPECT_NE(c, 0xFFFFFFFFu);
  EXPECT_NE(c, 0u);
  for (std::uint32_t h : {a, b, c}) EXPECT_EQ(CCSX_DestroyContext(module_, h), kStatusOk);
}

TEST_F(HandlesTest, FailedCreateLeavesTheHandleWord) {
  constexpr std::uint32_t kSentinel = 0xFFFFFFFFu;
  std::uint32_t word = kSentinel;
  EXPECT_EQ(CCSX_CreateContext(module_, 1, &word), kStatusCcsBadRecord);
  EXPECT_EQ(CCSX_CreateContext(module_, 0, nullptr), kStatusCcsBadRecord);
  EXPECT_EQ(word, kSentinel);
  EXPECT_EQ(TarnControl_LiveContexts(), 1u);
}

TEST_F(HandlesTest, StaleAndMisusedHandlesAreRefused) {
  std::uint32_t extra = 0;
  ASSERT_EQ(CCSX_CreateContext(module_, 0, &extra), kStatusOk);
  ASSERT_EQ(CCSX_DestroyContext(module_, extra), kStatusOk);
  EXPECT_EQ(CCSX_DestroyContext(module_, extra), kStatusCcsBadHandle);
  EXPECT_EQ(CCSX_DestroyObject(module_, context_, context_), kStatusCcsBadHandle);
  EXPECT_EQ(CCSX_DigestUpdate(module_, extra, nullptr, 0), kStatusCcsBadHandle);
}

TEST_F(HandlesTest, OperationsTheMethodsNeverCallAreNotSupported) {
  EXPECT_EQ(CCSX_GenerateKeyPair(module_, 1, 2, 3, 4, 5, 6, 7, 8), kStatusCcsNotSupported);
  EXPECT_EQ(SSLX_ComputeKeys(module_, 1, 2, 3), kStatusCcsNotSupported);
  EXPECT_EQ(SSLX_CalcMAC(module_, 1, 2, 3, 200, 5, 6, 7), kStatusCcsNotSupported);
}

TEST(HandlesThreads, ModulesOnManyThreadsEachGetTheirOwnRightDigests) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  const std::uint32_t before = TarnControl_LiveContexts();
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      const std::uint32_t module = NewModuleId();
      if (CCSX_Register(module) != kStatusOk) ++failures;
      const Algorithm md5(ccs::ALG_MD5);
      // Each thread hashes its own input; another thread's state leaking in
      // would change the digest.
      const Bytes input = t % 2 == 0 ? FromText("abc") : FromText("message digest");
      const Bytes expected =
          t % 2 == 0 ? FromHex("900150983cd24fb0d6963f7d28e17f72") : FromHex("f96b697d7cb7938d525a2f31aaf161d0");
      for (int r = 0; r < kRounds; ++r) {
        std::uint32_t context = 0;
        Bytes out(16);
        std::uint32_t length = 16;
        if (CCSX_CreateContext(module, 0, &context) != kStatusOk ||
            CCSX_DigestInit(module, context, &md5.spec) != kStatusOk ||
            CCSX_DigestUpdate(module, context, input.data(), 1) != kStatusOk ||
            CCSX_Digest(module, context, input.data() + 1, static_cast<std::uint32_t>(input.size() - 1), out.data(),
                        &length) != kStatusOk ||
            out != expected || CCSX_DestroyContext(module, context) != kStatusOk) {
          ++failures;
        }
      }
      if (CCSX_Goodbye(module) != kStatusOk) ++failures;
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(TarnControl_LiveContexts(), before);
}

}  // namespace
}  // namespace tarn::test
