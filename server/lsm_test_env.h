// What the tests of pwdlsm.so share: the real module loaded as the framework
// loads it, a scripted client for one attempt, and expected answers built
// with Nettle and libxcrypt, never with the module's own routines.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "method/wire.h"
#include "platform/vesk/vesk.h"
#include "platform/vesk/vesk_gtest.h"
#include "tests/support/reference.h"

namespace lsm_test {

using wistra::reference::Bytes;
using vesk::Side;

// Independent references, shared with the other test programs.
using wistra::reference::CryptWithZero;
using wistra::reference::DesBlock;
using wistra::reference::DesResponse;
using wistra::reference::Galt;
using wistra::reference::Join;
using wistra::reference::Md4;
using wistra::reference::Md5;
using wistra::reference::NtHash;
using wistra::reference::Of;
using wistra::reference::Sha1;

// "Password Hash" values as the directory keeps them.
Bytes StoredValue(std::int8_t type, std::span<const std::uint8_t> data);  // type, data, one trailing byte
Bytes StoredText(std::int8_t type, std::string_view text);                 // type, text (types 1 and 4)

// The record and the extra data a current-form client received.
struct Offer {
  wistra::wire_pwdInfo record;
  Bytes extra;
};

// pwdlsm.so loaded with a chosen set of late-bound host calls, unloaded again
// after each test, so that each test sees fresh once-only lookups.
class LsmTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  virtual vesk::HostCallSet HostCalls() const { return vesk::kAllHostCalls; }

  // Reloads the module with another set of host calls.
  void Reload(vesk::HostCallSet calls);

  vesk::Entry entry() const { return entry_; }

  // Runs the server on its own thread for `attempt`; returns its status.
  struct Session {
    explicit Session(LsmTest& test, vesk::Attempt& attempt)
        : client(attempt.Play(Side::kClient)), server(attempt, Side::kServer, test.entry()) {}
    vesk::Peer client;
    vesk::EntryThread server;
  };

  // Plays a current-form opening: marker, version 1, then reads the record and
  // the extra data. False (with a test failure) when the server sends neither.
  static ::testing::AssertionResult Open(vesk::Peer& client, Offer* offer, std::uint32_t version = 1);
  // Sends the answer header and the answer.
  static void Answer(vesk::Peer& client, std::int32_t type, std::uint32_t flags, std::span<const std::uint8_t> answer);
  // The verdict word the server sends, or nullopt.
  static std::optional<std::uint32_t> Verdict(vesk::Peer& client);

  // A direct-form attempt of one answer against the record as set up; the verdict.
  std::optional<std::uint32_t> DirectVerdict(vesk::Attempt& attempt, std::int32_t type,
                                             std::span<const std::uint8_t> answer);

  // Trace lines of the server that begin with prefix.
  static std::vector<std::string> LinesWith(const vesk::Attempt& attempt, std::string_view prefix);

 private:
  std::unique_ptr<vesk::Module> module_;
  vesk::Entry entry_ = nullptr;
};

}  // namespace lsm_test
