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
//             index cannot see.  A bin keeps its count as a double beside
//             its sum (whole numbers below 2^53 are exact, and the division
//             and the comparison with zero see the same value as from an
//             integer), so that one two-lane addition of (x, 1) updates
//             both: one load and one store per observation and frequency.
//             The frequencies go in blocks of sixteen, each with its own
//             table, so that sixteen independent streams of bin updates
//             overlap while every bin still receives its observations in
//             order 1..n; the bins of a block are found as vectors, a few
//             observations ahead of the additions into them.
//          4. Where the fraction p - trunc(p) of a product is below zero,
//             the fold gives that exact fraction plus one, rounded once;
//             p - floor(p) has the same exact value, rounded once too, so
//             it is the same double.  Elsewhere both are the exact fraction
//             (0 for a whole number).  So the vector form needs no test for
//             the fold.
#include <algorithm>
#include <cmath>
#include <limits>

#include "wide/wide_kernels.hpp"
#include "periodscan/periodscan.hpp"

namespace periodscan {
namespace {

constexpr int block = 16;  // frequencies binned together

// One fine bin: the sum of its values and their count.
struct alignas(16) Bin {
    double sum;
    double count;
};

// The tables of one block of frequencies, m fine bins each (frequency kk
// of the block from bins[kk * m]), and the copies of the first nc - 1
// bins kept for the windows that wrap around.
Bin bins[block * maxbins];
Bin bincopy[maxbins];

// The 0-based fine bin of a phase product p = t*f, m fine bins.
inline int fine_bin(double p, int m)
{
    double phi = p - std::trunc(p);
    if (phi < 0.0) phi = phi + 1.0;
    double y = m * phi;
    int b = y >= 0.0 ? static_cast<int>(y) : 0;
    return b > m - 1 ? m - 1 : b;
}

// The statistic of one frequency from its fine-bin table (which it changes
// into a table of windows when there are covers).
double dispersion(int n, int nb, int nc, double var, double ss, Bin* bin)
{
    double W, D;
    int m = nc < 2 ? nb : nb * nc;
    if (nc < 2) {
        W = ss;
        D = n - nb;
    } else {
        std::copy(bin, bin + nc - 1, bincopy);
        for (int b = 0; b < m - nc + 1; ++b)
            for (int i = b + 1; i <= b + nc - 1; ++i) {
                bin[b].sum = bin[b].sum + bin[i].sum;
                bin[b].count = bin[b].count + bin[i].count;
            }
        for (int b = m - nc + 1; b < m; ++b) {
            for (int i = b + 1; i < m; ++i) {
                bin[b].sum = bin[b].sum + bin[i].sum;
                bin[b].count = bin[b].count + bin[i].count;
            }
            for (int i = 0; i < b - (m - nc); ++i) {
                bin[b].sum = bin[b].sum + bincopy[i].sum;
                bin[b].count = bin[b].count + bincopy[i].count;
            }
        }
        W = ss * nc;
        D = n * nc - m;
    }
    for (int b = 0; b < m; ++b) {
        if (bin[b].count == 0.0)
            D = D + 1.0;
        else
            W = W - (bin[b].sum * bin[b].sum) / bin[b].count;
    }
    return (W / D) / var;
}

// Portable form: every observation into the table of every frequency.
void bin_plain(int n, std::span<const double> t, std::span<const double> x, const double* f, int kn, int m)
{
    for (int j = 0; j < n; ++j)
        for (int kk = 0; kk < kn; ++kk) {
            Bin& bin = bins[kk * m + fine_bin(t[j] * f[kk], m)];
            bin.sum = bin.sum + x[j];
            bin.count = bin.count + 1.0;
        }
}

#ifdef SUITE_WIDE_KERNELS
constexpr int ahead = 3;  // observations whose bins are found before the current one is added

// Addresses of the bins of the next observations, by observation mod 4.
alignas(32) Bin* bin_of[ahead + 1][block];

// The bins of an observation at time tj for the sixteen frequencies of a
// block: the phases four at a time, as in fine_bin but with p - floor(p)
// for the folded phase (note 4); max and min map a NaN to the first bin
// and clamp m to the last, as the comparisons there do.  Each bin index
// becomes an address: start holds those of the frequencies' tables.
struct Folding {
    __m256d f[block / 4];
    __m256i start[block / 4];
    __m256d m, last;
};

__attribute__((target("avx2"), always_inline)) inline void find_bins(const Folding& fold, double tj, Bin** at)
{
    const __m256d t4 = _mm256_set1_pd(tj), zero = _mm256_setzero_pd();
    for (int h = 0; h < block / 4; ++h) {
        __m256d p = _mm256_mul_pd(t4, fold.f[h]);
        __m256d phi = _mm256_sub_pd(p, _mm256_round_pd(p, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
        __m256d y = _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(fold.m, phi), zero), fold.last);
        __m256i offset = _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm256_cvttpd_epi32(y)), 4);  // 16 bytes a bin
        _mm256_store_si256(reinterpret_cast<__m256i*>(at + 4 * h), _mm256_add_epi64(fold.start[h], offset));
    }
}

// A full block.  The bins of an observation are found a few observations
// ahead, so that its sixteen additions of (x, 1) need not wait for them.
__attribute__((target("avx2"))) void bin_avx2(int n, std::span<const double> t, std::span<const double> x,
                                              const double* f, int m)
{
    Folding fold;
    for (int h = 0; h < block / 4; ++h) {
        fold.f[h] = _mm256_loadu_pd(f + 4 * h);
        fold.start[h] = _mm256_setr_epi64x(
            reinterpret_cast<long long>(bins + (4 * h) * m), reinterpret_cast<long long>(bins + (4 * h + 1) * m),
            reinterpret_cast<long long>(bins + (4 * h + 2) * m), reinterpret_cast<long long>(bins + (4 * h + 3) * m));
    }
    fold.m = _mm256_set1_pd(m);
    fold.last = _mm256_set1_pd(m - 1);
    for (int j = 0; j < std::min(ahead, n); ++j) find_bins(fold, t[j], bin_of[j]);
    for (int j = 0; j < n; ++j) {
        if (j + ahead < n) find_bins(fold, t[j + ahead], bin_of[(j + ahead) % (ahead + 1)]);
        const __m128d value_and_one = _mm_setr_pd(x[j], 1.0);
        Bin** at = bin_of[j % (ahead + 1)];
        for (int kk = 0; kk < block; ++kk) {
            double* bin = &at[kk]->sum;
            _mm_store_pd(bin, _mm_add_pd(_mm_load_pd(bin), value_and_one));
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
        std::fill(bins, bins + kn * m, Bin{0.0, 0.0});
#ifdef SUITE_WIDE_KERNELS
        if (kn == block && suite::wide_kernels(suite::Wide::avx2))
            bin_avx2(n, t, x, &f1[k0], m);
        else
#endif
            bin_plain(n, t, x, &f1[k0], kn, m);
        for (int kk = 0; kk < kn; ++kk) s1[k0 + kk] = dispersion(n, nb, nc, var, ss, bins + kk * m);
    }
}

}  // namespace periodscan
