#!/usr/bin/env bash
# Compiles every source of the libraries and the programs (not the tests)
# for a 64-bit ARM processor, linking nothing: the suite must build on
# processors other than x86, where the fast kernels take their portable
# forms.  The build is the suite's own, configured with the toolchain file
# cmake/aarch64-linux-gnu.cmake (which says how) in a folder of its own.
#   scripts/cross-compile-check.sh [BUILD_DIR]   (default build-aarch64)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-aarch64}
if ! command -v aarch64-linux-gnu-g++ > /dev/null; then
  echo "cross-compile check: aarch64-linux-gnu-g++ is not installed (Debian package g++-aarch64-linux-gnu)" >&2
  exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake -S "$top" -B "$build" --toolchain "$top/cmake/aarch64-linux-gnu.cmake" -DCMAKE_BUILD_TYPE=Release \
       -DBUILD_TESTING=OFF > "$log" 2>&1 ||
   ! cmake --build "$build" -j "$(nproc)" >> "$log" 2>&1; then
  cat "$log" >&2
  echo "cross-compile check: the sources do not all compile for aarch64 (above)" >&2
  exit 1
fi
count=$(find "$build" -name '*.o' | wc -l)
echo "cross-compile check: $count sources of the libraries and programs compile for aarch64"
