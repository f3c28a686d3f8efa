#!/usr/bin/env bash
# Runs a representative handful of transcript cases of each program under
# valgrind's memcheck, in the Release build: any invalid read or write, use
# of an uninitialised value, or memory definitely lost fails the case (the
# report changes the exit status and standard error, which the transcript
# compares).  Leaks inside fontconfig, which the plotting library uses, are
# suppressed by tests/support/valgrind.supp.
#
#   tests/support/valgrind_transcripts.sh [BUILD_DIR]     (default: build)
#
# Set VALGRIND_ALL=1 to run every transcript case instead (a few minutes).
set -u
command -v valgrind > /dev/null || { echo "valgrind is not installed"; exit 1; }
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
transcripts=$top/tests/transcripts
run_transcript=$build/tests/run_transcript
[ -x "$run_transcript" ] || { echo "$run_transcript is missing: build with the tests"; exit 1; }

# Each case is program/case: normal runs, the refusals and input errors of
# each program, and the pictures (giza through cairo) of the two that draw.
cases=(
  periodscan/scargle_search
  periodscan/jurkevich_with_covers
  periodscan/two_searches_one_file
  periodscan/bad_data_record
  periodscan/end_of_input_mid_dialogue
  periodscan/more_than_10000_observations
  cyclefit/one_frequency_with_errors
  cyclefit/three_frequencies
  cyclefit/refit_same_file_then_new_file
  cyclefit/refused_files
  cyclefit/non_numeric_answer
  cyclefit/phaseplot_png_and_postscript
  cyclefit/phaseplot_end_of_input_at_device
  discriminant/example
  discriminant/specific
  discriminant/ends_after_line_33
  discriminant/refuse_zero_step
  discriminant/missing_input
  curveview/png_file
  curveview/null_device
  curveview/bad_record
  curveview/unwritable_device
  prewhiten/small_star
  prewhiten/files_that_fail
  prewhiten/usage_error
)
if [ "${VALGRIND_ALL:-0}" = 1 ]; then
  cases=()
  for program in periodscan cyclefit discriminant curveview prewhiten; do
    for dir in "$transcripts/$program"/*/; do
      dir=${dir%/}
      cases+=("$program/${dir##*/}")
    done
  done
fi

export TRANSCRIPT_WRAPPER="valgrind -q --suppressions=$top/tests/support/valgrind.supp --num-callers=50 \
--error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite"
export TRANSCRIPT_TIMEOUT=${TRANSCRIPT_TIMEOUT:-300}

failed=()
start=$SECONDS
for c in "${cases[@]}"; do
  program=${c%%/*}
  if ! out=$("$run_transcript" "$build/$program/$program" "$transcripts/$c" 2>&1); then
    echo "FAILED under valgrind: $c"
    echo "$out" | head -80
    failed+=("$c")
  else
    echo "ok  $c"
  fi
done
echo "${#cases[@]} cases under memcheck in $((SECONDS - start)) s; ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
