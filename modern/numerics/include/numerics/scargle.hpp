// The Scargle amplitude at one frequency by direct sums over the
// observations: the definition of the amplitude spectrum, for the
// frequencies where the spectrum's closed form loses digits and for the
// extraction's refinement of a peak between grid frequencies.
#pragma once

#include <span>

namespace numerics {

// scargle_amplitude: sqrt(4 P / n), P the classical Lomb-Scargle power of
// the centred values at one frequency (Scargle 1982, ApJ 263, 835), in the
// time-shifted form.
//   Given:    cycles   each observation's phase f (t_k - t0) in cycles, any
//                      origin t0, |phase| < 2^49
//             centred  the values minus their mean, one per phase
//   Returned: the amplitude, in the unit of the values; 0 for no
//             observations
//   Notes: 1. First W = sum exp(-2 i theta_k) is summed and the phases are
//             shifted by half its angle, which makes the shifted sines and
//             cosines orthogonal; then x cos, x sin, cos^2 and sin^2 of the
//             shifted phases are summed, in the observations' order.
//             sin^2 sums small squares without cancellation, so the
//             amplitude keeps its digits where all phases nearly coincide
//             (near zero frequency).
//          2. Where the shifted sines all vanish (every phase equal) the
//             sine term is not seen by the data and contributes nothing.
//          3. Cost: two passes of sines and cosines over the observations,
//             in the widest vector form the processor has.
double scargle_amplitude(std::span<const double> cycles, std::span<const double> centred);

// scargle_amplitudes: the amplitudes at three frequencies (one set of
// phases each) of the same centred values, each the bits scargle_amplitude
// gives; their sums run side by side, so the three cost little more than
// one.
void scargle_amplitudes(const std::span<const double> (&cycles)[3], std::span<const double> centred,
                        double (&amplitudes)[3]);

}  // namespace numerics
