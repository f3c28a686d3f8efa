// The exponential of the spreading kernel, inline so that the loops that
// call it are vectorised.
#pragma once

#include <bit>
#include <cstdint>

namespace spectrum::detail {

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

}  // namespace spectrum::detail
