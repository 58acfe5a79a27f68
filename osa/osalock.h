// Mutexes, the test-and-set word and the reader-writer lock.
#pragma once
#include <pthread.h>

#include <cstdint>

extern "C" {

// A platform mutex with default attributes; the caller owns its storage.
typedef pthread_mutex_t OSA_Mutex;

// The reader-writer lock's resource lock: the first reader takes it and the last
// reader, possibly another thread, releases it, so it cannot be an owner-checked
// mutex. A flag under a mutex and a condition variable is a lock of count 1
// that any thread may release.
struct OSA_ResourceLock {
  pthread_mutex_t guard;
  pthread_cond_t freed;
  int held;
};

struct OSA_RwLock {
  OSA_ResourceLock resource;  // held by the writer, or for all readers together
  OSA_Mutex readerCountMutex; // guards readerCount
  std::int32_t readerCount;
  std::int32_t writerFlag;
};

// Each returns 0 or the platform's error number unchanged.
std::int32_t OSA_mutex_init(OSA_Mutex* mutex);
std::int32_t OSA_mutex_destroy(OSA_Mutex* mutex);
std::int32_t OSA_mutex_lock(OSA_Mutex* mutex);
std::int32_t OSA_mutex_trylock(OSA_Mutex* mutex);
std::int32_t OSA_mutex_unlock(OSA_Mutex* mutex);

// Atomically stores value into *word and returns what it held (acquire ordering
// at least). spare is neither read nor written.
std::uint32_t OSA_test_and_set(std::uint32_t* word, void* spare, std::uint32_t value);
// Stores 1 into *word with release ordering; does not check who held it.
void OSA_clear_set(std::uint32_t* word);

std::int32_t OSA_rw_init(OSA_RwLock* lock);
std::int32_t OSA_rw_destroy(OSA_RwLock* lock);
std::int32_t OSA_rw_rdlock(OSA_RwLock* lock);
std::int32_t OSA_rw_wrlock(OSA_RwLock* lock);
std::int32_t OSA_rw_unlock(OSA_RwLock* lock);
std::int32_t OSA_rw_wr2rdlock(OSA_RwLock* lock);

}  // extern "C"
