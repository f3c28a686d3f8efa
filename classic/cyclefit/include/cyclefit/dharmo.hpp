#pragma once

namespace cyclefit {

// dharmo: the basis of the harmonic model at the shifted time tt.
//   Returned: basisvals(1) = 1, then for every frequency i of oud and every
//             harmonic j = 1..nharm(i) the pair sin(j theta), cos(j theta),
//             theta = (twopi tt) freq(i), with the suite's two pi
//             (common/constants.hpp), whose digits the fitted phases
//             carry in their last bits.
//   Notes: 1. nbasis is not consulted: the count comes from oud alone, so
//             basisvals must hold 1 + 2 (nharm(1) + ... + nharm(nfreq)).
//          2. Each harmonic is its own sin and cos of j theta (no recurrence
//             from the first harmonic), so that every value is the library's
//             correctly reduced one.
void dharmo(double tt, double* basisvals, int nbasis);

}  // namespace cyclefit
