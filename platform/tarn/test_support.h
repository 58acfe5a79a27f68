// Helpers shared by the service's tests: byte strings, algorithm records, and
// a fixture that holds a registered module identifier with one context.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ccs/ccsx.h"
#include "method/status.h"
#include "platform/tarn/tarn_control.h"

namespace tarn::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(std::string_view hex) {
  auto nibble = [](char c) -> std::uint8_t {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    return static_cast<std::uint8_t>(c - 'A' + 10);
  };
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>((nibble(hex[i]) << 4) | nibble(hex[i + 1])));
  }
  return out;
}

inline Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A fresh identifier for each fixture, so that tests never share registrations.
inline std::uint32_t NewModuleId() {
  static std::atomic<std::uint32_t> next{0x7A000000u};
  return next++;
}

// An AlgorithmSpec with its one-entry ParamBlock kept beside it.
struct Algorithm {
  explicit Algorithm(const std::uint8_t* identifier) : spec{identifier, nullptr, 0} {}
  Algorithm(const std::uint8_t* identifier, std::uint32_t type, const Bytes& value)
      : block{1, {ParamEntry{type, static_cast<std::uint32_t>(value.size()), value.data()}}},
        spec{identifier, &block, sizeof(ParamBlock)} {}
  Algorithm(const Algorithm&) = delete;
  ParamBlock block{};
  AlgorithmSpec spec;
};

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TarnControl_Reset();
    ASSERT_EQ(CCSX_Register(module_), wistra::kStatusOk);
    ASSERT_EQ(CCSX_CreateContext(module_, 0, &context_), wistra::kStatusOk);
  }
  void TearDown() override {
    CCSX_Goodbye(module_);
    TarnControl_Reset();
  }

  // A one-shot digest in the fixture's context; *out gets what was reported.
  std::int32_t OneShot(const AlgorithmSpec& spec, const Bytes& data, Bytes* out, std::uint32_t capacity = 64) {
    if (const std::int32_t status = CCSX_DigestInit(module_, context_, &spec); status != wistra::kStatusOk) {
      return status;
    }
    out->assign(capacity, 0);
    std::uint32_t length = capacity;
    const std::int32_t status = CCSX_Digest(module_, context_, data.data(), static_cast<std::uint32_t>(data.size()),
                                            out->data(), &length);
    out->resize(status == wistra::kStatusOk ? length : 0);
    return status;
  }

  const std::uint32_t module_ = NewModuleId();
  std::uint32_t context_ = 0;
};

}  // namespace tarn::test
