#!/usr/bin/env bash
# The tests that run attempts, locks or the broker on several threads, under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$(nproc)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --preset tsan -j"$(nproc)" -L concurrency
