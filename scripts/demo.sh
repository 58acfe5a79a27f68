#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the main job: a login
# between the two real modules through the framework stand-in.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset i386 >/dev/null
cmake --build --preset i386 -j"$(nproc)"
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)"
if [ ! -x build/native/platform/vesk/veskhost ]; then
  echo "Built. The main job, a login between pwdlcm and pwdlsm run by veskhost, is not built yet."
  exit 0
fi
exec bash scripts/login-demo.sh
