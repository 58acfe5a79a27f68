#include "osa/osalock.h"

extern "C" std::int32_t OSA_mutex_init(OSA_Mutex* mutex) { return pthread_mutex_init(mutex, nullptr); }
extern "C" std::int32_t OSA_mutex_destroy(OSA_Mutex* mutex) { return pthread_mutex_destroy(mutex); }
extern "C" std::int32_t OSA_mutex_lock(OSA_Mutex* mutex) { return pthread_mutex_lock(mutex); }
extern "C" std::int32_t OSA_mutex_trylock(OSA_Mutex* mutex) { return pthread_mutex_trylock(mutex); }
extern "C" std::int32_t OSA_mutex_unlock(OSA_Mutex* mutex) { return pthread_mutex_unlock(mutex); }
