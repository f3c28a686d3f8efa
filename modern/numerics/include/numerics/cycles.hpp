// Angles in cycles: the one sine and cosine of the modern program, the
// exact products and reductions that keep phases to the last bit over long
// time spans, and two pi.  Inline, so that the loops that call them are
// vectorised (in every form of widest_form, base/wide).
#pragma once

#include <cmath>
#include <cstddef>
#include <span>

namespace numerics {

// Two pi: the double nearest to it.  Every angle in radians is two_pi
// times a number of cycles; its rounding (2.4e-16 relative) is the only
// error a conversion adds.
inline constexpr double two_pi = 6.283185307179586;

// A quantity carried as the unevaluated sum hi + lo of two doubles.
struct Split {
    double hi = 0.0;
    double lo = 0.0;
};

// round_small: x rounded to the nearest integer (ties to even), for
// |x| < 2^51.
//   Notes: 1. Adding and removing 1.5 * 2^52 leaves the integer part in
//             round-to-nearest.  Written this way rather than as
//             std::nearbyint so that it is inline and vectorised on every
//             processor.
inline double round_small(double x)
{
    constexpr double shifter = 6755399441055744.0;  // 1.5 * 2^52
    return (x + shifter) - shifter;
}

// product: a * b exactly, as the rounded product and its rounding error.
//   Given:    a, b
//   Returned: {p, e} with p = fl(a b) and p + e = a b exactly
//   Notes: 1. The error is recovered by one fused multiply-add, written
//             out explicitly (the build never fuses on its own).
inline Split product(double a, double b)
{
    double p = a * b;
    return {p, std::fma(a, b, -p)};
}

// fraction_of: the fractional part of a number of cycles, |c| < 2^51, in
// [-1/2, 1/2]: c minus its nearest integer, exactly.
inline double fraction_of(double c) { return c - round_small(c); }

// fraction: the fractional part of hi + lo cycles, |hi| < 2^51, |lo| small.
//   Notes: 1. hi minus its nearest integer is exact, so no digit of the
//             fraction is lost however many whole cycles hi holds.
inline double fraction(Split c) { return fraction_of(fraction_of(c.hi) + c.lo); }

// Taylor coefficients of sin(pi z / 2) and cos(pi z / 2) in z, computed in
// extended precision when the program is compiled.
struct QuarterTurnSeries {
    double sine[9];    // of z^1, z^3, ..., z^17
    double cosine[9];  // of z^0, z^2, ..., z^16
};

constexpr QuarterTurnSeries quarter_turn_series()
{
    constexpr long double half_pi = 1.570796326794896619231321691639751442L;
    QuarterTurnSeries s{};
    long double term = 1.0L;  // (pi/2)^k / k!, with its sign
    for (int k = 0; k <= 17; ++k) {
        if (k > 0) term = term * half_pi / k;
        long double signed_term = ((k / 2) % 2 == 0) ? term : -term;
        if (k % 2 == 0)
            s.cosine[k / 2] = static_cast<double>(signed_term);
        else
            s.sine[k / 2] = static_cast<double>(signed_term);
    }
    return s;
}

inline constexpr QuarterTurnSeries quarter_turn = quarter_turn_series();

// Sine and cosine of one angle.
struct SinCos {
    double sin = 0.0;
    double cos = 1.0;
};

// sincos_cycles: sin(2 pi r) and cos(2 pi r) for r in cycles.
//   Given:    r   the angle in cycles, |r| < 2^50
//   Returned: the sine and cosine, within about one unit of the last place
//   Notes: 1. Whole cycles, then half turns h, then quarter turns n are
//             split off exactly (each step doubles an exact remainder and
//             removes its nearest integer), leaving z in [-1/2, 1/2]
//             quarter turns, |angle| <= pi/4.  Taylor series to z^17 and
//             z^16 are below 1e-17 in error there.
//          2. A half turn negates both; a quarter turn n = +-1 turns
//             (s, c) into (n c, -n s).  Both are written as products with
//             0, 1 or -1, which are exact: no branch and no comparison, so
//             the loops that use it are vectorised, about eight times
//             cheaper than the library's sine and cosine.
inline SinCos sincos_cycles(double r)
{
    double turn = r - round_small(r);
    double y = 2.0 * turn;
    double h = round_small(y);
    double half = 2.0 * (y - h);
    double n = round_small(half);
    double z = half - n;
    double z2 = z * z;
    const auto& q = quarter_turn;
    double ps = q.sine[8];
    double pc = q.cosine[8];
    for (int i = 7; i >= 0; --i) {
        ps = ps * z2 + q.sine[i];
        pc = pc * z2 + q.cosine[i];
    }
    double s = ps * z, c = pc;
    double sign = 1.0 - 2.0 * std::fabs(h);
    double keep = 1.0 - std::fabs(n);
    return {sign * (keep * s + n * c), sign * (keep * c - n * s)};
}

// sincos_cycles: sin(2 pi r_k) and cos(2 pi r_k) of n angles in cycles,
// each exactly as the single form above.
//   Given:    cycles  n angles, |r| < 2^50
//   Returned: sine, cosine  n values each (they may not overlap cycles)
//   Notes: 1. The loop runs in the widest vector form the processor has.
void sincos_cycles(const double* cycles, double* sine, double* cosine, std::size_t n);

// phases_of: the phase in cycles, in [-1/2, 1/2], of f tau_k for each k:
// the product exact (rounded product plus its error) before the whole
// cycles are removed, so the phase of a long series keeps its last bits.
//   Given:    f      frequency, c/d;  tau  n times, days, |f tau| < 2^51
//   Returned: cycles n phases
void phases_of(double f, std::span<const double> tau, std::span<double> cycles);

}  // namespace numerics
