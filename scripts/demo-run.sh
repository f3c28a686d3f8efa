#!/usr/bin/env bash
# The suite's main job on the bundled example data, with the programs of a
# built tree:
#   scripts/demo-run.sh BUILD_DIR OUTPUT_DIR
# periodscan finds the main frequency of a pulsating star, cyclefit fits it
# with its harmonic and draws the phase diagram, curveview draws a light
# curve and discriminant identifies a mode; the answers come from
# examples/answers/.  prewhiten extracts the frequencies of the real Kepler
# star KIC 7917485 with its defaults (a baseline for each of its segments,
# candidates by S/N), as the guide's worked example does, and tracks them
# through 10-day windows: the time delays reveal its companion's orbit.
# Then a TESS sector of an eclipsing binary with its orbital harmonics
# locked to one frequency.  Ends with a summary of what was found.
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

# 5. Frequency extraction from the Kepler light curve of KIC 7917485: the
#    table, the baselines of its segments, the residuals, the spectra and
#    the picture; then the frequencies tracked through 10-day windows: time
#    delays and the orbit.
cp "$top/examples/kic7917485_kepler_lc.txt" kic7917485.txt
"$bin/prewhiten/prewhiten" --unit mag --track 10 kic7917485.txt > prewhiten.log

# 6. A TESS sector of the eclipsing binary TIC 22876651: its two orbits as
#    two segments, the orbit's harmonics locked to one frequency near 0.6028
#    c/d (twice the dominant peak's period).
cp "$top/examples/hlsp_tess-spoc_tess_phot_0000000022876651-s0058_tess_v1_lc.fits" tic22876651.fits
"$bin/prewhiten/prewhiten" --unit flux --harmonics 0.6028 tic22876651.fits > prewhiten-tess.log

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
echo "prewhiten (examples/kic7917485_kepler_lc.txt: Kepler, 65312 points; the defaults):"
awk '/: [0-9]+ segments?[,;]/ || / frequencies; stop:/ { sub(/^[^:]*: /, ""); print "  " $0 }' prewhiten.log
awk '/^[^ ]*:   f[12] / { sub(/^[^:]*: +/, ""); print "  " $0 }' prewhiten.log
echo "  (published: f1 = 15.383003 c/d, 4.578 mmag; f2 = 20.262897 c/d, 2.388 mmag)"
awk '/: orbit \(|: no orbit claimed/ { sub(/^[^:]*: /, ""); print "  " $0 }' prewhiten.log
echo "  (published: P = 840 +- 21 d, a1 sin i / c = 7.05 +- 0.45 s; Murphy et al. 2016, ApJL 827, L17)"
echo "prewhiten (TESS sector 58 of the eclipsing binary TIC 22876651; --harmonics 0.6028):"
awk '/: [0-9]+ segments?[,;]/ || / frequencies; stop:/ || /harmonic series locked/ { sub(/^[^:]*: /, ""); print "  " $0 }' \
  prewhiten-tess.log
echo "  (TESS data from the MAST archive; TESS-SPOC products, Caldwell et al. 2020, RNAAS 4, 201)"
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
files kic7917485.frequencies.txt "frequencies of KIC 7917485 with their errors, aligned"
files kic7917485.frequencies.csv "the same table in full, for programs"
files kic7917485.png "its spectrum, residuals, window and light curve"
files kic7917485.baseline.csv "the baseline of each of its segments"
files kic7917485.residuals.dat "residuals, a time series for the classic programs"
files kic7917485.spectrum.csv "amplitude spectrum of the data and of the residuals"
files kic7917485.orbit.txt "the orbit from the time delays, and each frequency's modulation"
files kic7917485.track.png "amplitudes, phases and time delays in time, the orbit"
files kic7917485.timedelay.csv "the time delay of each 10-day window"
files tic22876651.frequencies.txt "the binary's frequencies, its orbit's harmonics labelled nf1"
files tic22876651.png "its spectrum, residuals, window and light curve"
files "*.log" "what each program wrote on the screen"
echo
echo "The first rows of kic7917485.frequencies.txt:"
# awk reads the whole table: head would close the pipe early, and under
# pipefail the writer's broken pipe would fail the demonstration.
awk '!/^#/ && shown++ < 6 { print "  " $0 }' kic7917485.frequencies.txt
