// Small numerical kernels of the amplitude spectrum, inline so that the
// loops that call them are vectorised: phases in cycles kept to the last
// bit over long time spans, and sine and cosine of 2 pi r.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace spectrum::numerics {

// The hottest loops are compiled for the wider vector units as well and the
// best the processor has is chosen at run time.  Every clone performs the
// same operations in the same order (no contraction into fused
// multiply-adds, no reassociation), so the results do not depend on the
// clone chosen.
#if defined(__x86_64__) && !defined(SPECTRUM_NO_CLONES)
#define SPECTRUM_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define SPECTRUM_VECTOR_CLONES
#endif

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

// Taylor coefficients 1 / k! of exp(r), k = 0 .. 13.
struct ExpSeries {
    double coefficient[14];
};

constexpr ExpSeries exp_series()
{
    ExpSeries s{};
    long double term = 1.0L;
    for (int k = 0; k <= 13; ++k) {
        if (k > 0) term /= k;
        s.coefficient[k] = static_cast<double>(term);
    }
    return s;
}

inline constexpr ExpSeries exp_taylor = exp_series();

// exponential: e^y for moderate y.
//   Given:    y   in [-700, 700]
//   Returned: e^y, within about two units of the last place
//   Notes: 1. y = k ln 2 + r with k the nearest integer to y / ln 2 and
//             |r| <= ln 2 / 2 (ln 2 in two parts, the first with trailing
//             zero bits, so k ln2_hi is exact); e^r by its Taylor series to
//             r^13 (error below 5e-18); 2^k placed in the exponent bits.
//          2. The bits of 2^k come from the rounding constant's low bits:
//             integer additions and shifts only, so the loops that use it
//             are vectorised (the library's exp is not).
inline double exponential(double y)
{
    constexpr double log2e = 1.4426950408889634074;
    constexpr double ln2_hi = 6.93147180369123816490e-01;
    constexpr double ln2_lo = 1.90821492927058770002e-10;
    constexpr double shifter = 6755399441055744.0;  // 1.5 * 2^52
    constexpr std::uint64_t exponent_bias = 1023;
    double shifted = y * log2e + shifter;
    double k = shifted - shifter;
    double r = (y - k * ln2_hi) - k * ln2_lo;
    const auto& c = exp_taylor.coefficient;
    double p = c[13];
    for (int i = 12; i >= 0; --i) p = p * r + c[i];
    // The low mantissa bits of `shifted` hold k modulo 2^51; shifted left
    // by 52 only k + 1023 modulo 2^12 remains: the exponent of 2^k.
    std::uint64_t scale = (std::bit_cast<std::uint64_t>(shifted) + exponent_bias) << 52;
    return p * std::bit_cast<double>(scale);
}

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

}  // namespace spectrum::numerics
