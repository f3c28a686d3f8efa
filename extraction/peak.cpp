#include "extraction/peak.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_min.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "spectrum/parallel.hpp"

namespace extraction {
namespace {

constexpr std::size_t chunk = 256;
constexpr std::size_t lanes = 4;
using Lanes = std::array<double, lanes>;

double total(const Lanes& partial) { return (partial[0] + partial[1]) + (partial[2] + partial[3]); }

struct ScargleInput {
    std::span<const double> tau, values;
    double mean = 0.0;
    int threads = 1;
};

// The most partitions the points are cut into for the sums at one
// frequency: a count fixed by the number of points alone, so that the sums
// never depend on the number of threads.
constexpr std::size_t max_partitions = 16;

// The sums of one block: sin and cos of 2 pi f tau against the centred
// values, in four lanes (a fixed order, which the compiler can keep in
// vector registers).  Built for the wider vector units too, as the model's
// sine and cosine are.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void add_sums(const double* y, const double* s, const double* c, std::size_t m, Lanes& ys_out, Lanes& yc_out,
              Lanes& cc_out, Lanes& ss_out, Lanes& cs_out)
{
    // Local lanes, which the compiler knows alias nothing.
    Lanes ys = ys_out, yc = yc_out, cc = cc_out, ss = ss_out, cs = cs_out;
    std::size_t k = 0;
    for (; k + lanes <= m; k += lanes)
        for (std::size_t l = 0; l < lanes; ++l) {
            ys[l] += y[k + l] * s[k + l];
            yc[l] += y[k + l] * c[k + l];
            cc[l] += c[k + l] * c[k + l];
            ss[l] += s[k + l] * s[k + l];
            cs[l] += s[k + l] * c[k + l];
        }
    for (; k < m; ++k) {
        ys[0] += y[k] * s[k];
        yc[0] += y[k] * c[k];
        cc[0] += c[k] * c[k];
        ss[0] += s[k] * s[k];
        cs[0] += s[k] * c[k];
    }
    ys_out = ys;
    yc_out = yc;
    cc_out = cc;
    ss_out = ss;
    cs_out = cs;
}

// The five sums of the chunks k0 / chunk .. k1 / chunk, in four lanes each.
std::array<double, 5> partition_sums(const ScargleInput& in, double f, std::size_t k0, std::size_t k1)
{
    std::array<double, chunk> arg, s, c, y;
    // Four partial sums per quantity, added in a fixed order: the same
    // result every run, and no chain of dependent additions.
    Lanes ys{}, yc{}, cc{}, ss{}, cs{};
    for (; k0 < k1; k0 += chunk) {
        const std::size_t m = std::min(chunk, k1 - k0);
        for (std::size_t k = 0; k < m; ++k) {
            arg[k] = f * in.tau[k0 + k];
            y[k] = in.values[k0 + k] - in.mean;
        }
        sin_cos_cycles(arg.data(), s.data(), c.data(), m);
        add_sums(y.data(), s.data(), c.data(), m, ys, yc, cc, ss, cs);
    }
    return {total(ys), total(yc), total(cc), total(ss), total(cs)};
}

double amplitude_at(const ScargleInput& in, double f)
{
    // Whole chunks in each partition; the partitions' sums added in order.
    const std::size_t n = in.tau.size(), chunks = (n + chunk - 1) / chunk;
    const std::size_t parts = std::min(max_partitions, chunks);
    std::vector<std::array<double, 5>> part(parts);
    spectrum::for_each_block(parts, in.threads, [&](std::size_t p) {
        part[p] = partition_sums(in, f, std::min(n, p * chunks / parts * chunk),
                                 std::min(n, (p + 1) * chunks / parts * chunk));
    });
    double sum_ys = 0.0, sum_yc = 0.0, sum_cc = 0.0, sum_ss = 0.0, sum_cs = 0.0;
    for (const std::array<double, 5>& q : part) {
        sum_ys += q[0];
        sum_yc += q[1];
        sum_cc += q[2];
        sum_ss += q[3];
        sum_cs += q[4];
    }
    // The time offset of Lomb-Scargle, tan(4 pi f t0) = sum sin / sum cos
    // of twice the angle, applied as a rotation of the sums.
    const double angle = 0.5 * std::atan2(2.0 * sum_cs, sum_cc - sum_ss);
    const double ct = std::cos(angle), st = std::sin(angle);
    const double yct = sum_yc * ct + sum_ys * st, yst = sum_ys * ct - sum_yc * st;
    const double cct = ct * ct * sum_cc + 2.0 * ct * st * sum_cs + st * st * sum_ss;
    const double sst = st * st * sum_cc - 2.0 * ct * st * sum_cs + ct * ct * sum_ss;
    double twice_power = 0.0;  // 2 P
    if (cct > 0.0) twice_power += yct * yct / cct;
    if (sst > 0.0) twice_power += yst * yst / sst;
    return std::sqrt(2.0 * twice_power / static_cast<double>(n));
}

double mean_of(std::span<const double> values)
{
    double sum = 0.0;
    for (double v : values) sum += v;
    return values.empty() ? 0.0 : sum / static_cast<double>(values.size());
}

// The amplitude at f0 + u step, negated for the minimiser.
struct Offset {
    ScargleInput in;
    double f0 = 0.0, step = 0.0;
};

double negative_amplitude(double u, void* params)
{
    const Offset& offset = *static_cast<const Offset*>(params);
    return -amplitude_at(offset.in, offset.f0 + u * offset.step);
}

// How closely the maximum is located, in grid steps.
constexpr double refine_tolerance = 1e-4;

struct MinimizerDeleter {
    void operator()(gsl_min_fminimizer* m) const { gsl_min_fminimizer_free(m); }
};

}  // namespace

std::size_t highest_peak(const spectrum::Grid& grid, std::span<const double> amplitude, std::span<const Zone> zones)
{
    const std::size_t count = std::min(grid.count, amplitude.size());
    if (count < 3) return no_peak;
    std::vector<char> excluded(count, 0);
    for (const Zone& zone : zones) {
        const double lo = std::ceil((zone.centre - zone.half - grid.fmin) / grid.step);
        const double hi = std::floor((zone.centre + zone.half - grid.fmin) / grid.step);
        if (!(hi >= 0.0) || !(lo < static_cast<double>(count))) continue;
        const std::size_t first = lo <= 0.0 ? 0 : static_cast<std::size_t>(lo);
        const std::size_t last = std::min(count - 1, static_cast<std::size_t>(hi));
        for (std::size_t j = first; j <= last; ++j) excluded[j] = 1;
    }
    std::size_t best = no_peak;
    for (std::size_t j = 1; j + 1 < count; ++j) {
        const double a = amplitude[j];
        if (excluded[j] || !(a > amplitude[j - 1]) || !(a >= amplitude[j + 1])) continue;
        if (best == no_peak || a > amplitude[best]) best = j;
    }
    return best;
}

double scargle_amplitude(std::span<const double> tau, std::span<const double> values, double f)
{
    if (tau.empty()) return 0.0;
    const ScargleInput in{tau, values, mean_of(values)};
    return amplitude_at(in, f);
}

double refine_peak(const spectrum::Grid& grid, std::size_t j, std::span<const double> tau,
                   std::span<const double> values, int threads)
{
    const double f = grid.frequency(j);
    if (j == 0 || j + 1 >= grid.count || tau.empty()) return f;
    // The search runs in u = (frequency - f) / step on [-1, 1]: the
    // minimiser resolves its argument to about 1e-8 of its size, which for
    // the frequency itself (tens of c/d) would be coarser than the errors
    // of a long series.
    Offset offset{{tau, values, mean_of(values), std::max(threads, 1)}, f, grid.step};
    const double a_lo = amplitude_at(offset.in, f - grid.step), a_mid = amplitude_at(offset.in, f),
                 a_hi = amplitude_at(offset.in, f + grid.step);
    if (!(a_mid > a_lo && a_mid > a_hi)) return f;

    gsl_set_error_handler_off();
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
        sin_cos_cycles(arg.data(), s.data(), c.data(), m);
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
    gsl_set_error_handler_off();
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
