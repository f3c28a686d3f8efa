// Amplitude spectrum of an unevenly sampled light curve, and its spectral
// window, over a regular grid of frequencies.
//
// A plan holds everything that depends only on the observation times and
// the grid (the sums of unit weights at twice each frequency, the spreading
// kernel, the FFT plans and their workspace); it is built once per star and
// then used for the spectrum of any values at those times: the data, and
// each residual series of the extraction.
//
// The amplitude at frequency f is the Scargle amplitude sqrt(4 P(f) / N),
// P the classical Lomb-Scargle power of the mean-subtracted values (Press &
// Rybicki 1989, ApJ 338, 277 for the sums at f and 2f).  For a sinusoid of
// amplitude A well sampled it is A at the sinusoid's frequency.  At f = 0
// exactly the sine sums vanish with the cosine ones and the power is 0/0:
// the amplitude there is NaN, the value periodscan writes on that row.
// Everywhere else it is finite.  At a frequency where every observation
// has the same phase to the last bit (a whole number of cycles between the
// observations of a strictly even cadence, or of two observations) the
// sine of the least-squares fit is zero at every observation: the fit is
// the cosine alone, and so is the amplitude.
//
// Cost: the fast method grows as N + M log M for N times and M grid
// frequencies; frequencies within about 0.012 / T of zero (T the time
// span) and of the aliases of a strictly even cadence are summed directly,
// 2 N each.  The exact method costs N M.
//
// Nothing here prints.  Invalid arguments throw std::invalid_argument with
// a message that names the argument.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace spectrum {

// Frequencies fmin + j * step, j = 0 .. count - 1, in cycles per day.
// Accepted: fmin and step finite; count from 1 to max_grid_count; step
// above zero when count > 1 (any finite step when count = 1); the last
// frequency finite.  Negative frequencies are allowed: the spectrum is
// even in f.  The spectrum is computed at the exact values fmin + j * step
// (as real numbers); frequency(j) is that value rounded to a double.
struct Grid {
    double fmin = 0.0;
    double step = 0.0;
    std::size_t count = 0;

    double frequency(std::size_t j) const { return fmin + static_cast<double>(j) * step; }
};

// The largest grid: the FFT of the fast method is indexed by int.
inline constexpr std::size_t max_grid_count = std::size_t{1} << 29;

enum class Method { exact, nufft };

// Tolerances accepted for the fast method, from 1e-12 to 1e-2; the default
// keeps every amplitude within 1e-9 of the highest one.  Finer than 1e-12
// is refused: near zero frequency the closed form of the power keeps no
// more than about 1e-13 (see direct_margin in scargle.hpp), so a finer
// request could not be honoured.
inline constexpr double finest_tolerance = 1e-12;
inline constexpr double coarsest_tolerance = 1e-2;
inline constexpr double default_tolerance = 1e-9;

struct Settings {
    Method method = Method::nufft;
    // Largest error allowed in any amplitude, relative to the highest
    // amplitude of the spectrum (nufft only; the exact method is accurate
    // to rounding).  Accepted from finest_tolerance to coarsest_tolerance.
    double tolerance = default_tolerance;
    // Threads; 0 means as many as the machine has.  Results never depend
    // on it.  Accepted: 0 to max_threads.
    int threads = 0;
};

inline constexpr int max_threads = 1024;

// The fine grid of the fast method: the points of its spreading kernel and
// how many cells per grid frequency its FFT has.
struct Spreading {
    int width = 0;
    double upsampling = 2.0;
};

// spreading: the fine grid the fast method uses for a tolerance.
//   Given:    tolerance  within [finest_tolerance, coarsest_tolerance]
//   Returned: upsampling 1.5 and a kernel of the decimal digits asked for
//             plus 6 points (8 for 1e-2, 15 for the default 1e-9, 16 for
//             1e-10); for finer tolerances, where that kernel would be
//             wider than 16 points, upsampling 2 and the digits plus 3
//             (14 for 1e-11, 15 for 1e-12)
//   Notes: 1. Measured against the exact method (bench/spectrum_speed):
//             the largest error relative to the highest peak falls about
//             tenfold per point at upsampling 2 and sixfold at 1.5, and
//             with these widths it stays at least 15 times below the
//             tolerance in the worst cases met (pure noise; the strongest
//             signal between grid frequencies, noise-free; 10 to 10^6
//             points; grids to 10^7).
//          2. At 1.5 the FFT and the fine grid are a quarter smaller than
//             at 2, for three more points of the kernel: the FFT is most of
//             a spectrum's time on a grid of millions of frequencies.
//          3. Throws std::invalid_argument outside the accepted range.
Spreading spreading(double tolerance);

// kernel_width: spreading(tolerance).width.
int kernel_width(double tolerance);

class Plan {
public:
    // times: the observation times in days, any order, all finite, at
    // least two of them different (a series without a time span has no
    // spectrum); times of any size (BJD 2450000 and up) lose no phase
    // accuracy.  The largest |frequency| times half the time span must stay
    // below 2^49 cycles.
    Plan(std::span<const double> times, const Grid& grid, const Settings& settings);
    ~Plan();
    // A plan moved from may only be destroyed or assigned to.
    Plan(Plan&&) noexcept;
    Plan& operator=(Plan&&) noexcept;

    const Grid& grid() const;
    // Number of observation times.
    std::size_t size() const;
    // Spreading kernel width in use (0 for the exact method).
    int kernel_width() const;

    // Scargle amplitude sqrt(4 P / N) of the mean-subtracted values at each
    // grid frequency (P the classical Lomb-Scargle power); values has one
    // entry per time of the plan, all finite, of any size: values beyond
    // the range of range_exponent are scaled into it by a power of two and
    // their amplitudes scaled back (an amplitude beyond the largest double
    // would be infinite).  Amplitudes are in the unit of the values.  Safe
    // to call from several threads at once.
    std::vector<double> amplitude(std::span<const double> values) const;
    // The same into `out`, whose memory is reused: a long run of spectra
    // (an extraction) then maps no new pages for each.
    void amplitude(std::span<const double> values, std::vector<double>& out) const;

    // Spectral window: the amplitude spectrum of a unit sinusoid at
    // frequency f0 sampled at the plan's times, on the plan's grid.  The
    // sinusoid is sin(2 pi f0 (t - t_mid)), t_mid the middle of the time
    // span.  f0 finite.
    std::vector<double> window(double f0) const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// range_exponent: the power of two that brings numbers of a given size
// into the range where their squares, and sums of products of several of
// them, neither overflow nor underflow.
//   Given:    size  the largest magnitude among the numbers, finite, >= 0
//   Returned: k, a multiple of 256, such that size * 2^k lies in
//             [2^-128, 2^128); 0 when size is already there, or is 0
//   Notes: 1. Numbers within the range (about 3e-39 to 3e38: every usual
//             light curve) are left as they are, so that they are computed
//             exactly as without scaling.
//          2. Scaling by 2^k is exact (unless a number falls below the
//             normal range), and in steps of 2^256 the numbers x * 2^(256 j)
//             scale back to x itself: a series and its multiple by
//             2^(256 j) give the same results, scaled, to the last bit.
int range_exponent(double size);

// Bytes a plan and one spectrum need for n times over the grid, at most:
// what a run refuses up front when it exceeds the memory it is given.
// Saturates at SIZE_MAX instead of overflowing.
std::size_t memory_needed(std::size_t n, const Grid& grid, const Settings& settings);

}  // namespace spectrum
