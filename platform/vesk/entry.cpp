// Entries on their own threads, as the framework runs them: each thread belongs
// to its attempt, and when an entry returns its side of the channel ends, so a
// peer still waiting for a message is released instead of waiting forever.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>

#include "platform/vesk/state.h"

namespace vesk {

struct EntryThread::Shared {
  std::shared_ptr<Attempt::State> state;
  Side side;
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  std::int32_t result = 0;
};

EntryThread::EntryThread(const Attempt& attempt, Side side, Entry entry) : shared_(std::make_shared<Shared>()) {
  shared_->state = attempt.state();
  shared_->side = side;
  const mafHandle handle = attempt.Handle(side);
  thread_ = std::thread([shared = shared_, entry, handle] {
    SetCurrentAttempt(shared->state.get());
    const std::int32_t result = entry(handle);
    SetCurrentAttempt(nullptr);
    {
      std::lock_guard<std::mutex> lock(shared->state->mu);
      shared->state->EndLocked(shared->side);
    }
    std::lock_guard<std::mutex> lock(shared->mu);
    shared->result = result;
    shared->done = true;
    shared->cv.notify_all();
  });
}

EntryThread::~EntryThread() {
  if (!joined_) Join();
}

std::optional<std::int32_t> EntryThread::Join(std::chrono::milliseconds timeout) {
  if (joined_) return std::nullopt;
  bool in_time;
  {
    std::unique_lock<std::mutex> lock(shared_->mu);
    in_time = shared_->cv.wait_for(lock, timeout, [&] { return shared_->done; });
  }
  if (!in_time) {
    // Release reads that wait on the channel; the entry should then return.
    {
      std::lock_guard<std::mutex> lock(shared_->state->mu);
      shared_->state->EndLocked(Side::kClient);
      shared_->state->EndLocked(Side::kServer);
    }
    std::unique_lock<std::mutex> lock(shared_->mu);
    if (!shared_->cv.wait_for(lock, timeout, [&] { return shared_->done; })) {
      std::fprintf(stderr, "vesk: the %s entry did not return even after its channel was closed; stopping\n",
                   shared_->side == Side::kClient ? "client" : "server");
      std::abort();
    }
  }
  thread_.join();
  joined_ = true;
  if (!in_time) return std::nullopt;
  return shared_->result;
}

PairResult RunPair(const Attempt& attempt, Entry client, Entry server, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  EntryThread c(attempt, Side::kClient, client);
  EntryThread s(attempt, Side::kServer, server);
  PairResult r;
  r.client = c.Join(timeout);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  r.server = s.Join(std::max(left, std::chrono::milliseconds(1)));
  return r;
}

}  // namespace vesk
