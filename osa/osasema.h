// Counting semaphores from a mutex and a condition variable: semx_ on a record
// the caller owns, OSA_ behind a handle the layer allocates.
#pragma once
#include <pthread.h>
#include <time.h>

#include <cstdint>

#include "osa/osalock.h"

extern "C" {

struct semx_t {
  OSA_Mutex mutex;       // guards count
  pthread_cond_t cond;   // signalled when count is raised
  std::int32_t count;    // units available
};

struct OSA_Semaphore {
  semx_t* sem;
};

// OSA_WaitOnSemaphore's time-out meaning "no time-out".
inline constexpr std::uint32_t kOsaWaitForever = 0xFFFFFFFFu;

std::int32_t semx_init(semx_t* sem, std::int32_t unused, std::int32_t value);
std::int32_t semx_destroy(semx_t* sem);
std::int32_t semx_wait(semx_t* sem);
// Every value of ms, 0xFFFFFFFF too, is a time-out; 0, ETIMEDOUT or an error number.
std::int32_t semx_timedwait(semx_t* sem, std::uint32_t ms);
std::int32_t semx_post(semx_t* sem);
std::int32_t semx_getvalue(semx_t* sem, std::int32_t* value);
// The waits' cancellation clean-up: releases the semaphore's mutex.
std::int32_t p_operation_cleanup(void* mutex);

// 0 with a new handle in *out, or -2 (non-zero reserved arguments, null out, no
// memory) with null in *out.
std::int32_t OSA_AllocSemaphore(void* unused, std::int32_t reserved1, std::int32_t reserved2, std::int32_t initial,
                                OSA_Semaphore** out);
std::int32_t OSA_FreeSemaphore(OSA_Semaphore* sem);
std::int32_t OSA_PostSemaphore(OSA_Semaphore* sem);
std::int32_t OSA_QuerySemaphore(OSA_Semaphore* sem, std::int32_t* value);
// kOsaWaitForever waits without a time-out; 0, ETIMEDOUT or an error number.
std::int32_t OSA_WaitOnSemaphore(OSA_Semaphore* sem, std::uint32_t ms);
std::int32_t OSA_WaitForeverOnSemaphore(OSA_Semaphore* sem);

}  // extern "C"

namespace osa {
// The absolute deadline ms milliseconds after the wall-clock reading (seconds,
// microseconds), as the timed waits compute it.
timespec SemaphoreDeadline(std::int64_t seconds, std::uint32_t micros, std::uint32_t ms);
}  // namespace osa
