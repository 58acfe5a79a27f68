// The channel as a module sees it: whole messages in order, empty ones too, a
// too-small capacity refused without overflow, and reads that end instead of
// hanging once the other side is gone.
#include <gtest/gtest.h>

#include <thread>

#include "method/status.h"
#include "platform/vesk/vesk.h"
#include "platform/vesk/vesk_gtest.h"

namespace {

using namespace std::chrono_literals;
using vesk::Attempt;
using vesk::Side;
using vesk::Via;
using wistra::kStatusMafBadHandle;
using wistra::kStatusMafMessageTooLong;
using wistra::kStatusMafPeerGone;

std::int32_t Read(const Attempt& a, Side side, vesk::Bytes* out, std::uint32_t capacity = 256) {
  out->assign(capacity, 0);
  std::uint32_t length = capacity;
  const std::int32_t st = MAF_Read(a.Handle(side), &length, out->data());
  out->resize(st == 0 ? length : 0);
  return st;
}

TEST(VeskChannel, KeepsMessageBoundariesAndEmptyMessagesInBothDirections) {
  Attempt a;
  const mafHandle client = a.Handle(Side::kClient);
  const mafHandle server = a.Handle(Side::kServer);
  ASSERT_NE(client, server);
  ASSERT_EQ(MAF_Write(client, 2, "ab"), 0);
  ASSERT_EQ(MAF_Write(client, 0, nullptr), 0);
  ASSERT_EQ(MAF_XWrite(client, 3, "cde"), 0);
  ASSERT_EQ(MAF_Write(server, 1, "z"), 0);

  vesk::Bytes m;
  ASSERT_EQ(Read(a, Side::kServer, &m), 0);
  EXPECT_EQ(m, vesk::ToBytes("ab"));
  ASSERT_EQ(Read(a, Side::kServer, &m), 0);
  EXPECT_TRUE(m.empty());
  std::uint32_t length = 8;
  std::uint8_t x[8] = {};
  ASSERT_EQ(MAF_XRead(server, &length, x), 0);
  EXPECT_EQ(vesk::Bytes(x, x + length), vesk::ToBytes("cde"));
  ASSERT_EQ(Read(a, Side::kClient, &m), 0);
  EXPECT_EQ(m, vesk::ToBytes("z"));

  const auto t = a.Transcript();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[2].via, Via::kX);
  EXPECT_EQ(t[3].from, Side::kServer);
}

TEST(VeskChannel, RefusesAMessageLongerThanTheCapacityWithoutWritingPastIt) {
  struct Case {
    std::uint32_t message;
    std::uint32_t capacity;
    std::int32_t status;
  };
  const Case cases[] = {{16, 16, 0}, {17, 16, kStatusMafMessageTooLong}, {1, 0, kStatusMafMessageTooLong},
                        {0, 0, 0},   {4, 3, kStatusMafMessageTooLong},  {4096, 4, kStatusMafMessageTooLong}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "message " << c.message << ", capacity " << c.capacity);
    Attempt a;
    vesk::Peer client = a.Play(Side::kClient);
    client.Send(vesk::Bytes(c.message, 0xAB));
    client.Send(vesk::ToBytes("next"));
    std::vector<std::uint8_t> buffer(c.capacity + 8, 0xEE);
    std::uint32_t length = c.capacity;
    EXPECT_EQ(MAF_Read(a.Handle(Side::kServer), &length, c.capacity ? buffer.data() : nullptr), c.status);
    EXPECT_EQ(length, c.message) << "the length out is the message's, refused or not";
    for (std::size_t i = c.capacity; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xEE) << "written past at " << i;
    if (c.status != 0) {
      for (std::size_t i = 0; i < c.capacity; ++i) ASSERT_EQ(buffer[i], 0xEE) << "a refused message was written";
    }
    // The refused message is consumed: the next read gets the next message.
    vesk::Bytes m;
    ASSERT_EQ(Read(a, Side::kServer, &m), 0);
    EXPECT_EQ(m, vesk::ToBytes("next"));
  }
}

TEST(VeskChannel, ReadFailsOnceThePeerHasEndedAndItsMessagesAreRead) {
  Attempt a;
  ASSERT_EQ(MAF_Write(a.Handle(Side::kServer), 1, "v"), 0);
  ASSERT_EQ(MAF_End(a.Handle(Side::kServer), 0, 0, 0), 0);
  vesk::Bytes m;
  EXPECT_EQ(Read(a, Side::kClient, &m), 0) << "what was sent before MAF_End still arrives";
  EXPECT_EQ(Read(a, Side::kClient, &m), kStatusMafPeerGone);
  EXPECT_EQ(Read(a, Side::kClient, &m), kStatusMafPeerGone);
  EXPECT_EQ(a.EndOutcomes(Side::kServer), std::vector<std::int32_t>{0});
  EXPECT_TRUE(a.EndOutcomes(Side::kClient).empty());
}

TEST(VeskChannel, ABlockedReadIsReleasedWhenThePeerEnds) {
  Attempt a;
  std::int32_t status = 0;
  std::thread reader([&] {
    vesk::Bytes m;
    status = Read(a, Side::kServer, &m);
  });
  std::this_thread::sleep_for(20ms);
  a.EndSide(Side::kClient);
  reader.join();
  EXPECT_EQ(status, kStatusMafPeerGone);
}

TEST(VeskChannel, WriteReadSendsThenReceivesTheReply) {
  Attempt a;
  vesk::Peer server = a.Play(Side::kServer);
  server.Send(vesk::Le32(1));
  std::uint8_t reply[4] = {};
  std::uint32_t length = 4;
  ASSERT_EQ(MAF_WriteRead(a.Handle(Side::kClient), 3, "ans", &length, reply), 0);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(reply[0], 1);
  EXPECT_TRUE(vesk::ExpectMessage(server, vesk::ToBytes("ans")));
}

TEST(VeskChannel, InjectedFailureReturnsItsStatusAndConsumesNothing) {
  Attempt a;
  a.FailCall(vesk::Call::kRead, Side::kServer, 2, -5);
  a.FailCall(vesk::Call::kWrite, Side::kClient, 3, -6);
  a.FailBegin(-7);
  EXPECT_EQ(MAF_Begin(a.Handle(Side::kClient)), -7);
  EXPECT_EQ(MAF_Begin(a.Handle(Side::kServer)), 0) << "only the first MAF_Begin was to fail";
  const mafHandle c = a.Handle(Side::kClient);
  EXPECT_EQ(MAF_Write(c, 1, "1"), 0);
  EXPECT_EQ(MAF_Write(c, 1, "2"), 0);
  EXPECT_EQ(MAF_Write(c, 1, "3"), -6);
  vesk::Bytes m;
  EXPECT_EQ(Read(a, Side::kServer, &m), 0);
  EXPECT_EQ(Read(a, Side::kServer, &m), -5);
  ASSERT_EQ(a.Unread(Side::kServer).size(), 1u) << "the failed read left its message queued";
  EXPECT_EQ(Read(a, Side::kServer, &m), 0);
  EXPECT_EQ(m, vesk::ToBytes("2"));
  EXPECT_TRUE(a.Unread(Side::kServer).empty());
  EXPECT_EQ(a.CallCount(vesk::Call::kRead, Side::kServer), 3u);
  EXPECT_EQ(a.Transcript().size(), 2u) << "a failed write delivers nothing";
}

TEST(VeskChannel, AnUnknownOrRetiredHandleIsRefused) {
  mafHandle old;
  {
    Attempt a;
    old = a.Handle(Side::kServer);
  }
  std::uint32_t length = 4;
  std::uint8_t b[4];
  EXPECT_EQ(MAF_Read(old, &length, b), kStatusMafBadHandle);
  EXPECT_EQ(MAF_Write(old, 1, "x"), kStatusMafBadHandle);
  EXPECT_EQ(MAF_Begin(0), kStatusMafBadHandle);
  EXPECT_EQ(MAF_End(0xFFFFFFFFu, 0, 0, 0), kStatusMafBadHandle);
  Attempt fresh;
  EXPECT_NE(fresh.Handle(Side::kServer), old) << "handles are never reused";
}

// An entry that echoes what it reads until the peer sends an empty message.
std::int32_t EchoEntry(mafHandle h) {
  if (std::int32_t st = MAF_Begin(h)) return st;
  std::uint8_t b[32];
  for (;;) {
    std::uint32_t length = sizeof b;
    if (std::int32_t st = MAF_Read(h, &length, b)) {
      MAF_End(h, st, 0, 0);
      return st;
    }
    if (length == 0) break;
    MAF_Write(h, length, b);
  }
  MAF_End(h, 0, 0, 0);
  return 0;
}

TEST(VeskScriptedPeer, DrivesAnEntryMessageByMessage) {
  Attempt a;
  vesk::Peer client = a.Play(Side::kClient);
  vesk::EntryThread server(a, Side::kServer, EchoEntry);
  client.Send(vesk::Le32s({0xFFFFFFFFu, 0}));
  EXPECT_TRUE(vesk::ExpectMessage(client, vesk::Le32s({0xFFFFFFFFu, 0})));
  client.Send(vesk::ToBytes("hello"));
  vesk::Bytes got;
  EXPECT_TRUE(vesk::ExpectLength(client, 5, &got));
  EXPECT_EQ(got, vesk::ToBytes("hello"));
  EXPECT_FALSE(vesk::ExpectEmpty(client, 50ms)) << "nothing was sent, so the wait must time out";
  client.SendEmpty();
  EXPECT_TRUE(vesk::ExpectNoMore(client));
  EXPECT_EQ(server.Join(), 0);
  EXPECT_EQ(a.EndOutcomes(Side::kServer), std::vector<std::int32_t>{0});
}

TEST(VeskScriptedPeer, AnEntryWaitingOnAPeerThatEndsReturnsWithPeerGone) {
  Attempt a;
  vesk::Peer client = a.Play(Side::kClient);
  vesk::EntryThread server(a, Side::kServer, EchoEntry);
  client.Send(vesk::ToBytes("x"));
  EXPECT_TRUE(vesk::ExpectMessage(client, vesk::ToBytes("x")));
  client.End();
  EXPECT_EQ(server.Join(), kStatusMafPeerGone);
  EXPECT_EQ(a.EndOutcomes(Side::kServer), std::vector<std::int32_t>{kStatusMafPeerGone});
}

TEST(VeskScriptedPeer, AHungEntryTimesOutInsteadOfHangingTheTest) {
  Attempt a;
  vesk::Peer client = a.Play(Side::kClient);  // sends nothing, never ends
  vesk::EntryThread server(a, Side::kServer, EchoEntry);
  EXPECT_FALSE(server.Join(100ms).has_value());
  // The time-out closed the channel, so the entry's read returned.
  EXPECT_EQ(a.EndOutcomes(Side::kServer), std::vector<std::int32_t>{kStatusMafPeerGone});
}

}  // namespace
