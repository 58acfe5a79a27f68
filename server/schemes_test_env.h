// What every scheme-check test shares: the facade and the broker brought up
// once for the process, a fixture with one framework attempt (its handle, its
// trace lines, its allocations) that checks every context and key went back,
// and expected answers built with Nettle.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "method/maf.h"
#include "platform/vesk/vesk.h"

namespace schemes_test {

using Bytes = std::vector<std::uint8_t>;

// "01 ab ..." or "01ab..." into bytes; spaces are ignored.
Bytes FromHex(std::string_view hex);
Bytes Of(std::string_view text);
std::string HexOf(std::span<const std::uint8_t> bytes);

// Independent references for expected answers.
Bytes NettleMd4(std::span<const std::uint8_t> data);
Bytes NettleSha1(std::span<const std::uint8_t> data);
// DES of one block; the lowest bit of each key byte is ignored.
Bytes NettleDes(std::span<const std::uint8_t> key, std::span<const std::uint8_t> block);
// The LAN Manager hash of raw bytes: the first 14, ASCII letters upper-cased.
Bytes NettleLanman(std::span<const std::uint8_t> password);
// The 24-byte response to an 8-byte challenge from a 16-byte hash.
Bytes NettleResponse(std::span<const std::uint8_t> hash, std::span<const std::uint8_t> challenge);
// The stand-in's Galt hash: the first 16 bytes of SHA-1(salt | password).
Bytes NettleGalt(std::span<const std::uint8_t> salt, std::span<const std::uint8_t> password);

class SchemeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  mafHandle handle() const { return attempt_.Handle(vesk::Side::kServer); }
  std::vector<std::string> Lines() const { return attempt_.TraceLines(vesk::Side::kServer); }
  // Calls of a crypto-service operation since the test began.
  static std::uint32_t Calls(const char* operation);

  vesk::Attempt attempt_;

 private:
  vesk::Attempt::ThreadScope scope_{attempt_};
};

}  // namespace schemes_test
