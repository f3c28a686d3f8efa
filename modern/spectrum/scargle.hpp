// The Scargle amplitude at one frequency from the sums of the data and of
// unit weights, and its direct form where those sums cannot give it.
#pragma once

#include <cstddef>
#include <span>

#include "phases.hpp"

namespace spectrum::detail {

// The two sums at one frequency f, with phases theta_k = 2 pi f t_k:
// Z = sum x_k exp(-i theta_k) of the centred values and
// W = sum exp(-2 i theta_k) of unit weights (Press & Rybicki 1989, ApJ 338, 277).
struct Sums {
    double zr = 0.0, zi = 0.0;
    double wr = 0.0, wi = 0.0;
};

// Where the observations' phases at 2f nearly coincide (n - |W| below this
// fraction of n), the closed form loses digits: such frequencies are
// computed by direct_amplitude.
inline constexpr double direct_margin = 1e-3;

// needs_direct: whether the closed form would lose digits at these sums.
bool needs_direct(const Sums& sums, double n);

// The part of the closed form that the unit weights' sum W alone decides
// (the same for every series at these times): R = |W| and the unit vector
// (ux, uy) at half the angle of W.
struct UnitTerms {
    double ux = 1.0, uy = 0.0, r = 0.0;
};

UnitTerms unit_terms(double wr, double wi);

// amplitude_from_sums: the Scargle amplitude sqrt(4 P / n).
//   Given:    sums  Z and W at the frequency
//             n     number of observations
//   Returned: the amplitude
//   Notes: 1. With R = |W| and u the unit vector at half the angle of W,
//             a + ib = conj(u) Z are the sums of x cos and x sin of the
//             phases shifted so that the sine and cosine terms are
//             orthogonal, and P = a^2 / (n + R) + b^2 / (n - R)
//             ((n + R) / 2 and (n - R) / 2 are the sums of cos^2 and sin^2).
//          2. Each term is a square, so the amplitude is a norm of (a, b):
//             its error is that of the sums, even where it is near zero.
//          3. Only for sums where needs_direct is false.
double amplitude_from_sums(const Sums& sums, double n);

// direct_amplitude: the Scargle amplitude at one grid frequency by direct
// sums over the observations (numerics::scargle_amplitude on the
// observations' phases there).
//   Given:    phases   the observations' phases along the grid
//             centred  the values minus their mean
//             j        grid index
//   Returned: the amplitude
double direct_amplitude(const PointPhases& phases, std::span<const double> centred, std::size_t j);

// is_zero_frequency: whether grid frequency j is exactly zero as a real
// number (fmin + j step = 0), where the power is 0/0.
bool is_zero_frequency(const Grid& grid, std::size_t j);

}  // namespace spectrum::detail
