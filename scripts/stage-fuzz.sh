#!/usr/bin/env bash
# Every fuzz target for a bounded time from its committed corpus (FUZZ_SECONDS each).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
[ -d tests/fuzz ] || { echo "no fuzz targets"; exit 0; }
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
found=0
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  # The run adds to a copy, so the committed corpus stays as it is.
  mkdir -p "$work/$name"
  if [ -d "tests/fuzz/corpus/$name" ]; then cp -r "tests/fuzz/corpus/$name/." "$work/$name/"; fi
  echo "-- $name for ${seconds}s"
  rc=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/$name-" "$work/$name" \
    >"$work/$name.log" 2>&1 || rc=$?
  grep -E '^(stat::number_of_executed_units|Done)' "$work/$name.log" || true
  if [ "$rc" -ne 0 ]; then
    tail -n 60 "$work/$name.log"
    echo "$name found a fault"
    exit 1
  fi
done
[ "$found" -eq 1 ] || echo "no fuzz targets built"
