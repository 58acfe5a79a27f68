#include "server/schemes_test_env.h"

#include <cctype>

#include "ccs/atb.h"
#include "ccs/ccs.h"
#include "platform/tarn/tarn_control.h"

namespace schemes_test {

namespace {

// The broker handle's address; only the address matters to the broker.
CCS_Word atbHandle = 0;

class FacadeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The trace lookup happens once per process, so the framework's trace
    // calls must be there before the first line.
    std::string error;
    ASSERT_TRUE(vesk::SetHostCalls(vesk::kTrace | vesk::kTraceEnabled, &error)) << error;
    ASSERT_EQ(ATBOpenATB(reinterpret_cast<CCS_Word>(&atbHandle)), 0);
  }
  void TearDown() override { ATBCloseATB(); }
};

const ::testing::Environment* const facade = ::testing::AddGlobalTestEnvironment(new FacadeEnvironment);

}  // namespace

Bytes FromHex(std::string_view hex) {
  Bytes out;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

std::string HexOf(std::span<const std::uint8_t> bytes) { return vesk::Hex(bytes); }

Bytes NettleLanman(std::span<const std::uint8_t> password) {
  std::uint8_t upper[14] = {};
  for (std::size_t i = 0; i < 14 && i < password.size(); ++i) {
    const std::uint8_t c = password[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
  }
  static const std::uint8_t kMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
  Bytes out;
  for (int half = 0; half < 2; ++half) {
    const auto key = wistra::reference::DesKey(std::span<const std::uint8_t, 7>(upper + 7 * half, 7));
    const Bytes block = DesBlock(key, kMagic);
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

void SchemeTest::SetUp() { TarnControl_Reset(); }

void SchemeTest::TearDown() {
  TarnControl_Reset();
  EXPECT_EQ(TarnControl_LiveContexts(), 0u) << "a context was left behind";
  EXPECT_EQ(TarnControl_LiveObjects(), 0u) << "a key object was left behind";
  EXPECT_EQ(attempt_.Allocs().outstanding, 0u) << "a buffer was not freed";
}

std::uint32_t SchemeTest::Calls(const char* operation) { return TarnControl_CallCount(operation); }

}  // namespace schemes_test
