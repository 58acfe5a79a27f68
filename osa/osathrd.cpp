#include "osa/osathrd.h"

#include <signal.h>

extern "C" std::int32_t OSA_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                                           void* arg) {
  return pthread_create(thread, attr, start, arg);
}
extern "C" std::int32_t OSA_pthread_equal(pthread_t a, pthread_t b) { return pthread_equal(a, b); }
extern "C" void OSA_pthread_exit(void* value) { pthread_exit(value); }
extern "C" std::int32_t OSA_pthread_join(pthread_t thread, void** value) { return pthread_join(thread, value); }
extern "C" std::int32_t OSA_pthread_kill(pthread_t thread, std::int32_t signal) {
  return pthread_kill(thread, signal);
}
extern "C" pthread_t OSA_pthread_self(void) { return pthread_self(); }
