#include "extraction/model.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace extraction {
namespace {

// 1.5 * 2^52: adding and subtracting it rounds a double of magnitude below
// 2^51 to the nearest integer (ties to even) in the current rounding mode,
// with plain additions the compiler can vectorise.
constexpr double round_shift = 6755399441055744.0;

inline double nearest_integer(double y) { return (y + round_shift) - round_shift; }

// Taylor coefficients (-1)^k / (2k+1)! and (-1)^k / (2k)!; on |a| <= pi/4
// the first omitted terms are below 7e-17 and 3e-18 of the result.
constexpr double s3 = -1.0 / 6.0, s5 = 1.0 / 120.0, s7 = -1.0 / 5040.0, s9 = 1.0 / 362880.0,
                 s11 = -1.0 / 39916800.0, s13 = 1.0 / 6227020800.0, s15 = -1.0 / 1307674368000.0;
constexpr double c2 = -0.5, c4 = 1.0 / 24.0, c6 = -1.0 / 720.0, c8 = 1.0 / 40320.0, c10 = -1.0 / 3628800.0,
                 c12 = 1.0 / 479001600.0, c14 = -1.0 / 87178291200.0, c16 = 1.0 / 20922789888000.0;

}  // namespace

// On x86-64 the loop is also built for the wider vector units, chosen when
// the program starts; every lane does the same operations in the same
// order (no fused multiply-add), so the results are the same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void sin_cos_cycles(const double* x, double* s, double* c, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k) {
        const double y = 4.0 * x[k];                 // quarter cycles, exact
        const double q = nearest_integer(y);
        const double a = (y - q) * (0.25 * two_pi);  // |a| <= pi/4
        const double a2 = a * a;
        const double sin_a =
            a + a * a2 * (s3 + a2 * (s5 + a2 * (s7 + a2 * (s9 + a2 * (s11 + a2 * (s13 + a2 * s15))))));
        const double cos_a =
            1.0 + a2 * (c2 + a2 * (c4 + a2 * (c6 + a2 * (c8 + a2 * (c10 + a2 * (c12 + a2 * (c14 + a2 * c16)))))));
        // The quarter turns q modulo 4, as m in -2..2, and the sine and
        // cosine of m pi / 2, which are 0 or +-1.
        const double m = q - 4.0 * nearest_integer(0.25 * q);
        const double am = std::fabs(m);
        const double cos_m = 1.0 - am;
        const double sin_m = m * (2.0 - am);
        s[k] = sin_a * cos_m + cos_a * sin_m;
        c[k] = cos_a * cos_m - sin_a * sin_m;
    }
}

void evaluate(const Model& model, std::span<const double> tau, std::span<double> out)
{
    constexpr std::size_t block = 256;
    std::array<double, block> arg, s, c;
    const std::size_t n = std::min(tau.size(), out.size());
    for (std::size_t k0 = 0; k0 < n; k0 += block) {
        const std::size_t m = std::min(block, n - k0);
        std::fill_n(out.begin() + k0, m, model.constant);
        for (const Sinusoid& term : model.terms) {
            for (std::size_t k = 0; k < m; ++k) arg[k] = term.frequency * tau[k0 + k] + term.phase;
            sin_cos_cycles(arg.data(), s.data(), c.data(), m);
            for (std::size_t k = 0; k < m; ++k) out[k0 + k] += term.amplitude * s[k];
        }
    }
}

}  // namespace extraction
