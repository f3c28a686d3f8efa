#!/usr/bin/env bash
# Runs one transcript case: the program in a fresh temporary folder with the
# case's input files, fed the case's answers on standard input, with no
# display.  Standard output, standard error, the exit status and every file
# the run leaves behind are compared exactly with the case's expectations.
#
#   run_transcript.sh PROGRAM CASE_DIR
#
# A case folder holds:
#   args               the command-line arguments, one per line (no file: none)
#   stdin              the answers (no file: standard input is empty)
#   in/                files copied into the working folder before the run
#   expected/stdout, expected/stderr, expected/status
#   expected/files/    every file the run must leave, byte for byte
#   expected/nonempty  names of files that must exist and not be empty,
#                      contents not compared (pictures)
# Any other file the run leaves, or an input file it changes, fails the case.
#
# With TRANSCRIPT_UPDATE=1 the expectations are rewritten from the run
# instead; review every changed line before committing it.
# TRANSCRIPT_WRAPPER runs the program under another command (for instance
# valgrind); anything the wrapper reports on standard error fails the case.
set -u
program=$(realpath "$1")
case_dir=$(cd "$2" && pwd)
expected=$case_dir/expected
work=$(mktemp -d)
actual=$(mktemp -d)
trap 'rm -rf "$work" "$actual"' EXIT

[ -d "$case_dir/in" ] && cp -R "$case_dir/in/." "$work/"
answers=/dev/null
[ -f "$case_dir/stdin" ] && answers=$case_dir/stdin
args=()
[ -f "$case_dir/args" ] && mapfile -t args < "$case_dir/args"

# A program that loops or floods fails instead of hanging: a time limit, and
# a cap on the size of every file it writes (standard output included).
(
  cd "$work" || exit 1
  unset DISPLAY
  ulimit -f 409600
  # shellcheck disable=SC2086
  timeout "${TRANSCRIPT_TIMEOUT:-120}" ${TRANSCRIPT_WRAPPER:-} "$program" "${args[@]}" < "$answers" > "$actual/stdout" 2> "$actual/stderr"
  echo $? > "$actual/status"
)

nonempty=()
[ -f "$expected/nonempty" ] && mapfile -t nonempty < "$expected/nonempty"
is_picture() { local n; for n in "${nonempty[@]}"; do [ "$n" = "$1" ] && return 0; done; return 1; }

# The files the run produced or changed.
produced=()
while IFS= read -r -d '' f; do
  f=${f#./}
  if [ -f "$case_dir/in/$f" ] && cmp -s "$case_dir/in/$f" "$work/$f"; then continue; fi
  produced+=("$f")
done < <(cd "$work" && find . -type f -print0 | sort -z)

if [ "${TRANSCRIPT_UPDATE:-0}" = 1 ]; then
  mkdir -p "$expected"
  cp "$actual/stdout" "$actual/stderr" "$actual/status" "$expected/"
  rm -rf "$expected/files"
  for f in "${produced[@]}"; do
    is_picture "$f" && continue
    mkdir -p "$(dirname "$expected/files/$f")"
    cp "$work/$f" "$expected/files/$f"
  done
  echo "updated $case_dir"
  exit 0
fi

failed=0
compare() {  # compare LABEL EXPECTED ACTUAL
  if [ ! -f "$2" ]; then echo "--- $1: no expectation ($2)"; failed=1; return; fi
  if ! cmp -s "$2" "$3"; then
    echo "--- $1 differs (expected vs actual):"
    diff -u "$2" "$3" | head -60
    failed=1
  fi
}
compare "standard output" "$expected/stdout" "$actual/stdout"
compare "standard error" "$expected/stderr" "$actual/stderr"
compare "exit status" "$expected/status" "$actual/status"

for f in "${produced[@]}"; do
  if is_picture "$f"; then
    [ -s "$work/$f" ] || { echo "--- $f is empty"; failed=1; }
  elif [ -f "$expected/files/$f" ]; then
    compare "file $f" "$expected/files/$f" "$work/$f"
  else
    echo "--- unexpected file left by the run: $f"; failed=1
  fi
done
if [ -d "$expected/files" ]; then
  while IFS= read -r -d '' f; do
    f=${f#./}
    [ -f "$work/$f" ] || { echo "--- expected file not produced: $f"; failed=1; }
  done < <(cd "$expected/files" && find . -type f -print0)
fi
for f in "${nonempty[@]}"; do
  [ -f "$work/$f" ] || { echo "--- expected picture not produced: $f"; failed=1; }
done

exit $failed
