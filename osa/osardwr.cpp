#include <cerrno>

#include "osa/osalock.h"

namespace {

std::int32_t ResourceInit(OSA_ResourceLock* r) {
  r->held = 0;
  if (int rc = pthread_mutex_init(&r->guard, nullptr); rc != 0) return rc;
  if (int rc = pthread_cond_init(&r->freed, nullptr); rc != 0) {
    pthread_mutex_destroy(&r->guard);
    return rc;
  }
  return 0;
}

std::int32_t ResourceAcquire(OSA_ResourceLock* r) {
  if (int rc = pthread_mutex_lock(&r->guard); rc != 0) return rc;
  int rc = 0;
  while (r->held != 0 && rc == 0) rc = pthread_cond_wait(&r->freed, &r->guard);
  if (rc == 0) r->held = 1;
  pthread_mutex_unlock(&r->guard);
  return rc;
}

// Any thread may release; releasing a free lock leaves it free.
std::int32_t ResourceRelease(OSA_ResourceLock* r) {
  if (int rc = pthread_mutex_lock(&r->guard); rc != 0) return rc;
  r->held = 0;
  const int rc = pthread_cond_signal(&r->freed);
  pthread_mutex_unlock(&r->guard);
  return rc;
}

std::int32_t ResourceDestroy(OSA_ResourceLock* r) {
  pthread_cond_destroy(&r->freed);
  return pthread_mutex_destroy(&r->guard);
}

}  // namespace

extern "C" std::int32_t OSA_rw_init(OSA_RwLock* lock) {
  std::int32_t rc = OSA_mutex_init(&lock->readerCountMutex);
  if (rc == 0) rc = ResourceInit(&lock->resource);
  lock->readerCount = 0;
  lock->writerFlag = 0;
  return rc;
}

extern "C" std::int32_t OSA_rw_destroy(OSA_RwLock* lock) {
  // The reader-count mutex is never held between calls, so it is destroyed
  // without a release (unlocking a free mutex is undefined). The resource lock
  // is released first so that its holder may destroy the lock without unlocking.
  OSA_mutex_destroy(&lock->readerCountMutex);
  ResourceRelease(&lock->resource);
  const std::int32_t rc = ResourceDestroy(&lock->resource);
  lock->writerFlag = 0;
  lock->readerCount = 0;
  return rc;
}

extern "C" std::int32_t OSA_rw_rdlock(OSA_RwLock* lock) {
  OSA_mutex_lock(&lock->readerCountMutex);
  lock->readerCount += 1;
  // The first reader waits for a writer while holding the count mutex, so later
  // readers queue behind it.
  if (lock->readerCount == 1) ResourceAcquire(&lock->resource);
  return OSA_mutex_unlock(&lock->readerCountMutex);
}

extern "C" std::int32_t OSA_rw_wrlock(OSA_RwLock* lock) {
  const std::int32_t rc = ResourceAcquire(&lock->resource);
  lock->writerFlag = 1;
  return rc;
}

extern "C" std::int32_t OSA_rw_unlock(OSA_RwLock* lock) {
  if (lock->writerFlag != 0) {
    lock->writerFlag = 0;
    return ResourceRelease(&lock->resource);
  }
  OSA_mutex_lock(&lock->readerCountMutex);
  lock->readerCount -= 1;
  if (lock->readerCount == 0) ResourceRelease(&lock->resource);
  return OSA_mutex_unlock(&lock->readerCountMutex);
}

extern "C" std::int32_t OSA_rw_wr2rdlock(OSA_RwLock* lock) {
  // Not atomic: between the halves the lock is free and a waiting writer may win.
  OSA_rw_unlock(lock);
  return OSA_rw_rdlock(lock);
}
