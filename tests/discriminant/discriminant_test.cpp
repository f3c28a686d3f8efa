// The moment discriminant: the cached form against the straightforward
// reference, bit for bit; closed forms of the radial mode; the weights and
// the standard error Sf; and a mode recovered from its own moments.
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <random>

#include <gtest/gtest.h>

#include "common/constants.hpp"
#include "discriminant/discriminant.hpp"
#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"
#include "support/discriminant_reference.hpp"

using namespace discriminant;

namespace {

// The tables of the cached form, for every degree these tests use.
DiscriminantCache cache(lmax_finite);

double fast(int l, int m, double i, double vp, double vo, double s, const Observed& o)
{
    return discriminant::discriminant(cache, {.l = l, .m = m}, {.incl = i, .vp = vp, .vomega = vo, .sigma = s}, o);
}

double slow(int l, int m, double i, double vp, double vo, double s, const Observed& o)
{
    return discriminant_reference({.l = l, .m = m}, {.incl = i, .vp = vp, .vomega = vo, .sigma = s}, o);
}

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

void set_run(double K, double beta)
{
    gauleg();
    alfa.K = K;
    limbdarkening.beta = beta;
}

}  // namespace

// Random runs: every l from 0 to 8 and every m, several inclinations and
// many velocity triples per inclination (so that the tables are reused and
// revisited), with fresh K and beta between runs.
TEST(Discriminant, CachedFormIsBitIdenticalToReference)
{
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> u01(0.0, 1.0);
    int compared = 0;
    for (int run = 0; run < 3; ++run) {
        set_run(run == 0 ? 0.0 : 0.5 * u01(rng), run == 2 ? 0.0 : 1.5 * u01(rng));
        Observed o;
        for (int q = 0; q < 7; ++q) {
            o.value[q] = (q == 2 && run == 1) ? 0.0 : 50 * u01(rng);
            o.error[q] = 0.1 + 5 * u01(rng);
        }
        for (int l = 0; l <= 8; ++l)
            for (int m = -l; m <= l; ++m) {
                double incl[3] = {suite::pi * u01(rng), suite::pi * u01(rng), 0.0};
                for (int pass = 0; pass < 2; ++pass)
                    for (double i : incl) {
                        const int points = l <= 3 ? 4 : 2;
                        for (int p = 0; p < points; ++p) {
                            const double vp = 40 * u01(rng), vo = 30 * u01(rng), s = 20 * u01(rng);
                            const double a = fast(l, m, i, vp, vo, s, o);
                            const double sf_fast = error.sf;
                            error.sf = -1;
                            const double b = slow(l, m, i, vp, vo, s, o);
                            ASSERT_EQ(bits(a), bits(b)) << "l=" << l << " m=" << m << " i=" << i << " vp=" << vp;
                            ASSERT_EQ(bits(sf_fast), bits(error.sf));
                            ++compared;
                        }
                    }
            }
    }
    EXPECT_GT(compared, 1000);
}

// Radial mode: with only one observed quantity nonzero its weight is 1, so
// the discriminant shows that quantity's deviation alone.
TEST(Discriminant, RadialModeClosedForms)
{
    const double tiny = 1e-300;
    for (double beta : {0.0, 1.0}) {
        set_run(0.2, beta);
        const double vp = 12, vo = 7, s = 3, i = 0.8;
        const double L = 1 + 2 * beta / 3;
        Observed o{{0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1}};
        o.value[0] = tiny;  // AA: |T1| = vp (4 + 3 beta) / (6 + 4 beta)
        EXPECT_NEAR(fast(0, 0, i, vp, vo, s, o), vp * (4 + 3 * beta) / (6 + 4 * beta), 1e-5);
        o.value[0] = 0;
        o.value[3] = tiny;  // EE: |T4| + rotation + sigma^2, T4 through B(0)
        const double d4 = fast(0, 0, i, vp, vo, s, o);
        EXPECT_NEAR(d4 * d4, 0.15 * vp * vp * (5 + 4 * beta) / (3 + 2 * beta) + vo * vo * (15 + 8 * beta) / (60 + 40 * beta)
                                 + s * s, 1e-4);
        o.value[3] = 0;
        o.value[6] = tiny;  // RST
        const double d7 = fast(0, 0, i, vp, vo, s, o);
        const double T7 = 3 * (0.2 + beta / 6) * vp * vp * vp / (2 * L) + 6 * vp * s * s * (1.0 / 3 + beta / 4) / L
                          + 3 * vp * vo * vo * (2.0 / 15 + beta / 12) / L;
        EXPECT_NEAR(d7 * d7 * d7 / T7, 1.0, 1e-6);
        // DD and GG of an m = 0 mode do not depend on the grid parameters.
        o.value[6] = 0;
        o.value[2] = 2.25;
        EXPECT_EQ(fast(0, 0, i, vp, vo, s, o), 1.5);
        EXPECT_EQ(fast(3, 0, 1.9, 30, 2, 9, o), 1.5);
        o.value[2] = 0;
        o.value[5] = 8;
        EXPECT_EQ(fast(2, 0, 0.1, 3, 40, 1, o), std::pow(8.0, 1.0 / 3.0));
    }
}

TEST(Discriminant, CommonErrorFactorLeavesTheResult)
{
    set_run(0.05, 0.5625);
    const Observed o{{3.1, 9.5, 2.0, 150, 20, 10, 300}, {0.2, 1.0, 0.5, 10, 5, 3, 40}};
    const double d = fast(2, 1, 0.9, 10, 8, 6, o);
    const double sf = error.sf;
    Observed twice = o, thrice = o;
    for (int q = 0; q < 7; ++q) {
        twice.error[q] = 2 * o.error[q];
        thrice.error[q] = 3 * o.error[q];
    }
    EXPECT_EQ(fast(2, 1, 0.9, 10, 8, 6, twice), d);
    EXPECT_EQ(error.sf, 2 * sf);
    EXPECT_NEAR(fast(2, 1, 0.9, 10, 8, 6, thrice), d, 1e-14 * d);
    EXPECT_NEAR(error.sf, 3 * sf, 1e-14 * sf);
    // Sf depends on the observations only.
    fast(5, -3, 2.5, 1, 40, 2, o);
    EXPECT_EQ(error.sf, sf);
    fast(0, 0, 0.0, 0, 0, 0, o);
    EXPECT_EQ(error.sf, sf);
}

// A third-order quantity observed as 0 has weight 0: it adds nothing to Sf
// (the plain formula gives 0 times infinity there).
TEST(Discriminant, ZeroThirdOrderObservationLeavesSfFinite)
{
    set_run(0.05, 0.5625);
    Observed o{{3.1, 9.5, 2.0, 150, 0, 0, 0}, {0.2, 1.0, 0.5, 10, 5, 3, 40}};
    fast(1, 1, 0.9, 10, 8, 6, o);
    const double S = 3.1 / 0.2 + 9.5 / 1.0 + 2.0 / 0.5 + 150 / 10.0;
    const double w[4] = {3.1 / (0.2 * S), 9.5 / (1.0 * S), 2.0 / (0.5 * S), 150 / (10 * S)};
    const double nobs = std::sqrt(w[0] * w[0] * 3.1 * 3.1 + w[1] * w[1] * 9.5 + w[2] * w[2] * 2.0 + w[3] * w[3] * 150);
    const double expected = std::sqrt(std::pow(w[0], 4) * 0.04 * 3.1 * 3.1
                                      + (std::pow(w[1], 4) * 1.0 + std::pow(w[2], 4) * 0.25 + std::pow(w[3], 4) * 100) / 4)
                            / nobs;
    EXPECT_TRUE(std::isfinite(error.sf));
    EXPECT_NEAR(error.sf, expected, 1e-14);
    o.value[6] = 300;
    fast(1, 1, 0.9, 10, 8, 6, o);
    EXPECT_TRUE(std::isfinite(error.sf));
    EXPECT_GT(error.sf, 0.0);
}

// Observing a mode's own moments gives it a discriminant of (nearly) 0 at
// its grid point, and no other couple comes as close there (the moments do
// not tell the sense of rotation: m and -m look alike).
TEST(Discriminant, ModeRecoveredFromItsOwnMoments)
{
    set_run(0.08, 0.5625);
    struct Case {
        int l, m;
        double i, vp, vo, s;
    } cases[] = {{2, 1, 50 * suite::pi / 180, 10, 10, 10}, {3, 0, 1.2, 15, 20, 5}, {1, -1, 0.6, 8, 5, 12}};
    for (const Case& c : cases) {
        const Moments t = reference_moments({.l = c.l, .m = c.m}, {.incl = c.i, .vp = c.vp, .vomega = c.vo, .sigma = c.s});
        if (c.m == 0) {
            EXPECT_EQ(t.DD, 0.0);
            EXPECT_EQ(t.GG, 0.0);
        }
        const Observed o{{t.AA, t.CC, t.DD, t.EE, t.FF, t.GG, t.RST}, {0.1, 0.5, 0.5, 5, 3, 3, 20}};
        const double own = fast(c.l, c.m, c.i, c.vp, c.vo, c.s, o);
        EXPECT_LT(own, 1e-6) << c.l << " " << c.m;
        for (int l = 0; l <= 4; ++l)
            for (int m = -l; m <= l; ++m)
                if (l != c.l || std::abs(m) != std::abs(c.m)) {
                    EXPECT_GT(fast(l, m, c.i, c.vp, c.vo, c.s, o), 1e-3) << l << " " << m;
                }
    }
}

// A cache answers only for the degrees it was sized for; a degree beyond
// them is NaN and leaves the tables and Sf alone.
TEST(Discriminant, DegreeBeyondTheCacheGivesNaN)
{
    set_run(0.1, 0.5);
    const Observed o{{1, 2, 3, 4, 5, 6, 7}, {1, 1, 1, 1, 1, 1, 1}};
    DiscriminantCache small(3);
    const Gridpoint point{.incl = 0.5, .vp = 1, .vomega = 1, .sigma = 1};
    const double d3 = discriminant::discriminant(small, {.l = 3, .m = 2}, point, o);
    const double sf = error.sf;
    error.sf = -1;
    EXPECT_TRUE(std::isnan(discriminant::discriminant(small, {.l = 4, .m = 0}, point, o)));
    EXPECT_TRUE(std::isnan(discriminant::discriminant(small, {.l = -1, .m = 0}, point, o)));
    EXPECT_EQ(error.sf, -1);
    EXPECT_EQ(bits(discriminant::discriminant(small, {.l = 3, .m = 2}, point, o)), bits(d3));
    EXPECT_EQ(error.sf, sf);
    DiscriminantCache none(-5);  // a run with no couple: degree 0 only
    EXPECT_EQ(none.lmax, 0);
    EXPECT_EQ(DiscriminantCache(1000000).lmax, lmax_finite);
    EXPECT_TRUE(std::isnan(discriminant::discriminant(none, {.l = 1, .m = 0}, point, o)));
}

// The tabulated integrals follow K, beta and the quadrature rule.
TEST(Discriminant, TablesFollowTheRunsConstants)
{
    const Observed o{{3.1, 9.5, 2.0, 150, 20, 10, 300}, {0.2, 1.0, 0.5, 10, 5, 3, 40}};
    set_run(0.05, 0.5625);
    fast(3, 2, 0.9, 10, 8, 6, o);
    alfa.K = 0.2;
    EXPECT_EQ(bits(fast(3, 2, 0.9, 10, 8, 6, o)), bits(slow(3, 2, 0.9, 10, 8, 6, o)));
    limbdarkening.beta = 0.1;
    EXPECT_EQ(bits(fast(3, 2, 0.9, 10, 8, 6, o)), bits(slow(3, 2, 0.9, 10, 8, 6, o)));
    integraal.weights[3] *= 1.5;
    EXPECT_EQ(bits(fast(3, 2, 0.9, 10, 8, 6, o)), bits(slow(3, 2, 0.9, 10, 8, 6, o)));
    gauleg();
}

// Degrees past the old limit of 44, each with a different order and
// inclination: the tables grown to l = 60 give the straightforward form's
// bits.
TEST(Discriminant, HighDegreesAreBitIdenticalToReference)
{
    set_run(0.03, 0.5625);
    const Observed o{{3.1, 9.5, 2.0, 150, 20, 10, 300}, {0.2, 1.0, 0.5, 10, 5, 3, 40}};
    std::mt19937_64 rng(45);
    std::uniform_real_distribution<double> u01(0.0, 1.0);
    for (int l = 45; l <= 60; ++l) {
        const int m = static_cast<int>(std::floor((2 * l + 1) * u01(rng))) - l;
        const double i = suite::pi * u01(rng);
        const double vp = 40 * u01(rng), vo = 30 * u01(rng), s = 20 * u01(rng);
        const double a = fast(l, m, i, vp, vo, s, o);
        const double sf_fast = error.sf;
        error.sf = -1;
        const double b = slow(l, m, i, vp, vo, s, o);
        EXPECT_TRUE(std::isfinite(a)) << "l=" << l << " m=" << m;
        EXPECT_EQ(bits(a), bits(b)) << "l=" << l << " m=" << m << " i=" << i;
        EXPECT_EQ(bits(sf_fast), bits(error.sf));
    }
}
