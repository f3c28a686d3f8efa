#!/usr/bin/env bash
# Installs the Debian packages the suite needs (when some are missing), then
# configures and builds it in the given folder.
#   scripts/setup.sh BUILD_DIR [cmake options...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$1
shift

packages=(cmake g++ make pkg-config libgtest-dev giza-dev libbenchmark-dev clang libclang-rt-14-dev valgrind)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" > /dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

cmake -S "$top" -B "$top/$build" -DCMAKE_BUILD_TYPE=Release "$@" > /dev/null
cmake --build "$top/$build" -j "$(nproc)"
