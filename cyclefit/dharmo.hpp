#pragma once

namespace cyclefit {

// Two pi as the fit, the phases and the report use it: the double nearest
// to this decimal, a few units in the last place above the double nearest
// to 2 pi.  Changing the digits changes the fitted phases in their last bits.
constexpr double twopi = 6.28318530717959;
constexpr double pi = 3.141592653589795;

// dharmo: the basis of the harmonic model at the shifted time tt.
//   Returned: basisvals(1) = 1, then for every frequency i of oud and every
//             harmonic j = 1..nharm(i) the pair sin(j theta), cos(j theta),
//             theta = (twopi tt) freq(i).
//   Notes: 1. nbasis is not consulted: the count comes from oud alone, so
//             basisvals must hold 1 + 2 (nharm(1) + ... + nharm(nfreq)).
//          2. Each harmonic is its own sin and cos of j theta (no recurrence
//             from the first harmonic), so that every value is the library's
//             correctly reduced one.
void dharmo(double tt, double* basisvals, int nbasis);

}  // namespace cyclefit
