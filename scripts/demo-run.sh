#!/usr/bin/env bash
# The suite's main job on the bundled example data, with the programs of a
# built tree:
#   scripts/demo-run.sh BUILD_DIR OUTPUT_DIR
# periodscan finds the main frequency of a pulsating star, cyclefit fits it
# with its harmonic and draws the phase diagram, curveview draws a light
# curve and discriminant identifies a mode; the answers come from
# examples/answers/.  Ends with a summary of what was found.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$1" && pwd)
out=$2
mkdir -p "$out"
out=$(cd "$out" && pwd)
cp "$top/examples/star.dat" "$top/examples/ster2.dat" "$top/examples/discriminant.in" "$out/"
cd "$out"
unset DISPLAY

# 1. Frequency search: Scargle periodogram from 0.5 to 25 c/d.
"$bin/periodscan/periodscan" < "$top/examples/answers/periodscan.txt" > periodscan.log
read -r amplitude frequency period < <(awk '/Maximum:/ { print $2, $5, $8 }' periodscan.log)

# 2. Harmonic fit at that frequency with its first harmonic, and the phase
#    diagram drawn into phase.png (and the PostScript file).
sed "s/FREQUENCY/$frequency/" "$top/examples/answers/cyclefit.txt" > cyclefit.answers
"$bin/cyclefit/cyclefit" < cyclefit.answers > cyclefit.log
fracvar=$(awk '/^fracvar =/ { print $3 }' cyclefit.log)
solution=$(ls solution.*.fv)

# 3. The light curve of ster2.dat.
"$bin/curveview/curveview" < "$top/examples/answers/curveview.txt" > curveview.log

# 4. Mode identification from the moment amplitudes.
"$bin/discriminant/discriminant" > discriminant.log
read -r l m discr < <(awk '/Table with the final results/ { table = 1 } table && $1 == "1" { print $2, $3, $4; exit }' discriminant.log)

files() {  # name, what
  printf '  %-28s %s\n' "$1" "$2"
}
echo
echo "The suite's main job on the bundled data, in $out"
echo
echo "periodscan (Scargle periodogram of star.dat, 0.5 to 25 c/d):"
awk -v f="$frequency" -v p="$period" -v a="$amplitude" \
  'BEGIN { printf "  highest peak at %.4f c/d (period %.5f d), amplitude %.4f mag\n", f, p, a }'
echo "cyclefit (that frequency with its first harmonic):"
awk '/amplitude:/ { printf "  %8.4f c/d: amplitude %.4f mag (s.e. %s)\n", $3, $5, $7 }' cyclefit.log
awk -v v="$fracvar" 'BEGIN { printf "  variance reduction %.2f %%\n", 100 * v }'
echo "discriminant (examples/discriminant.in):"
echo "  identified mode (l, m) = ($l, $m), discriminant $discr"
echo
echo "Files:"
files star.scargle "periodogram: frequency and amplitude"
files "$solution" "fit report, residuals and the fitted curve"
files "${solution%.fv}.res" "residuals, a time series again"
files "${solution%.fv}.ps" "phase diagram, PostScript"
files phase.png "phase diagram"
files fort.15 "summary of the fits"
files lightcurve.png "light curve of ster2.dat"
files example.out "mode identification, every couple"
files "*.log" "what each program wrote on the screen"
