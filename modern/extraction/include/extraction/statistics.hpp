// The statistics of an extraction: the noise around a peak, the two kinds
// of uncertainty, the correlation of the residuals, and the false-alarm
// probability of a peak.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "spectrum/spectrum.hpp"

namespace extraction {

// The frequencies whose mean amplitude is the noise at a frequency f.
struct NoiseBox {
    double width = 1.0;  // c/d
    // Near the ends of the grid the classical box is cut there and f is
    // no longer at its centre.  On the steep rise of red noise toward the
    // lowest frequencies searched, the cut box is then the quieter side
    // alone and overstates the S/N of every peak there.  A centred box
    // narrows on both sides instead, keeping f at its centre, down to a
    // half-width of `least` (and is cut below that: too few frequencies
    // give no stable mean).
    bool centred = false;
    double least = 0.0;  // c/d
};

// box_mean: the noise level at f for its signal-to-noise ratio (Breger et
// al. 1993, A&A 271, 482): the mean amplitude of the spectrum over the grid
// frequencies within box / 2 of f.
//   Given:    grid, amplitude  a spectrum on the grid
//             f, box           centre and width of the box, c/d
//   Returned: the mean; 0 when no grid frequency lies in the box
//   Notes: 1. The box is cut at the ends of the grid, not shifted, unless
//             it is a centred one.
//          2. Amplitudes that are not finite (the NaN of frequency 0) are
//             left out of the mean.
double box_mean(const spectrum::Grid& grid, std::span<const double> amplitude, double f, const NoiseBox& box);
double box_mean(const spectrum::Grid& grid, std::span<const double> amplitude, double f, double box);

// local_noise: box_mean at every grid frequency, in one pass: the noise
// against which each peak of a spectrum is judged before it is chosen.
//   Given:    grid, amplitude  a spectrum on the grid
//             box              the box
//   Returned: one mean per grid frequency (as many as the shorter of the
//             grid and the amplitudes); 0 where no finite amplitude lies
//             in the box
//   Notes: 1. The box of frequency j is box_mean's at grid.frequency(j),
//             its ends found the same way, so the two agree to rounding.
//          2. The sum over the box is carried from one frequency to the
//             next, adding the amplitudes that enter and taking off those
//             that leave: O(M) for M frequencies, whatever the box.  It is
//             a compensated sum (Neumaier 1974, ZAMM 54, 39), so that the
//             rounding of M additions and removals does not build up.
std::vector<double> local_noise(const spectrum::Grid& grid, std::span<const double> amplitude, const NoiseBox& box);
std::vector<double> local_noise(const spectrum::Grid& grid, std::span<const double> amplitude, double box);

// noise_beside_peaks: the local noise at each grid frequency without the
// main lobe of a peak there: the mean amplitude over the box less the
// frequencies within core / 2 of it (the whole box where that would raise
// the mean or leave nothing, and where the box is cut by an end of the
// grid).  A candidate's own peak and the top of its
// window would otherwise count as noise and hide a significant peak the
// fit would keep; this is the noise its S/N is judged against once it is
// prewhitened.  O(M), as local_noise: the reference of noise_beside_peak
// and NoiseSums, with which the search judges its candidates alone.
std::vector<double> noise_beside_peaks(const spectrum::Grid& grid, std::span<const double> amplitude,
                                       const NoiseBox& box, double core);

// noise_beside_peaks: the same into `noise` (its memory reused), on at
// most `threads` threads.
//   Notes: 1. The grid is cut into fixed blocks of frequencies, each with
//             its own running sums, so the noise does not depend on the
//             number of threads; it differs from one pass's by rounding.
void noise_beside_peaks(const spectrum::Grid& grid, std::span<const double> amplitude, const NoiseBox& box,
                        double core, int threads, std::vector<double>& noise);

// noise_beside_peak: noise_beside_peaks's value at grid frequency j alone,
// to rounding, from the box around it: O(box), not O(M).
double noise_beside_peak(const spectrum::Grid& grid, std::span<const double> amplitude, std::size_t j,
                         const NoiseBox& box, double core);

// NoiseSums: the amplitudes of a spectrum summed from its first frequency,
// so that the noise beside a peak (noise_beside_peaks's) at any one grid
// frequency takes a few subtractions.  The search asks for it at the
// candidates alone: on a grid of millions of frequencies the noise of
// every frequency at every step would cost more than the spectrum.
//   Notes: 1. The sums run over fixed blocks of frequencies from each
//             block's start, compensated (Neumaier 1974), and the blocks'
//             totals are carried the same way, so a box's sum is exact to
//             a few units of rounding of the box's own sum, whatever the
//             number of threads.
//          2. Amplitudes that are not finite (the NaN of frequency 0) are
//             left out of the sums and of the counts.
class NoiseSums {
public:
    // sum: the sums of a spectrum, on at most `threads` threads (the
    // memory of the last spectrum's reused).
    void sum(std::span<const double> amplitude, int threads);

    // beside: the noise at grid frequency j without the main lobe of a
    // peak there, noise_beside_peaks's value to rounding; j below the
    // number of amplitudes summed.
    double beside(const spectrum::Grid& grid, std::size_t j, const NoiseBox& box, double core) const;

private:
    // The sum and the number of the finite amplitudes of [begin, end).
    double range_sum(std::size_t begin, std::size_t end) const;
    std::size_t range_terms(std::size_t begin, std::size_t end) const;

    std::size_t count_ = 0;
    // At index j (0 .. count): the sum of [start of j's block, j), as a
    // value and its compensation.
    std::vector<double> within_, within_error_;
    // Per block: the sum of every amplitude before it, the same way.
    std::vector<double> before_, before_error_;
    std::vector<std::size_t> undefined_;  // indices of amplitudes not finite, ascending
};

struct Uncertainty {
    double frequency = 0.0;  // c/d
    double amplitude = 0.0;  // unit of the values
    double phase = 0.0;      // cycles
};

// analytic_uncertainty: the errors of one sinusoid fitted to n points over a
// span T with residual rms sigma (Montgomery & O'Donoghue 1999, DSSN 13, 28):
//   sigma_A = sqrt(2/N) sigma,  sigma_phi = sigma_A / (2 pi A) cycles,
//   sigma_f = sqrt(6) sigma / (pi sqrt(N) A T).
//   Notes: 1. White noise and an isolated peak are assumed; the caller
//             multiplies by sqrt(D) for correlated residuals.
Uncertainty analytic_uncertainty(double amplitude, double sigma, std::size_t n, double span);

// sign_runs: the number of runs of equal sign in the residuals taken in
// time order (a zero counts as positive).
std::size_t sign_runs(std::span<const double> residuals);

// correlation_factor: D = max(1, N / (2 R)), R the sign runs (Schwarzenberg-
// Czerny 1991, MNRAS 253, 198): about 1 for white residuals, larger when
// neighbours are correlated; errors grow by sqrt(D).
double correlation_factor(std::span<const double> residuals);

// noise_excess: the local noise of a residual spectrum over what white
// noise of the same rms would give there, squared: white noise of
// deviation sigma in N points has a mean Scargle amplitude sigma sqrt(pi/N)
// (the mean of a Rayleigh variable of scale sigma sqrt(2/N) is that scale
// times sqrt(pi/2)).  Above 1 where the noise is red or crowded with
// unresolved signals; the factor by which the variance of a sinusoid's
// parameters exceeds the white-noise value there.
//   Given:    local  mean amplitude around the frequency (box_mean)
//             rms, n the residuals' rms and number
//   Returned: (local / (rms sqrt(pi/n)))^2; 1 when rms or n is 0
double noise_excess(double local, double rms, std::size_t n);

// effective_span: T_eff = sqrt(4 pi Var(t)), the time base of the
// false-alarm probability.
double effective_span(std::span<const double> times);

// log10_false_alarm: log10 of the false-alarm probability of the highest
// peak of a periodogram up to fmax (Baluev 2008, MNRAS 385, 1279):
//   z the fractional drop of the residual sum of squares that the sinusoid
//   gives, N_H = N - 1, N_K = N - 3, W = fmax T_eff,
//   gamma = sqrt(2/N_H) Gamma(N_H/2) / Gamma((N_H-1)/2),
//   tau = gamma W (1-z)^((N_K-1)/2) sqrt(N_H z / 2), P_single = (1-z)^(N_H/2),
//   FAP = 1 - (1 - P_single) exp(-tau).
//   Notes: 1. Computed in logarithms, so a probability far below the
//             smallest double still has its logarithm (then FAP is
//             P_single + tau to the precision of a double).
//          2. Needs n >= 4; z is clamped to [0, 1].
double log10_false_alarm(double z, std::size_t n, double fmax, double t_eff);

}  // namespace extraction
