#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time, starting
# from its seed corpus in tests/fuzz/corpus/<target>/.
#   tests/fuzz/run_fuzzers.sh [SECONDS_PER_TARGET]   (default 30)
# The build goes to build-fuzz/ (or FUZZ_BUILD); FUZZ_JOBS sets the build's
# parallel jobs (default 2).  An input that crashes, leaks or times out is
# kept under <build>/artifacts/<target>/ and its path printed, so that it can
# be replayed with `<build>/tests/<target> <file>`.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
build=${FUZZ_BUILD:-$top/build-fuzz}
# The libraries are instrumented for coverage too (fuzzer-no-link), so that
# the fuzzer sees the paths taken in the program code, not only in the target.
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=ON -DFUZZ=ON \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link > /dev/null
targets=()
for src in "$top"/tests/fuzz/*.cpp; do
  targets+=("$(basename "$src" .cpp)")
done
buildlog=$(mktemp)
if ! cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target "${targets[@]}" > "$buildlog" 2>&1; then
  cat "$buildlog"; rm -f "$buildlog"; exit 1
fi
rm -f "$buildlog"
export LSAN_OPTIONS="suppressions=$top/tests/support/lsan.supp:print_suppressions=0"
status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  corpus=$(mktemp -d)
  [ -d "$top/tests/fuzz/corpus/$name" ] && cp -R "$top/tests/fuzz/corpus/$name/." "$corpus/"
  # Inputs up to 4096 bytes, or a little beyond the largest seed (whole
  # solution files are larger).
  max_len=4096
  largest=$(find "$corpus" -type f -printf '%s\n' | sort -n | tail -1)
  [ -n "$largest" ] && [ "$largest" -ge 3072 ] && max_len=$((largest + 1024))
  artifacts=$build/artifacts/$t
  mkdir -p "$artifacts"
  echo "== $t for ${seconds}s"
  # Standard input is empty and the programs' screen output is dropped
  # (-close_fd_mask=1); the sanitizers' reports go to standard error.
  if ! (cd "$corpus" && "$build/tests/$t" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
          -rss_limit_mb=2048 -close_fd_mask=1 -print_final_stats=0 \
          -artifact_prefix="$artifacts/" "$corpus" < /dev/null > "$corpus.log" 2>&1); then
    echo "$t FAILED:"; tail -40 "$corpus.log"; status=1
    for f in "$artifacts"/*; do [ -f "$f" ] && echo "reproducer kept: $f"; done
  else
    grep -E "^Done|#[0-9]+ *DONE" "$corpus.log" | tail -1 || true
  fi
  rm -rf "$corpus" "$corpus.log"
done
exit $status
