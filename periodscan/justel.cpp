// justel: Jurkevich-Stellingwerf phase-dispersion statistic over an
// equidistant frequency grid.
//   Given:    n        number of observations
//             t, x     times (first 0) and values (centred on their mean)
//             fstart   first trial frequency, fstep the step (may be < 0)
//             nf       number of trial frequencies, at least 1
//             nb, nc   bins and covers (nc below 2: one cover)
//             var      variance of the values; ss their sum of squares
//   Returned: f1, s1   the trial frequencies and the statistic at each
//   Notes: 1. The values are folded on the trial period and grouped into
//             phase bins; the statistic is the pooled variance within the
//             bins over the total variance: near 1 without a coherent
//             variation, small at a true period.  With covers the circle
//             is cut into m = nb*nc fine bins and each window of nc
//             consecutive fine bins (wrapping from phase 1 to 0) is a bin.
//          2. Phases are t*f reduced to [0, 1): a negative product (a time
//             before the first record, a negative frequency) is folded by
//             adding 1.0, and a phase that rounds up to m fine bins is
//             clamped into the last one; a phase that is not a number (t*f
//             beyond the range of a double) is counted in the first bin.
//          3. Speed without changing a bit: fmod(p, 1.0) equals p - trunc(p)
//             exactly, but for the sign of a zero result, which the bin
//             index cannot see.  The frequencies go in blocks of eight,
//             each with its own tables, so that eight independent streams
//             of bin updates overlap while every bin still receives its
//             observations in order 1..n; the phases of a block are formed
//             as vectors.
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/wide_kernels.hpp"
#include "periodscan/periodscan.hpp"

namespace periodscan {
namespace {

constexpr int block = 8;  // frequencies binned together

// The tables of one block of frequencies: per frequency the sum and the
// count of each fine bin, and the copies of the first nc - 1 kept for the
// windows that wrap around.
double sum[block][maxbins];
int count[block][maxbins];
double sumcopy[maxbins];
int countcopy[maxbins];
#ifdef SUITE_WIDE_KERNELS
// Bin index (from 0) of each observation for each frequency of a block.
alignas(32) int binof[block];
#endif

// The 0-based fine bin of a phase product p = t*f, m fine bins.
inline int fine_bin(double p, int m)
{
    double phi = p - std::trunc(p);
    if (phi < 0.0) phi = phi + 1.0;
    double y = m * phi;
    int b = y >= 0.0 ? static_cast<int>(y) : 0;
    return b > m - 1 ? m - 1 : b;
}

// The statistic of one frequency from its fine-bin tables (which it
// changes into window tables when there are covers).
double dispersion(int n, int nb, int nc, double var, double ss, double* s, int* c)
{
    double W, D;
    int m = nc < 2 ? nb : nb * nc;
    if (nc < 2) {
        W = ss;
        D = n - nb;
    } else {
        for (int b = 0; b < nc - 1; ++b) {
            sumcopy[b] = s[b];
            countcopy[b] = c[b];
        }
        for (int b = 0; b < m - nc + 1; ++b)
            for (int i = b + 1; i <= b + nc - 1; ++i) {
                s[b] = s[b] + s[i];
                c[b] = c[b] + c[i];
            }
        for (int b = m - nc + 1; b < m; ++b) {
            for (int i = b + 1; i < m; ++i) {
                s[b] = s[b] + s[i];
                c[b] = c[b] + c[i];
            }
            for (int i = 0; i < b - (m - nc); ++i) {
                s[b] = s[b] + sumcopy[i];
                c[b] = c[b] + countcopy[i];
            }
        }
        W = ss * nc;
        D = n * nc - m;
    }
    for (int b = 0; b < m; ++b) {
        if (c[b] == 0)
            D = D + 1.0;
        else
            W = W - (s[b] * s[b]) / c[b];
    }
    return (W / D) / var;
}

void bin_plain(int n, std::span<const double> t, std::span<const double> x, const double* f, int kn, int m)
{
    for (int j = 0; j < n; ++j)
        for (int kk = 0; kk < kn; ++kk) {
            int b = fine_bin(t[j] * f[kk], m);
            count[kk][b] = count[kk][b] + 1;
            sum[kk][b] = sum[kk][b] + x[j];
        }
}

#ifdef SUITE_WIDE_KERNELS
// A full block: the eight phases of an observation as two vectors, the
// same operations as fine_bin (max and min map a NaN to the first bin and
// clamp m to the last, as the comparisons there do).
__attribute__((target("avx"))) void bin_avx(int n, std::span<const double> t, std::span<const double> x,
                                            const double* f, int m)
{
    const __m256d fa = _mm256_loadu_pd(f), fb = _mm256_loadu_pd(f + 4);
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
    const __m256d dm = _mm256_set1_pd(m), last = _mm256_set1_pd(m - 1);
    for (int j = 0; j < n; ++j) {
        const __m256d tj = _mm256_set1_pd(t[j]);
        __m256d p[2] = {_mm256_mul_pd(tj, fa), _mm256_mul_pd(tj, fb)};
        for (int h = 0; h < 2; ++h) {
            __m256d phi = _mm256_sub_pd(p[h], _mm256_round_pd(p[h], _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
            __m256d negative = _mm256_cmp_pd(phi, zero, _CMP_LT_OQ);
            phi = _mm256_blendv_pd(phi, _mm256_add_pd(phi, one), negative);
            __m256d y = _mm256_mul_pd(dm, phi);
            y = _mm256_min_pd(_mm256_max_pd(y, zero), last);
            _mm_store_si128(reinterpret_cast<__m128i*>(binof + 4 * h), _mm256_cvttpd_epi32(y));
        }
        const double xj = x[j];
        for (int kk = 0; kk < block; ++kk) {
            int b = binof[kk];
            count[kk][b] = count[kk][b] + 1;
            sum[kk][b] = sum[kk][b] + xj;
        }
    }
}
#endif

}  // namespace

void justel(int n, std::span<const double> t, std::span<const double> x, double fstart, int nf, double fstep, int nb,
            int nc, double var, double ss, std::span<double> f1, std::span<double> s1)
{
    // The trial frequencies by repeated addition, as the grid is defined.
    double f = fstart;
    for (int k = 0; k < nf; ++k) {
        f1[k] = f;
        f = f + fstep;
    }
    if (nb < 1 || static_cast<long long>(nb) * std::max(nc, 1) > maxbins) {
        std::fill(s1.begin(), s1.begin() + nf, std::numeric_limits<double>::quiet_NaN());
        return;
    }
    int m = nc < 2 ? nb : nb * nc;
    for (int k0 = 0; k0 < nf; k0 += block) {
        int kn = std::min(block, nf - k0);
        for (int kk = 0; kk < kn; ++kk) {
            std::fill(sum[kk], sum[kk] + m, 0.0);
            std::fill(count[kk], count[kk] + m, 0);
        }
#ifdef SUITE_WIDE_KERNELS
        if (kn == block && suite::wide_kernels(suite::Wide::avx))
            bin_avx(n, t, x, &f1[k0], m);
        else
#endif
            bin_plain(n, t, x, &f1[k0], kn, m);
        for (int kk = 0; kk < kn; ++kk) s1[k0 + kk] = dispersion(n, nb, nc, var, ss, sum[kk], count[kk]);
    }
}

}  // namespace periodscan
