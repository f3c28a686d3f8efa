#!/usr/bin/env bash
# Compiles every source file of the programs (not the tests) for a 64-bit
# ARM processor, without linking: the suite must build on processors other
# than x86, where the fast kernels take their portable forms.
#   scripts/cross-compile-check.sh [COMPILER]   (default aarch64-linux-gnu-g++)
# Headers of the libraries the programs call (giza, ...) are taken from the
# host's /usr/include after the cross compiler's own: only their
# declarations are needed to compile.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cxx=${1:-aarch64-linux-gnu-g++}
if ! command -v "$cxx" > /dev/null; then
  echo "cross-compile check: $cxx is not installed (Debian package g++-aarch64-linux-gnu)" >&2
  exit 1
fi
# The folders of the programs and their libraries, as the build lists them.
mapfile -t folders < <(sed -n 's/^suite_\(library\|program\)(\([a-z0-9_]*\)).*/\2/p' "$top/CMakeLists.txt")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
count=0
for folder in "${folders[@]}"; do
  for src in "$top/$folder"/*.cpp; do
    [ -e "$src" ] || continue
    count=$((count + 1))
    if ! "$cxx" -std=c++20 -O2 -Wall -Wextra -ffp-contract=off -fno-fast-math -I "$top" -idirafter /usr/include \
         -c "$src" -o "$out/$count.o"; then
      echo "cross-compile check: ${src#"$top"/} does not compile with $cxx" >&2
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "cross-compile check: $count sources of ${folders[*]} compile with $cxx"
exit $status
