#include "osa/osalock.h"

// The facade's state lock is built on these two: what one holder wrote must be
// seen by the next, hence acquire on the exchange and release on the store.
extern "C" std::uint32_t OSA_test_and_set(std::uint32_t* word, void*, std::uint32_t value) {
  return __atomic_exchange_n(word, value, __ATOMIC_ACQ_REL);
}

extern "C" void OSA_clear_set(std::uint32_t* word) { __atomic_store_n(word, 1u, __ATOMIC_RELEASE); }
