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
//             The two rotations are independent chains: each is swept on
//             its own, with its own two sums.
//          4. Speed without changing a bit.  The grid is cut into four
//             quarters, one per vector lane, so that a vector holds four
//             values of the same kind (four cosine parts, or four sine
//             parts) and a rotation is plain products and sums, lane for
//             lane the operations of the straightforward form.  A chain
//             enters a quarter where it left the one before, so the lanes
//             are staggered: the observations go in chunks, and while lane
//             0 takes chunk p through the first quarter, lane 1 takes chunk
//             p - 1 through the second, and so on; after each pass the
//             chain states move one lane on.  Every sum thus receives its
//             observations in order 1..n.  Within a pass the grid goes in
//             blocks of frequencies whose sums stay in registers while the
//             chunk passes.  A lane without an observation carries zeros,
//             which add +0.0 to its sums: a sum that starts at +0.0 never
//             becomes -0.0, so that changes no bit.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/constants.hpp"
#include "wide/wide_kernels.hpp"
#include "periodscan/periodscan.hpp"

namespace periodscan {
namespace {

using suite::twopi;  // the decimal constant of the method, see note 2
const double dtwo = 2.0;

constexpr int lanes = 4;   // quarters of the grid, one per vector lane
constexpr int chunk = 64;  // observations per lane and pass
constexpr int block = 2;   // frequencies whose sums stay in registers
constexpr int group = 2;   // observations whose chains advance side by side

// The chains of one rotation for the observations of a pass: per
// observation row and lane the pair (u, v), a cosine part and a sine part,
// and its rotation (c, s) per frequency step.
struct Chains {
    alignas(32) double u[chunk][lanes];
    alignas(32) double v[chunk][lanes];
    alignas(32) double c[chunk][lanes];
    alignas(32) double s[chunk][lanes];
};

// (x cos, x sin) rotated by the angle step; (cos 2wt, sin 2wt) by twice it.
Chains first, second;

// The sums of one rotation at one frequency of each quarter.
struct alignas(32) LaneSums {
    double u[lanes];
    double v[lanes];
};

// Observations of each lane's chunk in the current pass (0: idle lane).
int rows[lanes];

// Moves every chain one lane on (where it enters the next quarter) and
// starts the chains of observations n0 .. n0 + count - 1 in lane 0, at the
// first trial frequency.  Rows past count are zeros.
void next_pass(int n0, int count, std::span<const double> t, std::span<const double> x, double omega0,
               double domega)
{
    for (Chains* ch : {&first, &second})
        for (int i = 0; i < chunk; ++i)
            for (int l = lanes - 1; l > 0; --l) {
                ch->u[i][l] = ch->u[i][l - 1];
                ch->v[i][l] = ch->v[i][l - 1];
                ch->c[i][l] = ch->c[i][l - 1];
                ch->s[i][l] = ch->s[i][l - 1];
            }
    for (int l = lanes - 1; l > 0; --l) rows[l] = rows[l - 1];
    rows[0] = count;
    for (int i = 0; i < chunk; ++i) {
        double xc = 0.0, xs = 0.0, c2 = 0.0, s2 = 0.0, cd = 0.0, sd = 0.0, c2d = 0.0, s2d = 0.0;
        if (i < count) {
            int j = n0 + i;
            double theta = std::fmod(t[j] * omega0, twopi);
            double s = std::sin(theta), c = std::cos(theta);
            s2 = (dtwo * s) * c;
            c2 = c * c - s * s;
            double delta = std::fmod(t[j] * domega, twopi);
            sd = std::sin(delta);
            cd = std::cos(delta);
            s2d = (dtwo * sd) * cd;
            c2d = cd * cd - sd * sd;
            xc = c * x[j];
            xs = s * x[j];
        }
        first.u[i][0] = xc;
        first.v[i][0] = xs;
        first.c[i][0] = cd;
        first.s[i][0] = sd;
        second.u[i][0] = c2;
        second.v[i][0] = s2;
        second.c[i][0] = c2d;
        second.s[i][0] = s2d;
    }
}

// Portable form of one block: the chains of the first `count` rows advance
// `block` frequencies in every lane, adding into the block's sums.
void sweep_plain(int count, Chains& ch, LaneSums* sums)
{
    double su[block][lanes], sv[block][lanes];
    for (int kk = 0; kk < block; ++kk)
        for (int l = 0; l < lanes; ++l) {
            su[kk][l] = sums[kk].u[l];
            sv[kk][l] = sums[kk].v[l];
        }
    for (int i = 0; i < count; ++i)
        for (int l = 0; l < lanes; ++l) {
            double u = ch.u[i][l], v = ch.v[i][l], c = ch.c[i][l], s = ch.s[i][l];
            for (int kk = 0; kk < block; ++kk) {
                su[kk][l] += u;
                sv[kk][l] += v;
                double u_new = u * c - v * s;
                double v_new = v * c + u * s;
                u = u_new;
                v = v_new;
            }
            ch.u[i][l] = u;
            ch.v[i][l] = v;
        }
    for (int kk = 0; kk < block; ++kk)
        for (int l = 0; l < lanes; ++l) {
            sums[kk].u[l] = su[kk][l];
            sums[kk].v[l] = sv[kk][l];
        }
}

#ifdef SUITE_WIDE_KERNELS
// The rows i .. i + P - 1 advance side by side (independent chains that
// fill the pipelines); each sum still takes them one after the other.
template <int P>
__attribute__((target("avx"), always_inline)) inline void advance(int i, Chains& ch, __m256d* su, __m256d* sv)
{
    __m256d u[P], v[P], c[P], s[P];
    for (int p = 0; p < P; ++p) {
        u[p] = _mm256_load_pd(ch.u[i + p]);
        v[p] = _mm256_load_pd(ch.v[i + p]);
        c[p] = _mm256_load_pd(ch.c[i + p]);
        s[p] = _mm256_load_pd(ch.s[i + p]);
    }
    for (int kk = 0; kk < block; ++kk)
        for (int p = 0; p < P; ++p) {
            su[kk] = _mm256_add_pd(su[kk], u[p]);
            sv[kk] = _mm256_add_pd(sv[kk], v[p]);
            __m256d u_new = _mm256_sub_pd(_mm256_mul_pd(u[p], c[p]), _mm256_mul_pd(v[p], s[p]));
            __m256d v_new = _mm256_add_pd(_mm256_mul_pd(v[p], c[p]), _mm256_mul_pd(u[p], s[p]));
            u[p] = u_new;
            v[p] = v_new;
        }
    for (int p = 0; p < P; ++p) {
        _mm256_store_pd(ch.u[i + p], u[p]);
        _mm256_store_pd(ch.v[i + p], v[p]);
    }
}

// The blocks of a quarter, one vector per kind of value.
__attribute__((target("avx"))) void sweep_avx(int count, int quarter, Chains& ch, LaneSums* sums)
{
    for (int k0 = 0; k0 < quarter; k0 += block, sums += block) {
        __m256d su[block], sv[block];
        for (int kk = 0; kk < block; ++kk) {
            su[kk] = _mm256_load_pd(sums[kk].u);
            sv[kk] = _mm256_load_pd(sums[kk].v);
        }
        int i = 0;
        for (; i + group <= count; i += group) advance<group>(i, ch, su, sv);
        for (; i < count; ++i) advance<1>(i, ch, su, sv);
        for (int kk = 0; kk < block; ++kk) {
            _mm256_store_pd(sums[kk].u, su[kk]);
            _mm256_store_pd(sums[kk].v, sv[kk]);
        }
    }
}
#endif

// One pass: every block of the quarter for both rotations.
void sweep_quarter(int quarter, LaneSums* sums_first, LaneSums* sums_second)
{
    int count = *std::max_element(rows, rows + lanes);
#ifdef SUITE_WIDE_KERNELS
    if (suite::wide_kernels(suite::Wide::avx)) {
        sweep_avx(count, quarter, first, sums_first);
        sweep_avx(count, quarter, second, sums_second);
        return;
    }
#endif
    for (int k0 = 0; k0 < quarter; k0 += block) sweep_plain(count, first, sums_first + k0);
    for (int k0 = 0; k0 < quarter; k0 += block) sweep_plain(count, second, sums_second + k0);
}

}  // namespace

void scar2(int n, std::span<const double> t, std::span<const double> x, double fstart, int nf, double fstep,
           std::span<double> f1, std::span<double> s1, std::span<double> w1, std::span<double> w2,
           std::span<double> w3, std::span<double> w4)
{
    double omega0 = twopi * fstart;
    double domega = fstep * twopi;
    double dn = n;
    if (nf < 1) return;
    // Frequencies per lane: a quarter of the grid in whole blocks (the last
    // lane may run past the end of the grid, into sums that are not kept).
    long long per_lane = (static_cast<long long>(nf) + lanes - 1) / lanes;
    int quarter = static_cast<int>((per_lane + block - 1) / block * block);
    // Every sum starts at +0.0.
    std::vector<LaneSums> sums_first(quarter, LaneSums{}), sums_second(quarter, LaneSums{});
    int chunks = (n + chunk - 1) / chunk;
    // Lanes before their first chunk carry zeros, as after their last.
    first = Chains{};
    second = Chains{};
    std::fill(rows, rows + lanes, 0);
    for (int pass = 0; chunks > 0 && pass < chunks + lanes - 1; ++pass) {
        int n0 = pass * chunk;
        next_pass(n0, pass < chunks ? std::min(chunk, n - n0) : 0, t, x, omega0, domega);
        sweep_quarter(quarter, sums_first.data(), sums_second.data());
    }
    for (int l = 0; l < lanes; ++l)
        for (int k = 0; k < quarter && static_cast<long long>(l) * quarter + k < nf; ++k) {
            int at = l * quarter + k;
            w2[at] = sums_first[k].u[l];
            w1[at] = sums_first[k].v[l];
            w4[at] = sums_second[k].u[l];
            w3[at] = sums_second[k].v[l];
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
