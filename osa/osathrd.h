// Thin wrappers over the platform's thread operations; each passes its result back unchanged.
#pragma once
#include <pthread.h>

#include <cstdint>

extern "C" {
std::int32_t OSA_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg);
std::int32_t OSA_pthread_equal(pthread_t a, pthread_t b);
[[noreturn]] void OSA_pthread_exit(void* value);
std::int32_t OSA_pthread_join(pthread_t thread, void** value);
std::int32_t OSA_pthread_kill(pthread_t thread, std::int32_t signal);
pthread_t OSA_pthread_self(void);
}
