#include "spectrum/sampling_sums.hpp"

#include <gsl/gsl_integration.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <numbers>

#include "numerics/cycles.hpp"
#include "numerics/parallel.hpp"
#include "nufft.hpp"

namespace spectrum {

namespace {

using numerics::Split;
namespace sd = detail;

// The interpolation kernel: the spectrum's widest, 16 points; any nu has
// at most 17 grid values within its reach.
constexpr int kernel_points = sd::widest_kernel;
constexpr int lanes = kernel_points + 1;
// Gauss-Legendre nodes for the kernel's Fourier transform (a size GSL
// tabulates; the integrand is analytic after the substitution below).
constexpr std::size_t transform_nodes = 32;
// Points per task in the set-up.
constexpr std::size_t points_per_block = 8192;

double weight_of(std::span<const double> weights, std::size_t n) { return weights.empty() ? 1.0 : weights[n]; }

// The phase nu tau in cycles, reduced to [-1/2, 1/2], exactly formed.
double cycles_of(double nu, double tau) { return numerics::fraction(numerics::product(nu, tau)); }

// The exact difference a - b as hi + lo (Knuth's two-sum).
Split difference(double a, double b)
{
    const double s = a - b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (-b - bb)};
}

// grid_step: the step h of the frequency grid for times within +-R of
// their middle: the largest number with eight significant bits not above
// 1 / (4 R), so that h x is an exact product pair for any double x and
// h (m + J) is exact for any grid index.
double grid_step(double half_span)
{
    if (!(half_span > 0.0)) return 1.0;
    const double target = 0.25 / half_span;
    const double unit = std::ldexp(1.0, std::ilogb(target) - 7);
    return std::floor(target / unit) * unit;
}

// A quadrature rule for the kernel's Fourier transform
//   Phi(xi) = int phi(z) exp(-2 pi i z xi) dz = 2 int_0^(w/2) phi(z) cos(2 pi z xi) dz,
// z in cells: Phi(xi) = sum_i coefficient_i cos(2 pi node_i xi).  With
// z = (w/2) sin(theta) the square root of the kernel becomes cos(theta)
// and the integrand is analytic, so Gauss-Legendre converges fast (in z
// the edge of the kernel is a square-root singularity that costs digits).
struct TransformRule {
    std::vector<double> coefficient, node;
};

TransformRule transform_rule(const sd::Kernel& kernel)
{
    std::unique_ptr<gsl_integration_glfixed_table, decltype(&gsl_integration_glfixed_table_free)> table(
        gsl_integration_glfixed_table_alloc(transform_nodes), gsl_integration_glfixed_table_free);
    if (!table) throw std::bad_alloc();
    TransformRule rule;
    for (std::size_t i = 0; i < transform_nodes; ++i) {
        double theta = 0.0, w = 0.0;
        gsl_integration_glfixed_point(0.0, std::numbers::pi / 2.0, i, &theta, &w, table.get());
        const double z = kernel.half_width * std::sin(theta);
        rule.coefficient.push_back(2.0 * w * kernel.half_width * std::cos(theta) * sd::kernel_value(kernel, z));
        rule.node.push_back(z);
    }
    return rule;
}

double kernel_transform(const TransformRule& rule, double xi)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < rule.node.size(); ++i)
        sum += rule.coefficient[i] * numerics::sincos_cycles(rule.node[i] * xi).cos;
    return sum;
}

// The points about the middle of their span: x = tau - tau_c as an exact
// pair, and their positions -h x on the type-1 transform's circle.
struct Centred {
    numerics::LargeVector<Split> x;
    numerics::LargeVector<double> position_hi, position_lo;
};

Centred centred_points(std::span<const double> tau, double centre, double step)
{
    Centred c;
    c.x.resize(tau.size());
    c.position_hi.resize(tau.size());
    c.position_lo.resize(tau.size());
    for (std::size_t n = 0; n < tau.size(); ++n) {
        c.x[n] = difference(tau[n], centre);
        const Split p = numerics::product(-step, c.x[n].hi);
        c.position_hi[n] = p.hi;
        c.position_lo[n] = p.lo - step * c.x[n].lo;
    }
    return c;
}

// The common factor of each point's coefficients, in the layout's order:
// w^2 exp(2 pi i A x) / Phi(h x), A = (first + J) h, so that mode j of the
// transform is sum_n w^2 tau^k / Phi(h x) exp(2 pi i (first + j) h x).
numerics::LargeVector<std::complex<double>> point_factors(const Centred& c, const sd::Layout& layout,
                                                std::span<const double> weights, double shift, double step,
                                                const TransformRule& rule, int threads)
{
    const std::size_t n = c.x.size();
    numerics::LargeVector<std::complex<double>> factor(n);
    const std::size_t blocks = (n + points_per_block - 1) / points_per_block;
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        const std::size_t end = std::min(n, (b + 1) * points_per_block);
        for (std::size_t p = b * points_per_block; p < end; ++p) {
            const std::size_t k = layout.order[p];
            const Split phase = numerics::product(shift, c.x[k].hi);
            const double cycles = numerics::fraction({phase.hi, phase.lo + shift * c.x[k].lo});
            const numerics::SinCos e = numerics::sincos_cycles(cycles);
            const double w = weight_of(weights, k);
            const double scale = w * w / kernel_transform(rule, step * c.x[k].hi);
            factor[p] = {scale * e.cos, scale * e.sin};
        }
    });
    return factor;
}

}  // namespace

WindowSums direct_window_sums(std::span<const double> tau, std::span<const double> weights, double nu)
{
    WindowSums out;
    for (std::size_t n = 0; n < tau.size(); ++n) {
        const double w = weight_of(weights, n);
        const numerics::SinCos e = numerics::sincos_cycles(cycles_of(nu, tau[n]));
        const std::complex<double> term(w * w * e.cos, w * w * e.sin);
        out.s[0] += term;
        out.s[1] += tau[n] * term;
        out.s[2] += tau[n] * tau[n] * term;
    }
    return out;
}

SamplingSums::SamplingSums(std::span<const double> tau, std::span<const double> weights, double highest,
                           int threads)
    : tau_(tau.begin(), tau.end()), weights_(weights.begin(), weights.end()),
      highest_(std::isfinite(highest) ? std::fabs(highest) : 0.0), kernel_(std::make_shared<const sd::Kernel>(sd::kernel_of_width(kernel_points)))
{
    for (std::size_t n = 0; n < tau_.size(); ++n) {
        const double w2 = weight_of(weights_, n) * weight_of(weights_, n);
        at_zero_.s[0] += w2;
        at_zero_.s[1] += w2 * tau_[n];
        at_zero_.s[2] += w2 * tau_[n] * tau_[n];
    }
    if (tau_.empty()) return;
    const auto [low, high] = std::minmax_element(tau_.begin(), tau_.end());
    centre_ = *low / 2.0 + *high / 2.0;
    step_ = grid_step(*high / 2.0 - *low / 2.0);
    const long reach = kernel_points / 2 + 1;
    first_ = -reach;
    const std::size_t count = static_cast<std::size_t>(std::ceil(highest_ / step_)) + 2 * reach + 1;

    const sd::FinePlan plan(count, kernel_points, threads);
    const Centred c = centred_points(tau_, centre_, step_);
    const sd::Layout layout = sd::make_layout(plan, c.position_hi, c.position_lo, 1.0);
    const double shift = static_cast<double>(first_ + static_cast<long>(plan.centre)) * step_;
    const numerics::LargeVector<std::complex<double>> factor =
        point_factors(c, layout, weights_, shift, step_, transform_rule(*kernel_), threads);

    grid_.resize(count);
    sd::FineGrid fine(plan.fine + static_cast<std::size_t>(kernel_points));
    numerics::LargeVector<std::complex<double>> coefficient(tau_.size());
    for (int k = 0; k < window_orders; ++k) {
        for (std::size_t p = 0; p < coefficient.size(); ++p) {
            const double t = tau_[layout.order[p]];
            coefficient[p] = factor[p] * (k == 0 ? 1.0 : k == 1 ? t : t * t);
        }
        sd::transform(plan, layout, coefficient, threads, fine);
        for (std::size_t j = 0; j < count; ++j) grid_[j][static_cast<std::size_t>(k)] = sd::mode_sum(plan, fine, j);
    }
}

WindowSums SamplingSums::at(double nu) const
{
    if (nu == 0.0) return at_zero_;
    if (nu < 0.0) {
        WindowSums out = at(-nu);
        for (std::complex<double>& s : out.s) s = std::conj(s);
        return out;
    }
    if (!(nu <= highest_) || grid_.empty()) return direct_window_sums(tau_, weights_, nu);

    // The kernel at the 17 grid frequencies from ceil(z - 8) on; those
    // past z + 8 are masked (their distance is clamped so that the square
    // root stays real).
    const double z = nu / step_;
    const double lowest = std::ceil(z - kernel_->half_width);
    double phi[lanes];
    for (int q = 0; q < lanes; ++q) {
        const double d = std::fabs(z - (lowest + q));
        const double inside = d <= kernel_->half_width ? 1.0 : 0.0;
        phi[q] = inside * sd::kernel_value(*kernel_, std::min(d, kernel_->half_width));
    }
    const std::size_t j0 = static_cast<std::size_t>(static_cast<long>(lowest) - first_);
    WindowSums out;
    for (int k = 0; k < window_orders; ++k) {
        double re = 0.0, im = 0.0;
        for (int q = 0; q < lanes; ++q) {
            const std::complex<double>& g = grid_[j0 + static_cast<std::size_t>(q)][static_cast<std::size_t>(k)];
            re += phi[q] * g.real();
            im += phi[q] * g.imag();
        }
        out.s[static_cast<std::size_t>(k)] = {re, im};
    }
    const numerics::SinCos e = numerics::sincos_cycles(cycles_of(nu, centre_));
    const std::complex<double> turn(e.cos, e.sin);
    for (std::complex<double>& s : out.s) s *= turn;
    return out;
}

std::size_t SamplingSums::bytes(std::size_t n, double highest, double span)
{
    constexpr double most = 0x1p63;
    // The grid step is 1 / (2 T) rounded down to eight significant bits:
    // at most 2.02 T highest + 19 grid frequencies of three complex sums.
    const double count = 2.02 * std::fabs(span) * std::fabs(highest) + 19.0;
    if (!(count < 0x1p40)) return static_cast<std::size_t>(-1);
    const auto modes = static_cast<std::size_t>(count);
    const double kept = 48.0 * count + 16.0 * static_cast<double>(n);
    // While built: the transform (layout, fine grid, FFTW's tables), the
    // centred points, their factors and one set of coefficients.
    const double building = static_cast<double>(sd::nufft_bytes(n, modes, Spreading{kernel_points, 2.0})) +
                            (24.0 + 16.0 + 16.0 + 16.0) * static_cast<double>(n);
    const double total = kept + building;
    return total >= most ? static_cast<std::size_t>(-1) : static_cast<std::size_t>(total);
}

}  // namespace spectrum
