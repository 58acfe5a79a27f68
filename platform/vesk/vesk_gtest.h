// GoogleTest helpers over a vesk::Peer: each receives the module's next message
// and says, with the bytes in hex, why it is not what the test expected.
//
//   EXPECT_TRUE(vesk::ExpectMessage(client, vesk::Le32(1)));
//   vesk::Bytes record;
//   ASSERT_TRUE(vesk::ExpectLength(client, 16, &record));
//   EXPECT_TRUE(vesk::ExpectEmpty(server));
//   EXPECT_TRUE(vesk::ExpectNoMore(client));   // the module ended, nothing left
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "platform/vesk/vesk.h"

namespace vesk {

namespace gtest_detail {
inline ::testing::AssertionResult Next(Peer& peer, Message* out, std::chrono::milliseconds timeout) {
  std::int32_t status = 0;
  auto m = peer.Receive(timeout, &status);
  if (!m) {
    return ::testing::AssertionFailure()
           << (status == 1 ? "no message within the time-out" : "the module's side ended with no message left");
  }
  *out = std::move(*m);
  return ::testing::AssertionSuccess();
}
inline const char* ViaName(Via via) { return via == Via::kX ? "MAF_XWrite" : "MAF_Write"; }
}  // namespace gtest_detail

// The next message is exactly `expected`, sent by the given pair of calls.
inline ::testing::AssertionResult ExpectMessage(Peer& peer, std::span<const std::uint8_t> expected,
                                                Via via = Via::kPlain,
                                                std::chrono::milliseconds timeout = kDefaultTimeout) {
  Message m;
  if (auto r = gtest_detail::Next(peer, &m, timeout); !r) return r << " (expected " << Hex(expected) << ")";
  if (m.bytes.size() != expected.size() || !std::equal(m.bytes.begin(), m.bytes.end(), expected.begin())) {
    return ::testing::AssertionFailure() << "got " << m.bytes.size() << " bytes [" << Hex(m.bytes) << "], expected "
                                         << expected.size() << " bytes [" << Hex(expected) << "]";
  }
  if (m.via != via) {
    return ::testing::AssertionFailure() << "the message came by " << gtest_detail::ViaName(m.via) << ", expected "
                                         << gtest_detail::ViaName(via);
  }
  return ::testing::AssertionSuccess();
}

// The next message has `length` bytes (plain calls); its bytes go to *out.
inline ::testing::AssertionResult ExpectLength(Peer& peer, std::size_t length, Bytes* out = nullptr,
                                               std::chrono::milliseconds timeout = kDefaultTimeout) {
  Message m;
  if (auto r = gtest_detail::Next(peer, &m, timeout); !r) return r << " (expected " << length << " bytes)";
  if (out) *out = m.bytes;
  if (m.bytes.size() != length) {
    return ::testing::AssertionFailure() << "got " << m.bytes.size() << " bytes [" << Hex(m.bytes) << "], expected "
                                         << length;
  }
  if (m.via != Via::kPlain) return ::testing::AssertionFailure() << "the message came by MAF_XWrite";
  return ::testing::AssertionSuccess();
}

// The next message is the empty one.
inline ::testing::AssertionResult ExpectEmpty(Peer& peer, std::chrono::milliseconds timeout = kDefaultTimeout) {
  return ExpectLength(peer, 0, nullptr, timeout);
}

// Whatever comes next, into *out (fails only when nothing comes).
inline ::testing::AssertionResult ExpectAny(Peer& peer, Message* out,
                                            std::chrono::milliseconds timeout = kDefaultTimeout) {
  return gtest_detail::Next(peer, out, timeout);
}

// The module's side ends without sending anything more.
inline ::testing::AssertionResult ExpectNoMore(Peer& peer, std::chrono::milliseconds timeout = kDefaultTimeout) {
  std::int32_t status = 0;
  auto m = peer.Receive(timeout, &status);
  if (m) {
    return ::testing::AssertionFailure() << "the module sent " << m->bytes.size() << " more bytes [" << Hex(m->bytes)
                                         << "]";
  }
  if (status == 1) return ::testing::AssertionFailure() << "the module's side did not end within the time-out";
  return ::testing::AssertionSuccess();
}

}  // namespace vesk
