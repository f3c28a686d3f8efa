#include "phases.hpp"

#include <algorithm>

#include "wide/wide_kernels.hpp"

namespace spectrum::detail {

using numerics::fraction;
using numerics::product;
using numerics::Split;

namespace {

// The exact difference a - b of two doubles as hi + lo (Knuth's two-sum).
Split difference(double a, double b)
{
    double s = a - b;
    double bb = s - a;
    double err = (a - (s - bb)) + (-b - bb);
    return {s, err};
}

// The phase f (hi + lo) in cycles as an exact-enough pair: the product of
// f and hi exactly, the small product f lo rounded.
Split cycles(double f, double hi, double lo)
{
    Split p = product(f, hi);
    return {p.hi, p.lo + f * lo};
}

// phases_along: each point's reduced phase at fmin and its reduced advance
// per step (hi + lo), from the exact times hi + lo.
SUITE_KERNEL_BODY void phases_along(const double* hi, const double* lo, std::size_t n, double fmin, double step,
                                    double* start, double* advance_hi, double* advance_lo)
{
    for (std::size_t k = 0; k < n; ++k) {
        start[k] = fraction(cycles(fmin, hi[k], lo[k]));
        Split a = cycles(step, hi[k], lo[k]);
        advance_hi[k] = numerics::fraction_of(a.hi);
        advance_lo[k] = a.lo;
    }
}

// phases_at: grid_cycles of observations 0 .. n - 1 at grid index j.
SUITE_KERNEL_BODY void phases_at(const double* start, const double* advance_hi, const double* advance_lo,
                                 std::size_t n, double j, double* cycles)
{
    for (std::size_t k = 0; k < n; ++k) cycles[k] = grid_cycles(start[k], advance_hi[k], advance_lo[k], j);
}

}  // namespace

Times relative_times(std::span<const double> t)
{
    auto [low, high] = std::minmax_element(t.begin(), t.end());
    Times times;
    times.middle = *low / 2.0 + *high / 2.0;  // no overflow at any finite pair
    times.hi.resize(t.size());
    times.lo.resize(t.size());
    for (std::size_t k = 0; k < t.size(); ++k) {
        Split d = difference(t[k], times.middle);
        times.hi[k] = d.hi;
        times.lo[k] = d.lo;
    }
    return times;
}

PointPhases point_phases(const Times& times, const Grid& grid)
{
    std::size_t n = times.size();
    double step = grid.count > 1 ? grid.step : 0.0;  // a single frequency has no step
    PointPhases p;
    p.start.resize(n);
    p.advance_hi.resize(n);
    p.advance_lo.resize(n);
    suite::widest_form<phases_along>(times.hi.data(), times.lo.data(), n, grid.fmin, step, p.start.data(),
                                     p.advance_hi.data(), p.advance_lo.data());
    return p;
}

double cycles_at(const Times& times, std::size_t k, double f)
{
    return fraction(cycles(f, times.hi[k], times.lo[k]));
}

void grid_phases(const PointPhases& phases, double j, std::span<double> cycles)
{
    suite::widest_form<phases_at>(phases.start.data(), phases.advance_hi.data(), phases.advance_lo.data(),
                                  std::min(phases.size(), cycles.size()), j, cycles.data());
}

}  // namespace spectrum::detail
