#include "osa/osasema.h"

#include <errno.h>
#include <sys/time.h>

#include <cstdlib>

// A count below zero (a negative initial value) holds no units: the waits block
// on it like on zero instead of driving it further down.

namespace {

constexpr std::int32_t kBadArgument = -2;

void CleanupMutex(void* mutex) { p_operation_cleanup(mutex); }

// The clean-up registration may be a jump buffer, so the result lives in memory.
std::int32_t UntimedWait(semx_t* sem) {
  volatile std::int32_t result = 0;
  OSA_mutex_lock(&sem->mutex);
  pthread_cleanup_push(CleanupMutex, &sem->mutex);
  while (sem->count <= 0) {
    const int rc = pthread_cond_wait(&sem->cond, &sem->mutex);
    if (rc != 0) {
      result = rc;
      break;
    }
  }
  if (result == 0) --sem->count;
  pthread_cleanup_pop(1);
  return result;
}

std::int32_t TimedWait(semx_t* sem, std::uint32_t ms) {
  volatile std::int32_t result = 0;
  OSA_mutex_lock(&sem->mutex);
  pthread_cleanup_push(CleanupMutex, &sem->mutex);
  timeval now{};
  gettimeofday(&now, nullptr);
  const timespec deadline = osa::SemaphoreDeadline(now.tv_sec, static_cast<std::uint32_t>(now.tv_usec), ms);
  while (sem->count <= 0) {
    const int rc = pthread_cond_timedwait(&sem->cond, &sem->mutex, &deadline);
    if (rc != 0) {
      result = rc;
      break;
    }
  }
  if (result == 0) --sem->count;
  pthread_cleanup_pop(1);
  return result;
}

std::int32_t Post(semx_t* sem) {
  const std::int32_t locked = OSA_mutex_lock(&sem->mutex);
  if (locked != 0) return locked;
  ++sem->count;
  const std::int32_t result = pthread_cond_signal(&sem->cond);
  OSA_mutex_unlock(&sem->mutex);
  return result;
}

}  // namespace

timespec osa::SemaphoreDeadline(std::int64_t seconds, std::uint32_t micros, std::uint32_t ms) {
  // Below 2e9 for any micros under a million, so it fits a signed 32-bit word.
  const std::uint32_t n = (micros + (ms % 1000u) * 1000u) * 1000u;
  timespec deadline{};
  deadline.tv_sec = static_cast<time_t>(seconds + ms / 1000u + n / 1000000000u);
  deadline.tv_nsec = static_cast<long>(n % 1000000000u);
  return deadline;
}

extern "C" std::int32_t p_operation_cleanup(void* mutex) {
  return OSA_mutex_unlock(static_cast<OSA_Mutex*>(mutex));
}

extern "C" std::int32_t semx_init(semx_t* sem, std::int32_t, std::int32_t value) {
  OSA_mutex_init(&sem->mutex);
  const std::int32_t result = pthread_cond_init(&sem->cond, nullptr);
  sem->count = value;
  return result;
}

extern "C" std::int32_t semx_destroy(semx_t* sem) {
  const std::int32_t destroyed = OSA_mutex_destroy(&sem->mutex);
  if (destroyed != 0) return destroyed;
  const std::int32_t result = pthread_cond_destroy(&sem->cond);
  if (result == 0) sem->count = 0;
  return result;
}

extern "C" std::int32_t semx_wait(semx_t* sem) { return UntimedWait(sem); }
extern "C" std::int32_t semx_timedwait(semx_t* sem, std::uint32_t ms) { return TimedWait(sem, ms); }
extern "C" std::int32_t semx_post(semx_t* sem) { return Post(sem); }

extern "C" std::int32_t semx_getvalue(semx_t* sem, std::int32_t* value) {
  const std::int32_t locked = OSA_mutex_lock(&sem->mutex);
  if (locked != 0) return locked;
  const std::int32_t count = sem->count;
  OSA_mutex_unlock(&sem->mutex);
  *value = count;
  return 0;
}

extern "C" std::int32_t OSA_AllocSemaphore(void*, std::int32_t reserved1, std::int32_t reserved2,
                                           std::int32_t initial, OSA_Semaphore** out) {
  if (out != nullptr) *out = nullptr;
  if (reserved1 != 0 || reserved2 != 0 || out == nullptr) return kBadArgument;
  auto* handle = static_cast<OSA_Semaphore*>(std::malloc(sizeof(OSA_Semaphore)));
  if (handle == nullptr) return kBadArgument;
  handle->sem = static_cast<semx_t*>(std::malloc(sizeof(semx_t)));
  if (handle->sem == nullptr) {
    std::free(handle);
    return kBadArgument;
  }
  OSA_mutex_init(&handle->sem->mutex);
  pthread_cond_init(&handle->sem->cond, nullptr);
  handle->sem->count = initial;
  *out = handle;
  return 0;
}

extern "C" std::int32_t OSA_FreeSemaphore(OSA_Semaphore* sem) {
  if (sem == nullptr) return EINVAL;
  const std::int32_t destroyed = OSA_mutex_destroy(&sem->sem->mutex);
  if (destroyed != 0) return destroyed;
  const std::int32_t result = pthread_cond_destroy(&sem->sem->cond);
  if (result != 0) return result;
  sem->sem->count = 0;
  std::free(sem->sem);
  std::free(sem);
  return 0;
}

extern "C" std::int32_t OSA_PostSemaphore(OSA_Semaphore* sem) {
  if (sem == nullptr) return EINVAL;
  return Post(sem->sem);
}

extern "C" std::int32_t OSA_QuerySemaphore(OSA_Semaphore* sem, std::int32_t* value) {
  if (sem == nullptr || value == nullptr) return EINVAL;
  const std::int32_t locked = OSA_mutex_lock(&sem->sem->mutex);
  std::int32_t count = 0;
  if (locked == 0) {
    count = sem->sem->count;
    OSA_mutex_unlock(&sem->sem->mutex);
  }
  *value = count;
  return locked;
}

extern "C" std::int32_t OSA_WaitOnSemaphore(OSA_Semaphore* sem, std::uint32_t ms) {
  if (sem == nullptr) return EINVAL;
  return ms == kOsaWaitForever ? UntimedWait(sem->sem) : TimedWait(sem->sem, ms);
}

extern "C" std::int32_t OSA_WaitForeverOnSemaphore(OSA_Semaphore* sem) {
  return OSA_WaitOnSemaphore(sem, kOsaWaitForever);
}
