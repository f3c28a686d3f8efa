// The candidate of each step of the extraction: the highest peak of the
// residual spectrum away from what is already taken, its frequency refined
// off the grid, and the single sinusoid it stands for.
#pragma once

#include <cstddef>
#include <span>

#include "extraction/fit.hpp"
#include "extraction/statistics.hpp"
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
std::size_t highest_peak(const spectrum::Grid& grid, std::span<const double> amplitude, std::span<const Zone> zones,
                         int threads = 1);

// highest_significant_peak: the grid index of the highest local maximum of
// the spectrum (as highest_peak counts them) outside every zone whose
// amplitude reaches `snr` times the local noise there; no_peak when none
// does.  A peak is judged against the noise around it before it is chosen,
// so a red-noise hump at low frequency, high but not significant, does not
// hide a lower significant peak elsewhere.
//   Given:    grid, amplitude  the spectrum
//             noise            the local noise at each grid frequency
//                              (local_noise); a peak where it is 0 reaches
//                              any limit
//             snr              the limit, amplitude over noise
std::size_t highest_significant_peak(const spectrum::Grid& grid, std::span<const double> amplitude,
                                     std::span<const double> noise, double snr, std::span<const Zone> zones);

// highest_significant_peak: the same, the noise beside each peak from the
// spectrum's sums (NoiseSums::beside with this box and core), found on at
// most `threads` threads; the same peak on any number.
std::size_t highest_significant_peak(const spectrum::Grid& grid, std::span<const double> amplitude,
                                     const NoiseSums& sums, const NoiseBox& box, double core, double snr,
                                     std::span<const Zone> zones, int threads);

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
// amplitude does not peak inside that interval.
//   Given:    grid, j      the grid and the peak's index
//             tau, values  times (days) and the series
//             threads      at most this many threads (the result does not
//                          depend on it)
//   Notes: 1. The amplitude is evaluated from power series in the offset
//             from f(j) of its two sums, Z = sum x exp(-2 pi i f tau) and
//             W = sum exp(-4 pi i f tau), summed in one pass over the
//             observations (in blocks of fixed points added in order);
//             each step of the search then costs a few dozen terms.  The
//             amplitudes equal the direct sums' (refine_peak_direct) to
//             about 1e-13 relative, so the search takes the same steps.
//          2. Where the series would need too many terms (a grid step of
//             more than about 1 / T) or the closed form of the power would
//             lose digits (n - |W| below n / 100: near zero frequency, or
//             an alias of an even cadence), refine_peak_direct.
double refine_peak(const spectrum::Grid& grid, std::size_t j, std::span<const double> tau,
                   std::span<const double> values, int threads = 1);

// refine_peak_direct: the same search with every amplitude from direct
// sums over the observations (scargle_amplitude); the reference of
// refine_peak.
double refine_peak_direct(const spectrum::Grid& grid, std::size_t j, std::span<const double> tau,
                          std::span<const double> values);

// The least-squares sinusoid at a fixed frequency on top of a constant,
// and the fractional drop z = 1 - chi2(constant + sinusoid) / chi2(constant)
// of the (weighted) sum of squares it gives.
struct SingleSinusoid {
    Sinusoid sinusoid;  // amplitude >= 0, phase in [0, 1)
    double z = 0.0;
};

SingleSinusoid single_sinusoid(const Series& series, double f);

}  // namespace extraction
