#!/usr/bin/env bash
# Runs the demonstration on the bundled data in a temporary folder and checks
# that every promised output exists and that it finds what the example data
# were built from: the main frequency 7.2345 c/d and the mode (l, m) = (2, 1);
# and, in the real Kepler light curve of KIC 7917485, its two published modes
# 15.383003 and 20.262897 c/d, first and second, its 54 segments, and the
# orbit its time delays reveal (P within 10 % of 840 d).
#   demo_test.sh BUILD_DIR
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! "$top/scripts/demo-run.sh" "$1" "$out" > "$out/summary.txt" 2>&1; then
  echo "the demonstration failed:"; cat "$out/summary.txt"; exit 1
fi
failed=0
for f in star.scargle solution.7.23400.fv solution.7.23400.res solution.7.23400.ps fort.15 phase.png \
         lightcurve.png example.out kic7917485.frequencies.csv kic7917485.frequencies.txt \
         kic7917485.residuals.dat kic7917485.baseline.csv kic7917485.spectrum.csv kic7917485.png \
         kic7917485.orbit.txt kic7917485.track.png kic7917485.timedelay.csv; do
  [ -s "$out/$f" ] || { echo "missing or empty: $f"; failed=1; }
done
grep -q "highest peak at 7.234[0-9] c/d" "$out/summary.txt" || { echo "main frequency not found"; failed=1; }
grep -q "identified mode (l, m) = (2, 1)" "$out/summary.txt" || { echo "mode (2, 1) not identified"; failed=1; }
grep -q "^  54 segments, " "$out/summary.txt" || { echo "the segments of KIC 7917485 not shown"; failed=1; }
grep -q "^  f1 *15\.38300[0-9]* c/d" "$out/summary.txt" || { echo "f1 of KIC 7917485 not found"; failed=1; }
grep -q "^  f2 *20\.26289[0-9]* c/d" "$out/summary.txt" || { echo "f2 of KIC 7917485 not found"; failed=1; }
grep -q "^ *1  15\.383002" "$out/summary.txt" || { echo "the table's first row is not shown"; failed=1; }
grep -q "^  orbit ([a-z]*): P = [78][0-9][0-9] " "$out/summary.txt" ||
  { echo "the orbit of KIC 7917485 not found"; failed=1; }
[ "$(head -c 4 "$out/kic7917485.png" | tail -c 3)" = PNG ] || { echo "kic7917485.png is not a PNG"; failed=1; }
[ $failed = 0 ] || cat "$out/summary.txt"
exit $failed
