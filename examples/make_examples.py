#!/usr/bin/env python3
"""Remakes the synthetic example data of the suite.

star.dat   light curve of a multi-periodic pulsating star: eight nights of
           2-minute photometry with weather gaps, three frequencies (the
           first with its first harmonic) and white noise; times are
           heliocentric Julian dates; columns time, magnitude, error.
ster2.dat  a light curve (Hp in mmag against HJD - 2450000) whose points fall
           in the window curveview draws.

Run from this folder: python3 make_examples.py
"""
import math
import random

random.seed(20261207)

# Frequencies (c/d), semi-amplitudes (mag) and phases (cycles) of the model.
MODES = [
    (7.2345, 0.0450, 0.10),
    (2 * 7.2345, 0.0120, 0.35),  # first harmonic of the main mode
    (9.8765, 0.0210, 0.60),
    (11.4321, 0.0080, 0.85),
]
MEAN_MAG = 8.4520
NOISE = 0.0040
EPOCH = 2455200.0


def star_magnitude(t):
    m = MEAN_MAG
    for f, a, phi in MODES:
        m += a * math.cos(2 * math.pi * (f * (t - EPOCH) - phi))
    return m


def write_star():
    rows = []
    for night in range(10):
        if night in (4, 7):  # nights lost to clouds
            continue
        start = EPOCH + night + 0.30 + random.uniform(-0.02, 0.02)
        length = random.uniform(0.30, 0.38)
        t = start
        while t < start + length:
            if not (night == 2 and 0.1 < t - start < 0.16):  # a passing cloud
                err = NOISE * random.uniform(0.8, 1.3)
                rows.append((t, star_magnitude(t) + random.gauss(0.0, err), err))
            t += 1.5 / 1440.0
    with open("star.dat", "w") as f:
        f.write("Example delta Scuti star, V (mag), HJD; columns: time, magnitude, error\n")
        for t, m, e in rows:
            f.write(f"{t:.5f} {m:.4f} {e:.4f}\n")
    return len(rows)


def write_ster2():
    with open("ster2.dat", "w") as f:
        f.write("Example light curve: HJD - 2450000, Hp (mmag)\n")
        t = 50691.05
        while t < 50692.95:
            if not (50691.6 < t < 50692.3):
                hp = -75.0 + 45.0 * math.sin(2 * math.pi * 5.3 * (t - 50691.0)) + random.gauss(0.0, 4.0)
                f.write(f"{t:.5f} {hp:.2f}\n")
            t += 0.004


if __name__ == "__main__":
    print("star.dat:", write_star(), "observations")
    write_ster2()
