#!/usr/bin/env bash
# Installs what is missing, builds the deliverable (i386) and development
# (native) builds, and runs every test in both; then the sanitizer, fuzz,
# launcher and benchmark runs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/setup.sh

build() {  # preset
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$jobs"
}

for preset in i386 native; do
  echo "== $preset: build and test"
  build "$preset"
  ctest --preset "$preset" -j"$jobs"
done

for stage in scripts/stage-*.sh; do
  [ -e "$stage" ] || continue
  echo "== $(basename "$stage" .sh)"
  bash "$stage"
done
echo "== all tests passed"
