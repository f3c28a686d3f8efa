#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time, starting
# from its seed corpus in tests/fuzz/corpus/<target>/.
#   tests/fuzz/run_fuzzers.sh [SECONDS_PER_TARGET]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
build=$top/build-fuzz
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=ON -DFUZZ=ON > /dev/null
targets=()
for src in "$top"/tests/fuzz/*.cpp; do
  targets+=("$(basename "$src" .cpp)")
done
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  corpus=$(mktemp -d)
  [ -d "$top/tests/fuzz/corpus/$name" ] && cp -R "$top/tests/fuzz/corpus/$name/." "$corpus/"
  echo "== $t for ${seconds}s"
  if ! (cd "$corpus" && "$build/tests/$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
          -rss_limit_mb=2048 -print_final_stats=0 "$corpus" > "$corpus.log" 2>&1); then
    echo "$t FAILED:"; tail -40 "$corpus.log"; status=1
  else
    grep -E "^Done|#[0-9]+ *DONE" "$corpus.log" | tail -1 || true
  fi
  rm -rf "$corpus" "$corpus.log"
done
exit $status
