#include "peak.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_min.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "numerics/cycles.hpp"
#include "numerics/scargle.hpp"

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

// The grid points within any of the zones, among the first `count`.
std::vector<char> in_zones(const spectrum::Grid& grid, std::size_t count, std::span<const Zone> zones)
{
    std::vector<char> excluded(count, 0);
    for (const Zone& zone : zones) {
        const double lo = std::ceil((zone.centre - zone.half - grid.fmin) / grid.step);
        const double hi = std::floor((zone.centre + zone.half - grid.fmin) / grid.step);
        if (!(hi >= 0.0) || !(lo < static_cast<double>(count))) continue;
        const std::size_t first = lo <= 0.0 ? 0 : static_cast<std::size_t>(lo);
        const std::size_t last = static_cast<std::size_t>(std::min(hi, static_cast<double>(count - 1)));
        for (std::size_t j = first; j <= last; ++j) excluded[j] = 1;
    }
    return excluded;
}

// The highest local maximum outside the zones among those `eligible` takes.
template <class Eligible>
std::size_t highest_maximum(const spectrum::Grid& grid, std::span<const double> amplitude, std::size_t count,
                            std::span<const Zone> zones, Eligible eligible)
{
    if (count < 3) return no_peak;
    const std::vector<char> excluded = in_zones(grid, count, zones);
    std::size_t best = no_peak;
    for (std::size_t j = 1; j + 1 < count; ++j) {
        const double a = amplitude[j];
        if (excluded[j] || !(a > amplitude[j - 1]) || !(a >= amplitude[j + 1]) || !eligible(j)) continue;
        if (best == no_peak || a > amplitude[best]) best = j;
    }
    return best;
}

}  // namespace

std::size_t highest_peak(const spectrum::Grid& grid, std::span<const double> amplitude, std::span<const Zone> zones)
{
    const std::size_t count = std::min(grid.count, amplitude.size());
    return highest_maximum(grid, amplitude, count, zones, [](std::size_t) { return true; });
}

std::size_t highest_significant_peak(const spectrum::Grid& grid, std::span<const double> amplitude,
                                     std::span<const double> noise, double snr, std::span<const Zone> zones)
{
    const std::size_t count = std::min({grid.count, amplitude.size(), noise.size()});
    return highest_maximum(grid, amplitude, count, zones,
                           [&](std::size_t j) { return amplitude[j] >= snr * noise[j]; });
}

double scargle_amplitude(std::span<const double> tau, std::span<const double> values, double f)
{
    if (tau.empty()) return 0.0;
    ScargleInput in = scargle_input(tau, values);
    return amplitude_at(in, f);
}

double refine_peak(const spectrum::Grid& grid, std::size_t j, std::span<const double> tau,
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

    std::unique_ptr<gsl_min_fminimizer, MinimizerDeleter> minimizer(gsl_min_fminimizer_alloc(gsl_min_fminimizer_brent));
    if (!minimizer) return f;
    gsl_function function{negative_amplitude, &offset};
    if (gsl_min_fminimizer_set_with_values(minimizer.get(), &function, 0.0, -a_mid, -1.0, -a_lo, 1.0, -a_hi) !=
        GSL_SUCCESS)
        return f;
    for (int iter = 0; iter < 100; ++iter) {
        if (gsl_min_fminimizer_iterate(minimizer.get()) != GSL_SUCCESS) break;
        if (gsl_min_test_interval(gsl_min_fminimizer_x_lower(minimizer.get()),
                                  gsl_min_fminimizer_x_upper(minimizer.get()), refine_tolerance, 0.0) == GSL_SUCCESS)
            break;
    }
    return f + gsl_min_fminimizer_x_minimum(minimizer.get()) * grid.step;
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
