#!/usr/bin/env bash
# Installs, as root on Debian 12, every package the build and the tests need.
# Does nothing when all of them are already there.
set -euo pipefail

native_pkgs=(
  build-essential cmake pkg-config file binutils git
  gcc-multilib g++-multilib
  clang libclang-rt-14-dev llvm
  nettle-dev libcrypt-dev libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3 libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386
  xvfb xdotool x11-utils
)
i386_pkgs=(
  nettle-dev:i386 libcrypt-dev:i386 libgtest-dev:i386 libgmock-dev:i386
  libsqlite3-dev:i386
)

missing=()
for p in "${native_pkgs[@]}" "${i386_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing and only root can install them: ${missing[*]}" >&2
  exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
