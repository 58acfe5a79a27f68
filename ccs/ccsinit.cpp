// Bringing the facade up and down: the reference count, the module identifier
// and the two locks that keep them consistent between threads.
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "ccs/ccs.h"
#include "ccs/ccsstate.h"
#include "method/status.h"
#include "osa/osactx.h"
#include "osa/osalock.h"

namespace ccs {

std::uint32_t hModule = 0;
std::atomic<int> ccsInitialized{0};
OSA_Mutex ccsLock;

namespace {

// Successful CCS_Init calls not yet matched by CCS_Shutdown. Not clamped: a
// CCS_Shutdown while down takes it below zero.
std::int32_t InitCounter = 0;
// 1 = free, 0 = held; swapval is what a taker exchanges into it.
std::uint32_t stateLock = 1;
const std::uint32_t swapval = 0;

// CCS_Init gives the processor away between attempts; shutdown retries at once.
constexpr std::int32_t kYieldInit = 2;
constexpr std::int32_t kYieldShutdown = 1;

void* PlatformAllocate(std::size_t size) { return std::malloc(size); }
std::atomic<testing::Allocator> registrationAllocator{&PlatformAllocate};

// Holds the state lock for one scope, so that every path out of a lifecycle
// operation releases it.
class StateLockHolder {
 public:
  explicit StateLockHolder(std::int32_t yieldLevel) {
    std::uint32_t unused = 0;
    while (OSA_test_and_set(&stateLock, &unused, swapval) == 0) OSA_YieldExecution(yieldLevel);
  }
  StateLockHolder(const StateLockHolder&) = delete;
  StateLockHolder& operator=(const StateLockHolder&) = delete;
  ~StateLockHolder() { OSA_clear_set(&stateLock); }
};

// The registration's working memory: the identifier being registered, kept
// apart from hModule until the service has accepted it.
struct Registration {
  std::uint32_t module;
};

// Ends the registration and takes the facade down; the state lock is held.
void TearDown() {
  (void)CCSX_Goodbye(hModule);
  (void)OSA_Deinitialize(&hModule);
  hModule = 0;
  ccsInitialized.store(0, std::memory_order_release);
  (void)OSA_mutex_destroy(&ccsLock);
}

}  // namespace

std::uint32_t generateModuleID(const void* caller) {
  std::uint32_t seconds = 0;
  std::uint32_t second = 0;
  (void)OSA_GetSecMsec(&seconds, &second);
  return FoldAddress(reinterpret_cast<std::uintptr_t>(caller)) ^
         FoldAddress(reinterpret_cast<std::uintptr_t>(&seconds)) ^ ((seconds << 10) | second) ^
         FoldAddress(reinterpret_cast<std::uintptr_t>(&generateModuleID));
}

void testing::SetRegistrationAllocator(Allocator allocator) {
  registrationAllocator.store(allocator ? allocator : &PlatformAllocate);
}

std::int32_t testing::InitCounter() { return ccs::InitCounter; }

}  // namespace ccs

using namespace ccs;

extern "C" std::int32_t CCS_Init(const void* caller) {
  if (caller == nullptr) return wistra::kStatusInvalidArgument;
  StateLockHolder held(kYieldInit);

  if (ccsInitialized.load(std::memory_order_relaxed) != 0) {
    ++InitCounter;
    return wistra::kStatusOk;
  }

  hModule = generateModuleID(caller);
  const std::int32_t osaStatus = OSA_Initialize(&hModule);
  if (osaStatus != 0) return osaStatus;

  auto* registration = static_cast<Registration*>(registrationAllocator.load()(sizeof(Registration)));
  if (registration == nullptr) {
    (void)OSA_Deinitialize(&hModule);
    hModule = 0;
    return wistra::kStatusFacadeNoMemory;
  }
  registration->module = hModule;

  // With default attributes this cannot fail on this platform; if it ever did,
  // the wrappers would lock a mutex that does not exist, so come up no further.
  if (OSA_mutex_init(&ccsLock) != 0) {
    std::free(registration);
    (void)OSA_Deinitialize(&hModule);
    hModule = 0;
    return wistra::kStatusFacadeNoMemory;
  }

  // The service accepts the identifier only when registering returns 0, so a
  // failed registration leaves nothing to end with CCSX_Goodbye.
  const std::int32_t registered = CCSX_Register(registration->module);
  std::free(registration);
  if (registered != 0) {
    (void)OSA_mutex_destroy(&ccsLock);
    (void)OSA_Deinitialize(&hModule);
    hModule = 0;
    return registered;
  }

  ccsInitialized.store(1, std::memory_order_release);
  ++InitCounter;
  return wistra::kStatusOk;
}

extern "C" void CCS_Shutdown(void) {
  StateLockHolder held(kYieldShutdown);
  --InitCounter;
  if (InitCounter <= 0 && ccsInitialized.load(std::memory_order_relaxed) != 0) TearDown();
}

extern "C" void CCS_ShutdownAll(void) {
  StateLockHolder held(kYieldShutdown);
  InitCounter = 0;
  if (ccsInitialized.load(std::memory_order_relaxed) != 0) TearDown();
}

extern "C" std::int32_t CCS_SetInitFlags(std::uint32_t flags) {
  if (flags != 0) return wistra::kStatusInvalidArgument;
  return OSA_DisableShutDownEvents();
}
