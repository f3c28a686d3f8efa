#include "spectrum/scargle.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace spectrum::detail {

using numerics::sincos_cycles;

namespace {

// The unit vector at half the angle of the unit vector (c, s), taken in
// the right half-plane when c >= 0: the half-angle formulas chosen so that
// neither divides by a small number.
struct Unit {
    double x = 1.0, y = 0.0;
};

Unit half_angle(double c, double s)
{
    if (c >= 0.0) {
        double x = std::sqrt((1.0 + c) / 2.0);
        return {x, s / (2.0 * x)};
    }
    double y = std::copysign(std::sqrt((1.0 - c) / 2.0), s);
    return {s / (2.0 * y), y};
}

// Power a^2 / (2 cc) + b^2 / (2 ss) of the time-shifted form; a term whose
// basis function vanishes at every observation contributes nothing.
double shifted_power(double a, double b, double cc, double ss)
{
    double p = 0.0;
    if (cc > 0.0) p += a * a / (2.0 * cc);
    if (ss > 0.0) p += b * b / (2.0 * ss);
    return p;
}

// Observations whose sines and cosines are formed together, before they
// are summed in order.
constexpr std::size_t chunk_size = 1024;

struct ChunkTrig {
    double cos[chunk_size];
    double sin[chunk_size];
};

// chunk_trig: cosine and sine of scale * phase + shift (in cycles) at grid
// frequency j for observations k0 .. k0 + count - 1.
SPECTRUM_VECTOR_CLONES
void chunk_trig(const PointPhases& phases, std::size_t k0, std::size_t count, double j, double scale,
                double shift, ChunkTrig& out)
{
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t k = k0 + i;
        double r = grid_cycles(phases.start[k], phases.advance_hi[k], phases.advance_lo[k], j);
        numerics::SinCos e = sincos_cycles(scale * r + shift);
        out.cos[i] = e.cos;
        out.sin[i] = e.sin;
    }
}

}  // namespace

bool needs_direct(const Sums& sums, double n)
{
    double r = std::sqrt(sums.wr * sums.wr + sums.wi * sums.wi);
    return n - r < direct_margin * n;
}

UnitTerms unit_terms(double wr, double wi)
{
    double r = std::sqrt(wr * wr + wi * wi);
    Unit u = r > 0.0 ? half_angle(wr / r, wi / r) : Unit{};
    return {u.x, u.y, r};
}

double amplitude_from_sums(const Sums& sums, double n)
{
    UnitTerms u = unit_terms(sums.wr, sums.wi);
    double a = u.ux * sums.zr + u.uy * sums.zi;
    double b = u.ux * sums.zi - u.uy * sums.zr;
    double p = a * a / (n + u.r) + b * b / (n - u.r);
    return 2.0 * std::sqrt(p / n);
}

double direct_amplitude(const PointPhases& phases, std::span<const double> centred, std::size_t j)
{
    std::size_t n = phases.size();
    double jj = static_cast<double>(j);
    ChunkTrig e;
    double wr = 0.0, wi = 0.0;
    for (std::size_t k0 = 0; k0 < n; k0 += chunk_size) {
        std::size_t count = std::min(chunk_size, n - k0);
        chunk_trig(phases, k0, count, jj, 2.0, 0.0, e);
        for (std::size_t i = 0; i < count; ++i) {
            wr += e.cos[i];
            wi -= e.sin[i];
        }
    }
    // Phases shifted by half the angle of W (in cycles): the shifted
    // phases' doubled sines sum to zero.
    double shift = std::atan2(wi, wr) / (4.0 * std::numbers::pi);
    double a = 0.0, b = 0.0, cc = 0.0, ss = 0.0;
    for (std::size_t k0 = 0; k0 < n; k0 += chunk_size) {
        std::size_t count = std::min(chunk_size, n - k0);
        chunk_trig(phases, k0, count, jj, 1.0, shift, e);
        for (std::size_t i = 0; i < count; ++i) {
            a += centred[k0 + i] * e.cos[i];
            b += centred[k0 + i] * e.sin[i];
            cc += e.cos[i] * e.cos[i];
            ss += e.sin[i] * e.sin[i];
        }
    }
    return 2.0 * std::sqrt(shifted_power(a, b, cc, ss) / static_cast<double>(n));
}

bool is_zero_frequency(const Grid& grid, std::size_t j)
{
    numerics::Split p = numerics::product(static_cast<double>(j), grid.step);
    return grid.fmin == -p.hi && p.lo == 0.0;
}

}  // namespace spectrum::detail
