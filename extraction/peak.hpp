// The candidate of each step of the extraction: the highest peak of the
// residual spectrum away from what is already taken, its frequency refined
// off the grid, and the single sinusoid it stands for.
#pragma once

#include <cstddef>
#include <span>

#include "extraction/fit.hpp"
#include "spectrum/spectrum.hpp"

namespace extraction {

// A frequency interval the search passes over: [centre - half, centre + half].
struct Zone {
    double centre = 0.0;
    double half = 0.0;
};

constexpr std::size_t no_peak = static_cast<std::size_t>(-1);

// highest_peak: the grid index of the highest local maximum of the spectrum
// (higher than both neighbours, so never an end of the grid) outside every
// zone; no_peak when there is none.
std::size_t highest_peak(const spectrum::Grid& grid, std::span<const double> amplitude, std::span<const Zone> zones);

// scargle_amplitude: sqrt(4 P(f) / N), P the classical Lomb-Scargle power
// of the mean-subtracted values at frequency f: the definition of the
// spectrum's amplitude, at any frequency.
//   Given:    tau     times (any origin), days
//             values  the series (its mean is removed here)
//             f       c/d
double scargle_amplitude(std::span<const double> tau, std::span<const double> values, double f);

// refine_peak: the frequency of the maximum of the continuous amplitude
// near grid index j (Brent's method from GSL on [f(j-1), f(j+1)], to 1e-4
// of the grid step: 1e-5 / T at the default oversampling, below the
// frequency error of any peak with S/N under 10^4).  The grid frequency itself when the exact
// amplitude does not peak inside that interval.  The sums of each
// amplitude are shared over `threads` threads in a fixed number of parts:
// the result does not depend on the number of threads.
double refine_peak(const spectrum::Grid& grid, std::size_t j, std::span<const double> tau,
                   std::span<const double> values, int threads = 1);

// The least-squares sinusoid at a fixed frequency on top of a constant,
// and the fractional drop z = 1 - chi2(constant + sinusoid) / chi2(constant)
// of the (weighted) sum of squares it gives.
struct SingleSinusoid {
    Sinusoid sinusoid;  // amplitude >= 0, phase in [0, 1)
    double z = 0.0;
};

SingleSinusoid single_sinusoid(const Series& series, double f);

}  // namespace extraction
