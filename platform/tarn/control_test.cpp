// The test control: injected results and lengths, and the call counts.
#include "platform/tarn/test_support.h"

namespace tarn::test {
namespace {

using namespace wistra;

class ControlTest : public ServiceTest {};

TEST_F(ControlTest, FailNextRefusesThatManyCallsWithoutRunningThem) {
  constexpr std::int32_t kChosen = -7777;
  ASSERT_EQ(TarnControl_FailNext("CCSX_CreateContext", kChosen, 2), kStatusOk);
  const std::uint32_t live = TarnControl_LiveContexts();
  const std::uint32_t calls = TarnControl_CallCount("CCSX_CreateContext");
  for (int i = 0; i < 2; ++i) {
    std::uint32_t word = 0x1234;
    EXPECT_EQ(CCSX_CreateContext(module_, 0, &word), kChosen);
    EXPECT_EQ(word, 0x1234u);
  }
  EXPECT_EQ(TarnControl_LiveContexts(), live);
  std::uint32_t context = 0;
  ASSERT_EQ(CCSX_CreateContext(module_, 0, &context), kStatusOk);
  EXPECT_EQ(TarnControl_CallCount("CCSX_CreateContext"), calls + 3);
  EXPECT_EQ(CCSX_DestroyContext(module_, context), kStatusOk);

  // Also ahead of the registration check, and for the broker.
  ASSERT_EQ(TarnControl_FailNext("ATBX_OpenATB", 0, 1), kStatusOk);
  int handle = 0;
  EXPECT_EQ(ATBX_OpenATB(reinterpret_cast<CCS_Word>(&handle)), 0);
  EXPECT_EQ(ATBX_StartCall(reinterpret_cast<CCS_Word>(&handle)), kStatusAtbNotOpen);
}

TEST_F(ControlTest, ReportLengthReplacesTheLengthOfCallsThatReportOne) {
  const Algorithm sha1(ccs::ALG_SHA1);
  ASSERT_EQ(TarnControl_ReportLengthNext("CCSX_Digest", 16, 1), kStatusOk);
  Bytes out;
  ASSERT_EQ(OneShot(sha1.spec, FromText("abc"), &out), kStatusOk);
  EXPECT_EQ(out, Bytes(FromHex("a9993e364706816aba3e25717850c26c")));
  ASSERT_EQ(OneShot(sha1.spec, FromText("abc"), &out), kStatusOk);
  EXPECT_EQ(out.size(), 20u);

  // A too-small refusal reports the chosen length as the needed one.
  int handle = 0;
  const CCS_Word broker = reinterpret_cast<CCS_Word>(&handle);
  ASSERT_NE(ATBX_OpenATB(broker), 0);
  ASSERT_EQ(TarnControl_ReportLengthNext("ATX_EncryptWithSecretKey", 100000, 1), kStatusOk);
  std::uint32_t length = 0;
  const std::uint8_t in[4] = {};
  EXPECT_EQ(ATX_EncryptWithSecretKey(broker, 4, in, 0, nullptr, 0, &length, nullptr), kStatusBufferTooSmall);
  EXPECT_EQ(length, 100000u);
  EXPECT_EQ(ATBX_CloseATB(broker), kStatusOk);
}

TEST_F(ControlTest, CountsAreKeptPerModuleAndReset) {
  const std::uint32_t other = NewModuleId();
  ASSERT_EQ(CCSX_Register(other), kStatusOk);
  std::uint8_t data[1] = {0};
  for (std::uint32_t m : {module_, other, other}) CCSX_DigestUpdate(m, 0, data, 1);
  EXPECT_EQ(TarnControl_CallCount("CCSX_DigestUpdate"), 3u);
  EXPECT_EQ(TarnControl_CallCountFor("CCSX_DigestUpdate", module_), 1u);
  EXPECT_EQ(TarnControl_CallCountFor("CCSX_DigestUpdate", other), 2u);
  std::uint32_t last = 0;
  ASSERT_EQ(TarnControl_LastModule("CCSX_DigestUpdate", &last), kStatusOk);
  EXPECT_EQ(last, other);
  EXPECT_TRUE(TarnControl_IsRegistered(other));
  ASSERT_EQ(CCSX_Goodbye(other), kStatusOk);
  EXPECT_FALSE(TarnControl_IsRegistered(other));

  ASSERT_EQ(TarnControl_FailNext("CCSX_DigestUpdate", -1, 1), kStatusOk);
  TarnControl_Reset();
  EXPECT_EQ(TarnControl_CallCount("CCSX_DigestUpdate"), 0u);
  EXPECT_EQ(TarnControl_LastModule("CCSX_DigestUpdate", &last), kStatusCcsBadRecord);
  EXPECT_EQ(CCSX_DigestUpdate(module_, context_, data, 1), kStatusCcsNotInitialized);
}

TEST(Control, UnknownNamesAndEmptyRequestsAreRefused) {
  EXPECT_EQ(TarnControl_FailNext("CCSX_NoSuchThing", -1, 1), kStatusCcsBadRecord);
  EXPECT_EQ(TarnControl_FailNext(nullptr, -1, 1), kStatusCcsBadRecord);
  EXPECT_EQ(TarnControl_FailNext("CCSX_Digest", -1, 0), kStatusCcsBadRecord);
  EXPECT_EQ(TarnControl_ReportLengthNext("CCSX_CreateContext", 1, 1), kStatusCcsBadRecord);
  EXPECT_EQ(TarnControl_FailNext("CCSX_pbeVerify", -1, 1), kStatusOk);
  TarnControl_Reset();
}

}  // namespace
}  // namespace tarn::test
