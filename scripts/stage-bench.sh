#!/usr/bin/env bash
# The benchmarks once, in a short mode that only shows that every one of them
# runs (both as their own program and as `veskhost bench`); the numbers of such
# a run mean nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target wistra_bench_run veskhost
build/native/tests/bench/wistra_bench --quick
build/native/platform/vesk/veskhost/veskhost bench --short
