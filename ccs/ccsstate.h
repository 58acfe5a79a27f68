// The facade's module-wide state, shared by its lifecycle (ccsinit) and its
// forwarding wrappers (ccs). Nothing outside ccs/ includes this, except the
// facade's own tests.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "osa/osalock.h"

namespace ccs {

// The module identifier: first argument of every call into the crypto service;
// 0 while the facade is down. Written only under the state lock, read by the
// wrappers after they have seen ccsInitialized set.
extern std::uint32_t hModule;
// Non-zero while the facade is up. The wrappers read it without the state lock,
// so it is stored with release and loaded with acquire: a wrapper that sees it
// set also sees hModule and the created ccsLock.
extern std::atomic<int> ccsInitialized;
// The facade lock; exists only while the facade is up.
extern OSA_Mutex ccsLock;

// The 32-bit module identifier made from the caller's address, the clock, a
// stack address of this call and the function's own address.
std::uint32_t generateModuleID(const void* caller);

// Folds a whole address into 32 bits, so that on a 64-bit build no bit of it is
// lost from the identifier.
inline std::uint32_t FoldAddress(std::uintptr_t address) {
  // Two 16-bit shifts: a single shift by 32 is undefined on the 32-bit build.
  return static_cast<std::uint32_t>(address) ^ static_cast<std::uint32_t>((address >> 16) >> 16);
}

namespace testing {
// Where the registration's working memory comes from; tests replace it to make
// the allocation fail. nullptr restores the platform allocator.
using Allocator = void* (*)(std::size_t size);
void SetRegistrationAllocator(Allocator allocator);
// Read while no other thread is in the facade.
std::int32_t InitCounter();
}  // namespace testing

}  // namespace ccs
