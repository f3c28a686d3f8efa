#include "peak.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_min.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <optional>
#include <vector>

#include "numerics/cycles.hpp"
#include "numerics/parallel.hpp"
#include "numerics/scargle.hpp"
#include "wide/wide_kernels.hpp"

namespace extraction {
namespace {

using numerics::two_pi;

constexpr std::size_t chunk = 256;

// The series whose amplitude is sought: its times and centred values,
// and room for the phases at up to three frequencies.
struct ScargleInput {
    std::span<const double> tau;
    std::vector<double> centred;
    std::vector<double> cycles[3];
};

ScargleInput scargle_input(std::span<const double> tau, std::span<const double> values)
{
    double sum = 0.0;
    for (double v : values) sum += v;
    const double mean = values.empty() ? 0.0 : sum / static_cast<double>(values.size());
    ScargleInput in{tau, std::vector<double>(values.size()), {}};
    for (std::size_t k = 0; k < values.size(); ++k) in.centred[k] = values[k] - mean;
    for (std::vector<double>& c : in.cycles) c.resize(tau.size());
    return in;
}

double amplitude_at(ScargleInput& in, double f)
{
    numerics::phases_of(f, in.tau, in.cycles[0]);
    return numerics::scargle_amplitude(in.cycles[0], in.centred);
}

// The amplitudes at three frequencies, computed side by side.
void amplitudes_at(ScargleInput& in, const double (&f)[3], double (&amplitude)[3])
{
    for (int i = 0; i < 3; ++i) numerics::phases_of(f[i], in.tau, in.cycles[i]);
    const std::span<const double> cycles[3] = {in.cycles[0], in.cycles[1], in.cycles[2]};
    numerics::scargle_amplitudes(cycles, in.centred, amplitude);
}

// The amplitude at f0 + u step, negated for the minimiser.
struct Offset {
    ScargleInput in;
    double f0 = 0.0, step = 0.0;
};

double negative_amplitude(double u, void* params)
{
    Offset& offset = *static_cast<Offset*>(params);
    return -amplitude_at(offset.in, offset.f0 + u * offset.step);
}

// How closely the maximum is located, in grid steps.
constexpr double refine_tolerance = 1e-4;

struct MinimizerDeleter {
    void operator()(gsl_min_fminimizer* m) const { gsl_min_fminimizer_free(m); }
};

// brent_maximum: the offset u in [-1, 1] grid steps of the maximum of an
// amplitude, by Brent's method (GSL) on its negative from the amplitudes
// at -1, 0 and 1 (the middle one the highest), to refine_tolerance; 0
// when the minimiser cannot start.
double brent_maximum(double (*negative)(double, void*), void* params, double a_lo, double a_mid, double a_hi)
{
    std::unique_ptr<gsl_min_fminimizer, MinimizerDeleter> minimizer(gsl_min_fminimizer_alloc(gsl_min_fminimizer_brent));
    if (!minimizer) return 0.0;
    gsl_function function{negative, params};
    if (gsl_min_fminimizer_set_with_values(minimizer.get(), &function, 0.0, -a_mid, -1.0, -a_lo, 1.0, -a_hi) !=
        GSL_SUCCESS)
        return 0.0;
    for (int iter = 0; iter < 100; ++iter) {
        if (gsl_min_fminimizer_iterate(minimizer.get()) != GSL_SUCCESS) break;
        if (gsl_min_test_interval(gsl_min_fminimizer_x_lower(minimizer.get()),
                                  gsl_min_fminimizer_x_upper(minimizer.get()), refine_tolerance, 0.0) == GSL_SUCCESS)
            break;
    }
    return gsl_min_fminimizer_x_minimum(minimizer.get());
}

// Observations per block of the sums near a peak (each block summed whole
// by one thread, the blocks added in their order), the lanes a block's
// sums run in side by side, and the most terms a series may have.
constexpr std::size_t points_per_block = 8192;
constexpr std::size_t lanes = 8;
constexpr int most_terms = 48;

// The power series in the frequency offset of the two sums the Scargle
// amplitude is made of near a frequency f0:
//   Z(f0 + d) = sum_k x_k exp(-2 pi i (f0 + d) tau_k)
//             = sum_m (-2 pi i d h)^m / m! z_m,   z_m = sum_k x_k s_k^m exp(-2 pi i f0 tau_k)
//   W(f0 + d) = sum_k exp(-4 pi i (f0 + d) tau_k)
//             = sum_m (-4 pi i d h)^m / m! w_m,   w_m = sum_k s_k^m exp(-4 pi i f0 tau_k)
// with s_k = tau_k / h in [-1, 1], h the largest |tau_k|, x the centred
// values.
struct PeakSeries {
    double n = 0.0;     // observations
    double h = 0.0;     // days
    double step = 0.0;  // c/d: the offset u is in these
    int terms = 0;
    std::array<double, most_terms> zr{}, zi{}, wr{}, wi{};
};

// One block's moments, in the lanes' fixed order.
struct BlockMoments {
    std::array<double, most_terms> zr{}, zi{}, wr{}, wi{};
};

// block_moments: z_m and w_m over one block of observations.
//   Given:    cycles  f0 tau_k in cycles, reduced; s  tau_k / h
//             centred the values less their mean; count, terms
//   Returned: out     the block's sums, each lane's in its points' order,
//                     then the lanes added in order
SUITE_KERNEL_BODY void block_moments(const double* cycles, const double* s, const double* centred,
                                     std::size_t count, int terms, BlockMoments& out)
{
    double zr[most_terms][lanes] = {}, zi[most_terms][lanes] = {}, wr[most_terms][lanes] = {},
           wi[most_terms][lanes] = {};
    for (std::size_t k0 = 0; k0 < count; k0 += lanes) {
        double pr[lanes], pi[lanes], qr[lanes], qi[lanes], sl[lanes];
        for (std::size_t l = 0; l < lanes; ++l) {
            const bool in = k0 + l < count;
            const std::size_t k = in ? k0 + l : k0;
            const numerics::SinCos e = numerics::sincos_cycles(cycles[k]);
            const numerics::SinCos e2 = numerics::sincos_cycles(2.0 * cycles[k]);
            const double x = in ? centred[k] : 0.0, unit = in ? 1.0 : 0.0;
            pr[l] = x * e.cos;
            pi[l] = -(x * e.sin);
            qr[l] = unit * e2.cos;
            qi[l] = -(unit * e2.sin);
            sl[l] = s[k];
        }
        for (int m = 0; m < terms; ++m)
            for (std::size_t l = 0; l < lanes; ++l) {
                zr[m][l] += pr[l];
                zi[m][l] += pi[l];
                wr[m][l] += qr[l];
                wi[m][l] += qi[l];
                pr[l] *= sl[l];
                pi[l] *= sl[l];
                qr[l] *= sl[l];
                qi[l] *= sl[l];
            }
    }
    for (int m = 0; m < terms; ++m)
        for (std::size_t l = 0; l < lanes; ++l) {
            out.zr[m] += zr[m][l];
            out.zi[m] += zi[m][l];
            out.wr[m] += wr[m][l];
            out.wi[m] += wi[m][l];
        }
}

// Terms the series need for offsets up to one grid step: the last term
// left out, (4 pi h step)^m / m!, below 1e-18 of the sums' scale.  None
// (0) when that takes more than most_terms.
int series_terms(double h, double step)
{
    const double x = 4.0 * std::numbers::pi * h * step;
    double term = 1.0;
    for (int m = 1; m <= most_terms; ++m) {
        term *= x / m;
        if (term < 1e-18) return std::max(m, 2);
    }
    return 0;
}

// peak_series: the series of Z and W at f0 for offsets within one grid step.
//   Given:    tau     times, days; values  the series (its mean is removed)
//             f0, step  c/d; threads  at most this many threads
//   Returned: the series; none when the grid step is too coarse for it
//   Notes: 1. One pass over the observations: two sines and cosines and
//             4 m products each, in blocks of fixed points added in order,
//             so the sums do not depend on the number of threads.
std::optional<PeakSeries> peak_series(std::span<const double> tau, std::span<const double> values, double f0,
                                      double step, int threads)
{
    const std::size_t n = std::min(tau.size(), values.size());
    double h = 0.0, sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        h = std::max(h, std::fabs(tau[k]));
        sum += values[k];
    }
    PeakSeries series;
    series.terms = series_terms(h, step);
    if (series.terms == 0 || !(h > 0.0)) return std::nullopt;
    series.n = static_cast<double>(n);
    series.h = h;
    series.step = step;
    const double mean = sum / series.n;
    // Each block's phases, scaled times and centred values in its own
    // buffers: a step of a long series allocates nothing of its length.
    const std::size_t blocks = (n + points_per_block - 1) / points_per_block;
    std::vector<BlockMoments> moments(blocks);
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        const std::size_t k0 = b * points_per_block, count = std::min(points_per_block, n - k0);
        std::array<double, points_per_block> cycles, s, centred;
        numerics::phases_of(f0, tau.subspan(k0, count), std::span<double>(cycles).first(count));
        for (std::size_t k = 0; k < count; ++k) {
            s[k] = tau[k0 + k] / h;
            centred[k] = values[k0 + k] - mean;
        }
        suite::widest_form<block_moments>(cycles.data(), s.data(), centred.data(), count, series.terms, moments[b]);
    });
    for (const BlockMoments& m : moments)
        for (int i = 0; i < series.terms; ++i) {
            series.zr[i] += m.zr[i];
            series.zi[i] += m.zi[i];
            series.wr[i] += m.wr[i];
            series.wi[i] += m.wi[i];
        }
    return series;
}

// The sum of a series at t = -i theta: sum_m t^m / m! c_m, by Horner's rule.
std::complex<double> series_sum(const std::array<double, most_terms>& re, const std::array<double, most_terms>& im,
                                int terms, double theta)
{
    const std::complex<double> t(0.0, -theta);
    std::complex<double> sum(re[terms - 1], im[terms - 1]);
    for (int m = terms - 2; m >= 0; --m) sum = std::complex<double>(re[m], im[m]) + sum * t / static_cast<double>(m + 1);
    return sum;
}

// series_amplitude: the Scargle amplitude at f0 + u step from the series
// (the closed form of the time-shifted sums: with W = |W| e^(i alpha) and
// Z e^(-i alpha / 2) = a - i b, P = a^2 / (n + |W|) + b^2 / (n - |W|)).
// False where n - |W| is below a hundredth of n (near zero frequency, or
// an alias of an even cadence), where the closed form would lose digits.
bool series_amplitude(const PeakSeries& series, double u, double& amplitude)
{
    const double theta = 2.0 * std::numbers::pi * u * series.step * series.h;
    const std::complex<double> z = series_sum(series.zr, series.zi, series.terms, theta);
    const std::complex<double> w = series_sum(series.wr, series.wi, series.terms, 2.0 * theta);
    const double r = std::abs(w);
    if (!(series.n - r > 0.01 * series.n)) return false;
    const double half = 0.5 * std::atan2(w.imag(), w.real());
    const double c = std::cos(half), s = std::sin(half);
    const double a = z.real() * c + z.imag() * s;
    const double b = -(z.imag() * c - z.real() * s);
    const double power = a * a / (series.n + r) + b * b / (series.n - r);
    amplitude = 2.0 * std::sqrt(power / series.n);
    return true;
}

struct SeriesOffset {
    const PeakSeries* series = nullptr;
    bool failed = false;
};

double negative_series_amplitude(double u, void* params)
{
    SeriesOffset& offset = *static_cast<SeriesOffset*>(params);
    double amplitude = 0.0;
    if (!series_amplitude(*offset.series, u, amplitude)) offset.failed = true;
    return -amplitude;
}

// The grid points within any of the zones, among the first `count`: runs
// [first, last] of indices, in ascending order and merged.
struct Run {
    std::size_t first = 0, last = 0;
};

std::vector<Run> zone_runs(const spectrum::Grid& grid, std::size_t count, std::span<const Zone> zones)
{
    std::vector<Run> runs;
    for (const Zone& zone : zones) {
        const double lo = std::ceil((zone.centre - zone.half - grid.fmin) / grid.step);
        const double hi = std::floor((zone.centre + zone.half - grid.fmin) / grid.step);
        if (!(hi >= 0.0) || !(lo < static_cast<double>(count)) || !(lo <= hi)) continue;
        const std::size_t first = lo <= 0.0 ? 0 : static_cast<std::size_t>(lo);
        runs.push_back({first, static_cast<std::size_t>(std::min(hi, static_cast<double>(count - 1)))});
    }
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.first < b.first; });
    std::vector<Run> merged;
    for (const Run& r : runs) {
        if (!merged.empty() && r.first <= merged.back().last + 1)
            merged.back().last = std::max(merged.back().last, r.last);
        else
            merged.push_back(r);
    }
    return merged;
}

// Grid frequencies one task searches.
constexpr std::size_t search_block = std::size_t{1} << 16;

// The highest local maximum outside the zones among those `eligible`
// takes, the first of equals.
//   Notes: 1. A maximum is judged eligible only when it is higher than the
//             best found so far, so that an expensive test runs at a few
//             maxima, not at all of them.
//          2. Fixed blocks of the grid are searched on the threads and
//             their best taken in order: the same peak on any number.
template <class Eligible>
std::size_t highest_maximum(const spectrum::Grid& grid, std::span<const double> amplitude, std::size_t count,
                            std::span<const Zone> zones, int threads, Eligible eligible)
{
    if (count < 3) return no_peak;
    const std::vector<Run> runs = zone_runs(grid, count, zones);
    const std::size_t blocks = (count + search_block - 1) / search_block;
    std::vector<std::size_t> best_of(blocks, no_peak);
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        const std::size_t j0 = std::max<std::size_t>(1, b * search_block);
        const std::size_t j1 = std::min(count - 1, (b + 1) * search_block);
        auto run = std::lower_bound(runs.begin(), runs.end(), j0, [](const Run& r, std::size_t j) { return r.last < j; });
        std::size_t best = no_peak;
        for (std::size_t j = j0; j < j1; ++j) {
            if (run != runs.end() && j >= run->first) {  // within a zone: to its end
                j = run->last;
                ++run;
                continue;
            }
            const double a = amplitude[j];
            if (!(a > amplitude[j - 1]) || !(a >= amplitude[j + 1])) continue;
            if ((best == no_peak || a > amplitude[best]) && eligible(j)) best = j;
        }
        best_of[b] = best;
    });
    std::size_t best = no_peak;
    for (std::size_t j : best_of)
        if (j != no_peak && (best == no_peak || amplitude[j] > amplitude[best])) best = j;
    return best;
}

}  // namespace

std::size_t highest_peak(const spectrum::Grid& grid, std::span<const double> amplitude, std::span<const Zone> zones,
                         int threads)
{
    const std::size_t count = std::min(grid.count, amplitude.size());
    return highest_maximum(grid, amplitude, count, zones, threads, [](std::size_t) { return true; });
}

std::size_t highest_significant_peak(const spectrum::Grid& grid, std::span<const double> amplitude,
                                     std::span<const double> noise, double snr, std::span<const Zone> zones)
{
    const std::size_t count = std::min({grid.count, amplitude.size(), noise.size()});
    return highest_maximum(grid, amplitude, count, zones, 1,
                           [&](std::size_t j) { return amplitude[j] >= snr * noise[j]; });
}

std::size_t highest_significant_peak(const spectrum::Grid& grid, std::span<const double> amplitude,
                                     const NoiseSums& sums, const NoiseBox& box, double core, double snr,
                                     std::span<const Zone> zones, int threads)
{
    const std::size_t count = std::min(grid.count, amplitude.size());
    return highest_maximum(grid, amplitude, count, zones, threads,
                           [&](std::size_t j) { return amplitude[j] >= snr * sums.beside(grid, j, box, core); });
}

double scargle_amplitude(std::span<const double> tau, std::span<const double> values, double f)
{
    if (tau.empty()) return 0.0;
    ScargleInput in = scargle_input(tau, values);
    return amplitude_at(in, f);
}

double refine_peak_direct(const spectrum::Grid& grid, std::size_t j, std::span<const double> tau,
                          std::span<const double> values)
{
    const double f = grid.frequency(j);
    if (j == 0 || j + 1 >= grid.count || tau.empty()) return f;
    // The search runs in u = (frequency - f) / step on [-1, 1]: the
    // minimiser resolves its argument to about 1e-8 of its size, which for
    // the frequency itself (tens of c/d) would be coarser than the errors
    // of a long series.
    Offset offset{scargle_input(tau, values), f, grid.step};
    double a[3];
    amplitudes_at(offset.in, {f - grid.step, f, f + grid.step}, a);
    const double a_lo = a[0], a_mid = a[1], a_hi = a[2];
    if (!(a_mid > a_lo && a_mid > a_hi)) return f;

    return f + brent_maximum(negative_amplitude, &offset, a_lo, a_mid, a_hi) * grid.step;
}

double refine_peak(const spectrum::Grid& grid, std::size_t j, std::span<const double> tau,
                   std::span<const double> values, int threads)
{
    const double f = grid.frequency(j);
    if (j == 0 || j + 1 >= grid.count || tau.empty()) return f;
    const std::optional<PeakSeries> series = peak_series(tau, values, f, grid.step, threads);
    if (!series) return refine_peak_direct(grid, j, tau, values);
    double a[3];
    for (int i = 0; i < 3; ++i)
        if (!series_amplitude(*series, i - 1.0, a[i])) return refine_peak_direct(grid, j, tau, values);
    const double a_lo = a[0], a_mid = a[1], a_hi = a[2];
    if (!(a_mid > a_lo && a_mid > a_hi)) return f;
    SeriesOffset offset{&*series, false};
    const double u = brent_maximum(negative_series_amplitude, &offset, a_lo, a_mid, a_hi);
    // A point where the closed form would lose digits: the direct sums.
    if (offset.failed) return refine_peak_direct(grid, j, tau, values);
    return f + u * grid.step;
}

SingleSinusoid single_sinusoid(const Series& series, double f)
{
    // Normal equations of r = c + a sin(2 pi f tau) + b cos(2 pi f tau),
    // weighted, accumulated in one pass.
    std::array<double, 9> ata{};
    std::array<double, 3> aty{};
    double wsum = 0.0, wy = 0.0, wyy = 0.0;
    std::array<double, chunk> arg, s, c;
    const std::size_t n = series.tau.size();
    for (std::size_t k0 = 0; k0 < n; k0 += chunk) {
        const std::size_t m = std::min(chunk, n - k0);
        for (std::size_t k = 0; k < m; ++k) arg[k] = f * series.tau[k0 + k];
        numerics::sincos_cycles(arg.data(), s.data(), c.data(), m);
        for (std::size_t k = 0; k < m; ++k) {
            const double w = series.weights.empty() ? 1.0 : series.weights[k0 + k];
            const double w2 = w * w, y = series.values[k0 + k];
            const double row[3] = {1.0, s[k], c[k]};
            for (int a = 0; a < 3; ++a) {
                aty[a] += w2 * row[a] * y;
                for (int b = 0; b < 3; ++b) ata[3 * a + b] += w2 * row[a] * row[b];
            }
            wsum += w2;
            wy += w2 * y;
            wyy += w2 * y * y;
        }
    }
    SingleSinusoid out;
    out.sinusoid.frequency = f;
    if (!(wsum > 0.0)) return out;
    const double chi2_constant = wyy - wy * wy / wsum;
    std::array<double, 3> coef{};
    gsl_matrix_view am = gsl_matrix_view_array(ata.data(), 3, 3);
    gsl_vector_view bv = gsl_vector_view_array(aty.data(), 3);
    gsl_vector_view xv = gsl_vector_view_array(coef.data(), 3);
    const std::array<double, 3> rhs = aty;
    if (gsl_linalg_cholesky_decomp1(&am.matrix) != GSL_SUCCESS ||
        gsl_linalg_cholesky_solve(&am.matrix, &bv.vector, &xv.vector) != GSL_SUCCESS)
        return out;
    // chi2 of the fit: y'y - coef' A'y at the least-squares solution.
    const double chi2_fit = wyy - (coef[0] * rhs[0] + coef[1] * rhs[1] + coef[2] * rhs[2]);
    // a sin x + b cos x = A sin(x + 2 pi phi) with a = A cos 2 pi phi, b = A sin 2 pi phi.
    out.sinusoid.amplitude = std::hypot(coef[1], coef[2]);
    out.sinusoid.phase = std::atan2(coef[2], coef[1]) / two_pi;
    out.sinusoid.phase -= std::floor(out.sinusoid.phase);
    if (out.sinusoid.phase >= 1.0) out.sinusoid.phase = 0.0;
    out.z = chi2_constant > 0.0 ? std::clamp(1.0 - chi2_fit / chi2_constant, 0.0, 1.0) : 0.0;
    return out;
}

}  // namespace extraction
