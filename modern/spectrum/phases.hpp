// Phases of the observations along the frequency grid, in cycles, kept to
// the last bit however long the time span and however far the times are
// from zero.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "numerics/cycles.hpp"
#include "spectrum/spectrum.hpp"

namespace spectrum::detail {

// Observation times relative to the middle of their span, each as the
// exact difference hi + lo.
struct Times {
    double middle = 0.0;
    std::vector<double> hi;
    std::vector<double> lo;

    std::size_t size() const { return hi.size(); }
};

// relative_times: the times relative to the middle of their span.
//   Given:    t   finite times, at least one
//   Returned: the middle and each t - middle as an exact pair
//   Notes: 1. With the origin in the middle the products f (t - middle)
//             are as small as they can be; the difference is carried
//             exactly because t - middle is not exact when t is far
//             from the middle compared with its size.
Times relative_times(std::span<const double> t);

// Per observation k, its phase at the first grid frequency and its phase
// advance from one grid frequency to the next, both in cycles reduced to
// [-1/2, 1/2]: the advance as hi + lo.
struct PointPhases {
    std::vector<double> start;
    std::vector<double> advance_hi;
    std::vector<double> advance_lo;

    std::size_t size() const { return start.size(); }
};

// point_phases: the phases of every observation along the grid.
//   Given:    times  relative times
//             grid   the frequency grid
//   Returned: fmin (t - middle) and step (t - middle), reduced
//   Notes: 1. Products are carried exactly (rounded product plus its
//             error from a fused multiply-add) before the whole cycles are
//             removed: at BJD 2457000 a plain product would lose the last
//             digits of every phase.
PointPhases point_phases(const Times& times, const Grid& grid);

// cycles_at: the phase in cycles, in [-1/2, 1/2], of an observation at a
// frequency f.
//   Given:    times, k  the observation; f the frequency
//   Returned: f (t_k - middle) minus its nearest integer
double cycles_at(const Times& times, std::size_t k, double f);

// grid_cycles: the phase in cycles, in [-1/2, 1/2], of an observation at
// grid frequency j, for the real frequency fmin + j step.
//   Given:    start, advance_hi, advance_lo  the observation's entries of
//             PointPhases; j the grid index (as a double, below 2^52)
//   Returned: start + j advance, minus its nearest integer
//   Notes: 1. j times the advance is exact as a product pair, and its
//             whole cycles go before any addition, so the phase is good
//             to a few units of 1e-16 cycles at any j.
inline double grid_cycles(double start, double advance_hi, double advance_lo, double j)
{
    numerics::Split p = numerics::product(j, advance_hi);
    double r = start + numerics::fraction_of(p.hi);
    r += p.lo + j * advance_lo;
    return numerics::fraction_of(r);
}

// grid_phases: grid_cycles of every observation at grid index j.
//   Given:    phases  the observations' phases along the grid
//             j       the grid index (as a double, below 2^52)
//   Returned: cycles  one phase per observation, in [-1/2, 1/2]
void grid_phases(const PointPhases& phases, double j, std::span<double> cycles);

}  // namespace spectrum::detail
