// scar2: Scargle periodogram of an unevenly sampled series over an
// equidistant frequency grid.
//   Given:    n        number of observations
//             t, x     times (first 0) and values (centred on their mean)
//             fstart   first trial frequency, fstep the step (may be < 0)
//             nf       number of trial frequencies, at least 1
//   Returned: f1, s1   the trial frequencies and the power P at each
//             w1..w4   the sums of x sin, x cos, sin 2wt and cos 2wt
//   Notes: 1. P is the closed form of half the sum of squares explained by
//             a cosine and a sine of the trial frequency, with the time
//             offset of the usual presentation eliminated algebraically;
//             the caller turns it into an amplitude sqrt(4P/n).
//          2. twopi is the decimal 6.28318530717959 (3.5E-15 above 2 pi),
//             the factor of the angles and the modulus of their reduction
//             alike: changing it changes the last bits of every power.
//          3. Four trigonometric values per observation; each later
//             frequency is reached by rotating (x cos, x sin) by the angle
//             step and (cos 2wt, sin 2wt) by twice it, never renormalised.
//          4. Speed without changing a bit: the rotation chain of each
//             observation is one long latency chain, so the grid is cut into
//             blocks of frequencies whose four sums stay in registers while
//             the observations pass in order 1..n (every sum still adds them
//             in that order, four chains advancing side by side to fill the
//             pipelines), and the four numbers of a chain travel as one
//             vector [x cos, x sin, cos 2wt, sin 2wt]: one rotation is then
//             v*[cd,cd,c2d,c2d] -+ swap(v)*[sd,sd,s2d,s2d], lane for lane the
//             same products and the same subtraction or addition.  The
//             observations go in chunks whose chain states wait in a small
//             fixed table between blocks.
#include <algorithm>
#include <cmath>

#include "common/constants.hpp"
#include "common/wide_kernels.hpp"
#include "periodscan/periodscan.hpp"

namespace periodscan {
namespace {

using suite::twopi;  // the decimal constant of the method, see note 2
const double dtwo = 2.0;
const double dnul = 0.0;

constexpr int chunk = 256;  // observations whose chain states are held at once
constexpr int block = 2;    // frequencies whose sums stay in registers
constexpr int group = 4;    // observations whose chains advance side by side

// Chain state and rotation of each observation of the current chunk, in
// vector order: lane 0 x cos, lane 1 x sin, lane 2 cos 2wt, lane 3 sin 2wt;
// the sums of a frequency in the same order: w2, w1, w4, w3.
alignas(32) double state[chunk][4];
alignas(32) double rotc[chunk][4];  // cd, cd, c2d, c2d
alignas(32) double rots[chunk][4];  // sd, sd, s2d, s2d

void start_chains(int n0, int count, std::span<const double> t, std::span<const double> x, double omega0,
                  double domega)
{
    for (int i = 0; i < count; ++i) {
        int j = n0 + i;
        double theta = std::fmod(t[j] * omega0, twopi);
        double s = std::sin(theta), c = std::cos(theta);
        double s2 = (dtwo * s) * c, c2 = c * c - s * s;
        double delta = std::fmod(t[j] * domega, twopi);
        double sd = std::sin(delta), cd = std::cos(delta);
        double s2d = (dtwo * sd) * cd, c2d = cd * cd - sd * sd;
        state[i][0] = c * x[j];
        state[i][1] = s * x[j];
        state[i][2] = c2;
        state[i][3] = s2;
        rotc[i][0] = cd;
        rotc[i][1] = cd;
        rotc[i][2] = c2d;
        rotc[i][3] = c2d;
        rots[i][0] = sd;
        rots[i][1] = sd;
        rots[i][2] = s2d;
        rots[i][3] = s2d;
    }
}

// Portable form of one block: the same operations, one lane at a time.
void block_plain(int count, int k0, int kn, std::span<double> w1, std::span<double> w2, std::span<double> w3,
                 std::span<double> w4)
{
    double acc[block][4];
    for (int kk = 0; kk < kn; ++kk) {
        acc[kk][0] = w2[k0 + kk];
        acc[kk][1] = w1[k0 + kk];
        acc[kk][2] = w4[k0 + kk];
        acc[kk][3] = w3[k0 + kk];
    }
    for (int i = 0; i < count; ++i) {
        double xc = state[i][0], xs = state[i][1], c2 = state[i][2], s2 = state[i][3];
        double cd = rotc[i][0], c2d = rotc[i][2], sd = rots[i][0], s2d = rots[i][2];
        for (int kk = 0; kk < kn; ++kk) {
            acc[kk][0] += xc;
            acc[kk][1] += xs;
            acc[kk][2] += c2;
            acc[kk][3] += s2;
            double xc_new = xc * cd - xs * sd;
            double xs_new = xs * cd + xc * sd;
            double c2_new = c2 * c2d - s2 * s2d;
            double s2_new = s2 * c2d + c2 * s2d;
            xc = xc_new;
            xs = xs_new;
            c2 = c2_new;
            s2 = s2_new;
        }
        state[i][0] = xc;
        state[i][1] = xs;
        state[i][2] = c2;
        state[i][3] = s2;
    }
    for (int kk = 0; kk < kn; ++kk) {
        w2[k0 + kk] = acc[kk][0];
        w1[k0 + kk] = acc[kk][1];
        w4[k0 + kk] = acc[kk][2];
        w3[k0 + kk] = acc[kk][3];
    }
}

#ifdef SUITE_WIDE_KERNELS
// One full block of frequencies, four numbers per vector.  addsub gives
// a - b in lanes 0 and 2 and a + b in lanes 1 and 3: exactly the two
// rotation formulas.  Groups of observations advance side by side, so that
// their independent chains fill the pipelines; each sum still takes them
// one after the other, in order.
template <int P>
__attribute__((target("avx"), always_inline)) inline void advance(int i, __m256d* acc)
{
    __m256d v[P], c[P], s[P];
    for (int p = 0; p < P; ++p) {
        v[p] = _mm256_load_pd(state[i + p]);
        c[p] = _mm256_load_pd(rotc[i + p]);
        s[p] = _mm256_load_pd(rots[i + p]);
    }
    for (int kk = 0; kk < block; ++kk) {
        for (int p = 0; p < P; ++p) acc[kk] = _mm256_add_pd(acc[kk], v[p]);
        for (int p = 0; p < P; ++p) {
            __m256d swapped = _mm256_permute_pd(v[p], 0x5);
            v[p] = _mm256_addsub_pd(_mm256_mul_pd(v[p], c[p]), _mm256_mul_pd(swapped, s[p]));
        }
    }
    for (int p = 0; p < P; ++p) _mm256_store_pd(state[i + p], v[p]);
}

__attribute__((target("avx"))) void block_avx(int count, int k0, std::span<double> w1, std::span<double> w2,
                                              std::span<double> w3, std::span<double> w4)
{
    __m256d acc[block];
    for (int kk = 0; kk < block; ++kk)
        acc[kk] = _mm256_setr_pd(w2[k0 + kk], w1[k0 + kk], w4[k0 + kk], w3[k0 + kk]);
    int i = 0;
    for (; i + group <= count; i += group) advance<group>(i, acc);
    for (; i < count; ++i) advance<1>(i, acc);
    for (int kk = 0; kk < block; ++kk) {
        alignas(32) double a[4];
        _mm256_store_pd(a, acc[kk]);
        w2[k0 + kk] = a[0];
        w1[k0 + kk] = a[1];
        w4[k0 + kk] = a[2];
        w3[k0 + kk] = a[3];
    }
}
#endif

}  // namespace

void scar2(int n, std::span<const double> t, std::span<const double> x, double fstart, int nf, double fstep,
           std::span<double> f1, std::span<double> s1, std::span<double> w1, std::span<double> w2,
           std::span<double> w3, std::span<double> w4)
{
    double omega0 = twopi * fstart;
    double domega = fstep * twopi;
    double dn = n;
    for (int k = 0; k < nf; ++k) {
        w1[k] = dnul;
        w2[k] = dnul;
        w3[k] = dnul;
        w4[k] = dnul;
    }
    for (int n0 = 0; n0 < n; n0 += chunk) {
        int count = std::min(chunk, n - n0);
        start_chains(n0, count, t, x, omega0, domega);
        for (int k0 = 0; k0 < nf; k0 += block) {
            int kn = std::min(block, nf - k0);
#ifdef SUITE_WIDE_KERNELS
            if (kn == block && suite::wide_kernels(suite::Wide::avx)) {
                block_avx(count, k0, w1, w2, w3, w4);
                continue;
            }
#endif
            block_plain(count, k0, kn, w1, w2, w3, w4);
        }
    }
    double f = fstart;
    for (int k = 0; k < nf; ++k) {
        double S = w1[k], C = w2[k], S2 = w3[k], C2 = w4[k];
        f1[k] = f;
        s1[k] = (C * C * (dn - C2) + (dn + C2) * (S * S) - ((dtwo * S) * C) * S2) / ((dn * dn - C2 * C2) - S2 * S2);
        f = f + fstep;
    }
}

}  // namespace periodscan
