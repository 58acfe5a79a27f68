// The token-broker wrappers against the crypto service stand-in.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "ccs/atb.h"
#include "ccs/atbstate.h"
#include "ccs/ccs.h"
#include "ccs/ccsstate.h"
#include "ccs/scoped.h"
#include "method/status.h"
#include "platform/tarn/tarn_control.h"

namespace {

using wistra::kStatusBrokerNotOpen;
using wistra::kStatusBufferTooSmall;

constexpr std::int32_t kRefused = -4321;

bool FacadeUp() {
  ccs::ScopedContext context;
  return context.Create() == 0;
}

class Broker : public ::testing::Test {
 protected:
  void SetUp() override {
    CCS_ShutdownAll();
    TarnControl_Reset();
  }
  void TearDown() override {
    (void)ATBX_CloseATB(Handle());
    CCS_ShutdownAll();
  }
  CCS_Word Handle() const { return reinterpret_cast<CCS_Word>(&atbHandle_); }
  std::uint32_t Handle32() const { return static_cast<std::uint32_t>(Handle()); }
  std::uint32_t atbHandle_ = 0;
};

struct OpenCase {
  const char* name;
  const char* failing;  // the operation made to fail, or null
  std::int32_t failWith;
  std::int32_t result;
  std::uint32_t brokerOpens;  // ATBX_OpenATB calls
  bool up;
  std::int32_t counter;
};

TEST_F(Broker, OpenRows) {
  const OpenCase cases[] = {
      {"opens", nullptr, 0, 0, 1, true, 1},
      {"facade fails to come up", "CCSX_Register", kRefused, kRefused, 0, false, 0},
      {"broker refuses to open", "ATBX_OpenATB", 0, kStatusBrokerNotOpen, 1, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CCS_ShutdownAll();
    TarnControl_Reset();
    ccs::TARNATB_ModuleHandle = 0;
    if (c.failing) {
      ASSERT_EQ(TarnControl_FailNext(c.failing, c.failWith, 1), 0);
    }

    EXPECT_EQ(ATBOpenATB(Handle()), c.result);
    EXPECT_EQ(TarnControl_CallCount("ATBX_OpenATB"), c.brokerOpens);
    EXPECT_EQ(TarnControl_CallCountFor("ATBX_OpenATB", Handle32()), c.brokerOpens);
    // The handle is kept exactly when the facade came up.
    EXPECT_EQ(ccs::TARNATB_ModuleHandle, c.up ? Handle() : 0);
    EXPECT_EQ(FacadeUp(), c.up);
    EXPECT_EQ(ccs::testing::InitCounter(), c.counter);

    // Closing drops the reference that the open took, even after -8.
    ATBCloseATB();
    EXPECT_FALSE(FacadeUp());
  }
}

TEST_F(Broker, OpenAddsAReferenceToAFacadeAlreadyUp) {
  int caller = 0;
  ASSERT_EQ(CCS_Init(&caller), 0);
  ASSERT_EQ(ATBOpenATB(Handle()), 0);
  EXPECT_EQ(TarnControl_CallCount("CCSX_Register"), 1u);
  EXPECT_EQ(ccs::testing::InitCounter(), 2);
  ATBCloseATB();
  EXPECT_TRUE(FacadeUp());
  CCS_Shutdown();
  EXPECT_FALSE(FacadeUp());
}

TEST_F(Broker, CloseIgnoresItsArgument) {
  ASSERT_EQ(ATBOpenATB(Handle()), 0);
  ATBCloseATB(static_cast<CCS_Word>(0xDEAD));
  std::uint32_t closed = 0;
  ASSERT_EQ(TarnControl_LastModule("ATBX_CloseATB", &closed), 0);
  EXPECT_EQ(closed, Handle32());
  EXPECT_FALSE(FacadeUp());
}

TEST_F(Broker, OperationsRoundTripUnderTheHandle) {
  ASSERT_EQ(ATBOpenATB(Handle()), 0);
  std::uint8_t random[16] = {};
  EXPECT_EQ(ATGetRandom(sizeof random, random), 0);

  const std::uint8_t hash[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const std::uint8_t value[4] = {0xAA, 0xBB, 0xCC, 0xDD};
  std::uint32_t needed = 0;
  const std::int32_t probe = ATEncryptWithSecretKey(sizeof hash, hash, sizeof value, value, 0, &needed, nullptr);
  EXPECT_TRUE(probe == 0 || probe == kStatusBufferTooSmall) << probe;
  ASSERT_GT(needed, 0u);
  std::vector<std::uint8_t> first(needed), second(needed);
  std::uint32_t length = 0;
  ASSERT_EQ(ATEncryptWithSecretKey(sizeof hash, hash, sizeof value, value, needed, &length, first.data()), 0);
  ASSERT_EQ(ATEncryptWithSecretKey(sizeof hash, hash, sizeof value, value, needed, &length, second.data()), 0);
  EXPECT_EQ(ATCompareSecretKeyEncrypted(first.data(), second.data()), 0);
  second.back() ^= 1;
  EXPECT_NE(ATCompareSecretKeyEncrypted(first.data(), second.data()), 0);

  // Every broker call carried the handle given to the open, each admitted first,
  // and none of them touched the facade's service operations.
  for (const char* op : {"ATBX_StartCall", "ATX_GetRandom", "ATX_EncryptWithSecretKey",
                         "ATX_CompareSecretKeyEncrypted"}) {
    SCOPED_TRACE(op);
    EXPECT_EQ(TarnControl_CallCount(op), TarnControl_CallCountFor(op, Handle32()));
  }
  EXPECT_EQ(TarnControl_CallCount("ATBX_StartCall"), 6u);
}

TEST_F(Broker, ARefusedStartCallStopsEachOperation) {
  ASSERT_EQ(ATBOpenATB(Handle()), 0);
  struct Row {
    const char* operation;
    std::int32_t (*call)();
  };
  static std::uint8_t buffer[16];
  const Row rows[] = {
      {"ATX_GetRandom", [] { return ATGetRandom(sizeof buffer, buffer); }},
      {"ATX_EncryptWithSecretKey",
       [] {
         std::uint32_t length = 0;
         return ATEncryptWithSecretKey(4, buffer, 4, buffer, sizeof buffer, &length, buffer);
       }},
      {"ATX_CompareSecretKeyEncrypted", [] { return ATCompareSecretKeyEncrypted(buffer, buffer); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.operation);
    std::memset(buffer, 0x5C, sizeof buffer);
    ASSERT_EQ(TarnControl_FailNext("ATBX_StartCall", kRefused, 1), 0);
    EXPECT_EQ(row.call(), kRefused);
    EXPECT_EQ(TarnControl_CallCount(row.operation), 0u);
    for (std::uint8_t b : buffer) ASSERT_EQ(b, 0x5C);
  }
}

TEST_F(Broker, OperationsTakeNoFacadeLock) {
  ASSERT_EQ(ATBOpenATB(Handle()), 0);
  std::uint8_t random[16] = {};
  ASSERT_EQ(OSA_mutex_lock(&ccs::ccsLock), 0);
  // Would block for ever if the broker's wrappers took the facade lock.
  EXPECT_EQ(ATGetRandom(sizeof random, random), 0);
  ASSERT_EQ(OSA_mutex_unlock(&ccs::ccsLock), 0);
}

}  // namespace
