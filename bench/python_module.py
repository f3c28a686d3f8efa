#!/usr/bin/python3
"""The Python module against the program, and its spectrum against
astropy's LombScargle, in one run.

    /usr/bin/python3 bench/python_module.py BUILD_DIR [POINTS]

On the first POINTS (45000) observations of the bundled Kepler star KIC
7917485, written to a text file that both read:

1. prewhiten on the file, and pulsation.read + prewhiten + to_csv on the
   same file: wall times, the files compared byte for byte, and what the
   binding adds to the work (the module's call less the analysis itself,
   timed inside the extension without the interpreter's lock).
2. The amplitude spectrum on the program's grid: the module's fast (nufft)
   and exact methods, and astropy.timeseries.LombScargle's fast method on
   the same frequencies (power normalised as 'psd', the classical
   periodogram P, so that the amplitude is sqrt(4 P / N)); each one's
   largest error relative to the highest peak of the exact spectrum.
   astropy's exact method ('cython') is timed on every 100th frequency and
   scaled to the grid.
"""

import filecmp
import os
import pathlib
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np

build = pathlib.Path(sys.argv[1]).resolve()
points = int(sys.argv[2]) if len(sys.argv) > 2 else 45000
sys.path.insert(0, str(build / "python"))
import pulsation  # noqa: E402

top = pathlib.Path(__file__).resolve().parents[1]
work = pathlib.Path(tempfile.mkdtemp(prefix="python_module."))
star = work / "kic7917485.txt"
lines = (top / "examples" / "kic7917485_kepler_lc.txt").read_text().splitlines(keepends=True)
star.write_text("".join(lines[:points]))
print(f"star: the first {points} points of KIC 7917485 (--unit mag), {os.cpu_count()} cores")

# --- 1. the module against the program ---------------------------------------
def child_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


# Wall times and processor times (every thread's): on a machine shared
# with other work the processor times are the fairer comparison.
cpu = child_cpu()
start = time.perf_counter()
subprocess.run([str(build / "prewhiten" / "prewhiten"), "--unit", "mag", "--plot", "none", "-o",
                str(work / "program"), str(star)], check=True, stdout=subprocess.DEVNULL)
program_seconds = time.perf_counter() - start
program_cpu = child_cpu() - cpu

cpu = time.process_time()
start = time.perf_counter()
curve = pulsation.read(star, unit="mag")
read_done = time.perf_counter()
result = pulsation.prewhiten(curve, name=str(star))
analysis_done = time.perf_counter()
written = result.to_csv(work / "module", "kic7917485")
module_seconds = time.perf_counter() - start
module_cpu = time.process_time() - cpu

same = all(filecmp.cmp(p, work / "program" / pathlib.Path(p).name, shallow=False) for p in written)
call = analysis_done - read_done
overhead = call - result.seconds
print(f"frequencies: {len(result.table)}, stop: {result.stop}")
print(f"program (read, analyse, write):            {program_seconds:8.2f} s wall, {program_cpu:8.2f} s processor")
print(f"module  (read, prewhiten, to_csv):         {module_seconds:8.2f} s wall, {module_cpu:8.2f} s processor "
      f"({100 * (module_cpu / program_cpu - 1):+.2f} %)")
print(f"module  prewhiten() call:                  {call:8.3f} s, of which the analysis {result.seconds:.3f} s")
print(f"binding overhead (call less the analysis): {overhead * 1000:8.2f} ms = {100 * overhead / result.seconds:.4f} %"
      " of the work")
print(f"files equal to the program's, byte for byte: {'yes' if same else 'NO'} ({len(written)} files)")

# --- 2. the spectrum against astropy -------------------------------------------
t, y = curve.times, curve.values


def timed(function):
    start = time.perf_counter()
    value = function()
    return value, time.perf_counter() - start


(f, exact), exact_seconds = timed(lambda: pulsation.amplitude_spectrum(t, y, method="exact"))
(_, fast), fast_seconds = timed(lambda: pulsation.amplitude_spectrum(t, y))
peak = np.nanmax(exact)
print(f"\nspectrum: {f.size} frequencies from {f[0]:.6f} to {f[-1]:.4f} c/d, N = {t.size}")
print(f"module nufft (tolerance 1e-9):  {fast_seconds:8.3f} s, largest error {np.nanmax(abs(fast - exact)) / peak:.2e}"
      " of the highest peak")
print(f"module exact:                   {exact_seconds:8.3f} s (the reference)")
try:
    from astropy.timeseries import LombScargle
except ImportError:
    print("astropy: not installed (python3-astropy)")
    sys.exit(0)
periodogram = LombScargle(t, y, fit_mean=False, center_data=True, normalization="psd")
power, astropy_seconds = timed(lambda: periodogram.power(f, method="fast"))
astropy_fast = np.sqrt(4 * power / t.size)
print(f"astropy fast:                   {astropy_seconds:8.3f} s, largest error "
      f"{np.nanmax(abs(astropy_fast - exact)) / peak:.2e} of the highest peak")
subset = slice(0, None, 100)
power, subset_seconds = timed(lambda: periodogram.power(f[subset], method="cython"))
astropy_exact = np.sqrt(4 * power / t.size)
print(f"astropy exact (cython):         {subset_seconds * f.size / f[subset].size:8.1f} s for the grid "
      f"(measured on {f[subset].size} frequencies), largest difference from the module's exact "
      f"{np.nanmax(abs(astropy_exact - exact[subset])) / peak:.2e}")
