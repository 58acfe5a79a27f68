// Test-only: a module made of one flavour of the lifecycle and the facade under
// it, with two exported questions for the test that loads it. Its constructor
// and destructor are the real ones.
#include <cstdint>

#include "ccs/ccs.h"
#include "method/lifecycle.h"

extern "C" __attribute__((visibility("default"))) std::int32_t probe_activeThreadCount() {
  return activeThreadCount.load();
}

// The status a crypto call gets: 0 while the facade is up, -1496 while it is down.
extern "C" __attribute__((visibility("default"))) std::int32_t probe_CreateContext() {
  std::uint32_t context = 0;
  const std::int32_t rc = CCS_CreateContext(0, &context);
  if (rc == 0) (void)CCS_DestroyContext(context);
  return rc;
}
