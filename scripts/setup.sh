#!/usr/bin/env bash
# Installs the Debian packages the suite needs (when some are missing), then
# configures and builds it in the given folder.
#   scripts/setup.sh [--test-tools] BUILD_DIR [cmake options...]
# Without --test-tools: what building and running the programs needs.  With
# it, also what the tests, benchmarks, fuzzing, the memory checks and the
# cross-compilation check need.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake g++ make pkg-config giza-dev libcfitsio-dev libfftw3-dev libgsl-dev libopenblas-dev libcli11-dev zlib1g-dev
          pybind11-dev python3-dev python3-numpy)
test_tools=(libgtest-dev clang libclang-rt-14-dev valgrind g++-aarch64-linux-gnu
            python3-pytest python3-astropy python3-venv python3-setuptools python3-wheel)
testing=OFF
if [ "${1:-}" = --test-tools ]; then
  packages+=("${test_tools[@]}")
  testing=ON
  shift
fi
build=$1
shift

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

cmake -S "$top" -B "$top/$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=$testing "$@" > /dev/null
cmake --build "$top/$build" -j "$(nproc)"
