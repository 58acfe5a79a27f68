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
#include "tests/support/reference.h"

namespace schemes_test {

using wistra::reference::Bytes;

// "01 ab ..." or "01ab..." into bytes; spaces are ignored.
Bytes FromHex(std::string_view hex);
std::string HexOf(std::span<const std::uint8_t> bytes);

// Independent references for expected answers, shared with the other test programs.
using wistra::reference::DesBlock;
using wistra::reference::DesResponse;
using wistra::reference::Galt;
using wistra::reference::Join;
using wistra::reference::Md4;
using wistra::reference::Of;
using wistra::reference::Sha1;
// The LAN Manager hash of raw bytes: the first 14, ASCII letters upper-cased.
Bytes NettleLanman(std::span<const std::uint8_t> password);

// The status the stand-in's control injects when a test fails a crypto call.
inline constexpr std::int32_t kInjected = -1422;

// The published NTLM worked example: password "Password", server challenge
// 0123456789abcdef, its NT and LAN Manager hashes and both responses.
namespace ntlm_example {
inline const Bytes kChallenge = FromHex("0123456789abcdef");
inline const Bytes kNtHash = FromHex("a4f49c406510bdcab6824ee7c30fd852");
inline const Bytes kLmHash = FromHex("e52cac67419a9a224a3b108f3fa6cb6d");
inline const Bytes kNtResponse = FromHex("67c43011f30298a2ad35ece64f16331c44bdbed927841f94");
inline const Bytes kLmResponse = FromHex("98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13");
}  // namespace ntlm_example

// The bytes with a zero byte after them, as the server holds a password.
inline Bytes Terminated(Bytes b) {
  b.push_back(0);
  return b;
}

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
