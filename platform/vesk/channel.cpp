// The attempt's channel: two queues of whole messages, one per direction, and
// the framework calls that open, use and close it. A scripted Peer stands on
// one end with the same queues.
#include <cstring>

#include "method/status.h"
#include "platform/vesk/state.h"

namespace vesk {

namespace {

using wistra::kStatusMafBadArgument;
using wistra::kStatusMafBadHandle;
using wistra::kStatusMafMessageTooLong;
using wistra::kStatusMafPeerGone;

// Queues a message from `from` for the other end. Caller holds mu.
void Deliver(Attempt::State& s, Side from, const void* bytes, std::uint32_t length, Via via) {
  Message m;
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  if (length != 0) m.bytes.assign(p, p + length);
  m.via = via;
  m.from = from;
  s.transcript.push_back(m);
  s.queue[Index(Other(from))].push_back(std::move(m));
  s.cv.notify_all();
}

std::int32_t Write(mafHandle handle, std::uint32_t length, const void* bytes, Via via) {
  Side side;
  auto s = LookUp(handle, &side);
  if (!s) return kStatusMafBadHandle;
  std::lock_guard<std::mutex> lock(s->mu);
  if (std::int32_t st = s->CountCall(via == Via::kX ? Call::kXWrite : Call::kWrite, side)) return st;
  if (length != 0 && bytes == nullptr) return kStatusMafBadArgument;
  // A message to an end that has gone is dropped without complaint, as a
  // network would: whether it arrives in time is no business of the sender.
  Deliver(*s, side, bytes, length, via);
  return 0;
}

std::int32_t Read(mafHandle handle, std::uint32_t* length, void* buffer, Via via) {
  Side side;
  auto s = LookUp(handle, &side);
  if (!s) return kStatusMafBadHandle;
  std::unique_lock<std::mutex> lock(s->mu);
  if (std::int32_t st = s->CountCall(via == Via::kX ? Call::kXRead : Call::kRead, side)) return st;
  if (length == nullptr || (buffer == nullptr && *length != 0)) return kStatusMafBadArgument;
  auto& q = s->queue[Index(side)];
  const bool& peer_ended = s->ended[Index(Other(side))];
  s->cv.wait(lock, [&] { return !q.empty() || peer_ended; });
  if (q.empty()) return kStatusMafPeerGone;
  Message m = std::move(q.front());
  q.pop_front();
  const auto n = static_cast<std::uint32_t>(m.bytes.size());
  if (n > *length) {
    *length = n;  // the message is consumed: it cannot be read again in pieces
    return kStatusMafMessageTooLong;
  }
  if (n != 0) std::memcpy(buffer, m.bytes.data(), n);
  *length = n;
  return 0;
}

}  // namespace

// ---- Peer ------------------------------------------------------------------------------

Peer::Peer(std::shared_ptr<Attempt::State> state, Side side) : state_(std::move(state)), side_(side) {}

mafHandle Peer::handle() const { return state_->handles[Index(side_)]; }

std::int32_t Peer::Send(std::span<const std::uint8_t> bytes, Via via) {
  std::lock_guard<std::mutex> lock(state_->mu);
  Deliver(*state_, side_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), via);
  return 0;
}

std::optional<Message> Peer::Receive(std::chrono::milliseconds timeout, std::int32_t* status) {
  std::unique_lock<std::mutex> lock(state_->mu);
  auto& q = state_->queue[Index(side_)];
  const bool& module_ended = state_->ended[Index(Other(side_))];
  const bool ready = state_->cv.wait_for(lock, timeout, [&] { return !q.empty() || module_ended; });
  if (!q.empty()) {
    Message m = std::move(q.front());
    q.pop_front();
    if (status) *status = 0;
    return m;
  }
  if (status) *status = ready ? kStatusMafPeerGone : 1;
  return std::nullopt;
}

bool Peer::WaitForEnd(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(state_->mu);
  auto& q = state_->queue[Index(side_)];
  const bool& module_ended = state_->ended[Index(Other(side_))];
  return state_->cv.wait_for(lock, timeout, [&] { return module_ended; }) && q.empty();
}

void Peer::End() {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->EndLocked(side_);
}

}  // namespace vesk

// ---- The framework's calls ------------------------------------------------------------

using vesk::Call;
using vesk::Side;
using vesk::Via;

extern "C" {

__attribute__((visibility("default"))) std::int32_t MAF_Begin(mafHandle handle) {
  Side side;
  auto s = vesk::LookUp(handle, &side);
  if (!s) return wistra::kStatusMafBadHandle;
  std::lock_guard<std::mutex> lock(s->mu);
  return s->CountCall(Call::kBegin, side);
}

__attribute__((visibility("default"))) std::int32_t MAF_End(mafHandle handle, std::int32_t outcome, std::uint32_t,
                                                             std::uint32_t) {
  Side side;
  auto s = vesk::LookUp(handle, &side);
  if (!s) return wistra::kStatusMafBadHandle;
  std::lock_guard<std::mutex> lock(s->mu);
  if (std::int32_t st = s->CountCall(Call::kEnd, side)) return st;
  s->ends[vesk::Index(side)].push_back(outcome);
  // What this side sent before closing is still delivered; after it, the other
  // side's reads fail instead of waiting.
  s->EndLocked(side);
  return 0;
}

__attribute__((visibility("default"))) std::int32_t MAF_Write(mafHandle handle, std::uint32_t length,
                                                               const void* bytes) {
  return vesk::Write(handle, length, bytes, Via::kPlain);
}

__attribute__((visibility("default"))) std::int32_t MAF_Read(mafHandle handle, std::uint32_t* length, void* buffer) {
  return vesk::Read(handle, length, buffer, Via::kPlain);
}

__attribute__((visibility("default"))) std::int32_t MAF_WriteRead(mafHandle handle, std::uint32_t length,
                                                                   const void* bytes, std::uint32_t* replyLength,
                                                                   void* reply) {
  if (std::int32_t st = vesk::Write(handle, length, bytes, Via::kPlain)) return st;
  return vesk::Read(handle, replyLength, reply, Via::kPlain);
}

__attribute__((visibility("default"))) std::int32_t MAF_XWrite(mafHandle handle, std::uint32_t length,
                                                                const void* bytes) {
  return vesk::Write(handle, length, bytes, Via::kX);
}

__attribute__((visibility("default"))) std::int32_t MAF_XRead(mafHandle handle, std::uint32_t* length, void* buffer) {
  return vesk::Read(handle, length, buffer, Via::kX);
}

}  // extern "C"
