// MAF_Malloc and MAF_Free, counted per attempt. Each buffer carries a header
// naming the account it was taken from, so a buffer is counted back where it
// came from whichever thread frees it. A freed buffer is searched for the
// watched secrets and then wiped, so that one test's secret cannot show up in
// a later test's buffer.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/vesk/state.h"

namespace vesk {
namespace {

constexpr std::uint32_t kMagic = 0x5645534Bu;  // "VESK"

struct alignas(16) Header {
  std::uint32_t magic;
  std::uint32_t size;
  std::shared_ptr<Account> account;
};
constexpr std::size_t kHeaderSize = (sizeof(Header) + 15) / 16 * 16;
// No buffer of the modules comes near this; a larger request is a length gone
// wrong, and on the 32-bit build it would wrap the header arithmetic.
constexpr std::uint32_t kMaxAllocation = 64u << 20;

}  // namespace

Allocations GlobalAllocs() {
  const auto& a = GlobalAccount();
  std::lock_guard<std::mutex> lock(a->mu);
  return Allocations{a->calls, a->outstanding, a->outstanding_bytes};
}

}  // namespace vesk

extern "C" {

__attribute__((visibility("default"))) void* MAF_Malloc(std::uint32_t size) {
  vesk::Attempt::State* s = vesk::CurrentAttempt();
  std::shared_ptr<vesk::Account> account = s ? s->account : vesk::GlobalAccount();
  {
    std::lock_guard<std::mutex> lock(account->mu);
    ++account->calls;
    if (account->fail_nth != 0 && account->calls == account->fail_nth) return nullptr;
  }
  if (size > vesk::kMaxAllocation) return nullptr;
  void* raw = std::malloc(vesk::kHeaderSize + static_cast<std::size_t>(size));
  if (raw == nullptr) return nullptr;
  auto* h = new (raw) vesk::Header{vesk::kMagic, size, account};
  {
    std::lock_guard<std::mutex> lock(account->mu);
    ++account->outstanding;
    account->outstanding_bytes += size;
  }
  return static_cast<unsigned char*>(static_cast<void*>(h)) + vesk::kHeaderSize;
}

__attribute__((visibility("default"))) void MAF_Free(void* p) {
  if (p == nullptr) return;
  auto* raw = static_cast<unsigned char*>(p) - vesk::kHeaderSize;
  auto* h = reinterpret_cast<vesk::Header*>(raw);
  if (h->magic != vesk::kMagic) {
    // Not ours, or freed twice: freeing it would corrupt the heap far from the
    // fault, so stop here where the message names it.
    std::fprintf(stderr, "vesk: MAF_Free of a pointer MAF_Malloc did not return (%p)\n", p);
    std::abort();
  }
  auto* data = static_cast<unsigned char*>(p);
  {
    std::lock_guard<std::mutex> lock(h->account->mu);
    vesk::Account& a = *h->account;
    --a.outstanding;
    a.outstanding_bytes -= h->size;
    for (std::size_t i = 0; i < a.secrets.size(); ++i) {
      const vesk::Bytes& secret = a.secrets[i];
      if (secret.empty() || secret.size() > h->size) continue;
      if (std::search(data, data + h->size, secret.begin(), secret.end()) != data + h->size) {
        a.freed_holding[i].push_back(h->size);
      }
    }
  }
  explicit_bzero(data, h->size);
  h->magic = 0;
  h->~Header();
  std::free(raw);
}

}  // extern "C"
