#include "scargle.hpp"

#include <cmath>
#include <vector>

#include "numerics/scargle.hpp"

namespace spectrum::detail {

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
    std::vector<double> cycles(phases.size());
    grid_phases(phases, static_cast<double>(j), cycles);
    return numerics::scargle_amplitude(cycles, centred);
}

bool is_zero_frequency(const Grid& grid, std::size_t j)
{
    numerics::Split p = numerics::product(static_cast<double>(j), grid.step);
    return grid.fmin == -p.hi && p.lo == 0.0;
}

}  // namespace spectrum::detail
