#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the main job: logins
# between the two real modules (the i386 deliverables) through the framework
# stand-in, on a fresh directory file holding one user with a salted SHA-1 hash.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in i386 native; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
echo
exec build/i386/platform/vesk/veskhost/veskhost demo
