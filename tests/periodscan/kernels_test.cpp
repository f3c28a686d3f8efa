// The fast forms of scar2 and justel against their straightforward
// references, bit for bit, on random series and grids; and the physics the
// two statistics must show on simple series.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "periodscan/periodscan.hpp"
#include "support/periodscan_reference.hpp"
#include "support/kernel_forms.hpp"

namespace {

std::uint64_t bits(double v)
{
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Every entry equal bit for bit; the first difference is reported.
void expect_same_bits(const std::vector<double>& fast, const std::vector<double>& ref, int nf, const char* what)
{
    for (int k = 0; k < nf; ++k)
        if (bits(fast[k]) != bits(ref[k])) {
            ADD_FAILURE() << what << "[" << k << "] fast " << fast[k] << " reference " << ref[k];
            return;
        }
}

struct Series {
    std::vector<double> t, x;
    double var = 0.0, ss = 0.0;
};

// Uneven times (unordered when asked, so that some phases are negative),
// a sinusoid plus noise, centred, times shifted to start at 0.
Series random_series(std::mt19937_64& rng, int n, bool ordered)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Series s;
    double time = 0.0, f0 = 0.2 + 3.0 * u(rng);
    for (int i = 0; i < n; ++i) {
        time += ordered ? 0.05 + u(rng) * 0.6 : (u(rng) - 0.3) * 5.0;
        s.t.push_back(time);
        s.x.push_back(std::cos(6.283 * f0 * time) + 0.3 * (u(rng) - 0.5));
    }
    double t0 = s.t[0], mean = 0.0;
    for (double& v : s.t) v -= t0;
    for (double v : s.x) mean += v;
    mean /= n;
    for (double& v : s.x) v -= mean;
    for (double v : s.x) s.ss += v * v;
    s.var = n > 1 ? s.ss / (n - 1) : 1.0;
    return s;
}

struct Grid {
    double start, step;
    int nf;
};

// The bitwise comparisons, on the portable and the wide forms.
class Scar2Forms : public kernel_forms::BothForms {};
class JustelForms : public kernel_forms::BothForms {};
KERNEL_FORMS_BOTH(Scar2Forms);
KERNEL_FORMS_BOTH(JustelForms);

std::vector<Grid> grids()
{
    return {
        {0.0, 0.01, 1},        {0.0, 0.013, 37},      {0.5, 0.0007, 64},  {2.5, -0.01, 250},
        {0.1, 0.0, 9},         {-1.0, 0.0123, 200},   {17.3, 0.11, 15},   {0.0, -0.005, 8},
        {123.456, 1e-5, 101},  {3.0, 0.25, 17},
    };
}

// Grids of a few frequencies, where the four quarters of the fast form
// are partly or wholly past the end of the grid.
std::vector<Grid> short_grids()
{
    return {{0.2, 0.03, 2}, {0.0, 0.02, 3}, {-0.5, 0.05, 5}, {1.5, -0.017, 6}, {0.0, 0.125, 11}};
}

TEST_P(Scar2Forms, FastFormMatchesReferenceBitForBit)
{
    std::mt19937_64 rng(20261207);
    // Observations in chunks of 64 that pass through four staggered lanes:
    // fewer chunks than lanes, a whole number of chunks, one more.
    for (int n : {1, 2, 7, 63, 64, 65, 129, 257, 511, 512, 513, 1300}) {
        for (bool ordered : {true, false}) {
            Series s = random_series(rng, n, ordered);
            std::vector<Grid> all = grids(), few = short_grids();
            all.insert(all.end(), few.begin(), few.end());
            for (const Grid& g : all) {
                SCOPED_TRACE("n " + std::to_string(n) + " start " + std::to_string(g.start) + " step " +
                             std::to_string(g.step) + " nf " + std::to_string(g.nf));
                std::vector<double> fa(g.nf), sa(g.nf), fb(g.nf), sb(g.nf), w(4 * g.nf), v(4 * g.nf);
                std::span<double> ws(w), vs(v);
                periodscan::scar2(n, s.t, s.x, g.start, g.nf, g.step, fa, sa, ws.subspan(0, g.nf),
                                  ws.subspan(g.nf, g.nf), ws.subspan(2 * g.nf, g.nf), ws.subspan(3 * g.nf, g.nf));
                reference::scar2(n, s.t, s.x, g.start, g.nf, g.step, fb, sb, vs.subspan(0, g.nf),
                                 vs.subspan(g.nf, g.nf), vs.subspan(2 * g.nf, g.nf), vs.subspan(3 * g.nf, g.nf));
                expect_same_bits(fa, fb, g.nf, "f1");
                expect_same_bits(sa, sb, g.nf, "s1");
                expect_same_bits(w, v, 4 * g.nf, "w");
            }
        }
    }
}

TEST_P(JustelForms, FastFormMatchesReferenceBitForBit)
{
    std::mt19937_64 rng(7);
    struct Bins {
        int nb, nc;
    };
    const Bins bins[] = {{10, 1}, {10, 0}, {10, 5}, {3, -4}, {1, 0}, {1, 6}, {7, 3}, {50, 20}, {1000, 1}, {2, 2}};
    // Observations fewer than, as many as and more than the fast form finds
    // ahead of the one it adds.
    for (int n : {1, 2, 3, 4, 9, 300}) {
        for (bool ordered : {true, false}) {
            Series s = random_series(rng, n, ordered);
            for (const Grid& g : grids())
                for (const Bins& b : bins) {
                    SCOPED_TRACE("n " + std::to_string(n) + " start " + std::to_string(g.start) + " step " +
                                 std::to_string(g.step) + " nb " + std::to_string(b.nb) + " nc " +
                                 std::to_string(b.nc));
                    std::vector<double> fa(g.nf), sa(g.nf), fb(g.nf), sb(g.nf);
                    periodscan::justel(n, s.t, s.x, g.start, g.nf, g.step, b.nb, b.nc, s.var, s.ss, fa, sa);
                    reference::justel(n, s.t, s.x, g.start, g.nf, g.step, b.nb, b.nc, s.var, s.ss, fb, sb);
                    expect_same_bits(fa, fb, g.nf, "f1");
                    expect_same_bits(sa, sb, g.nf, "s1");
                }
        }
    }
}

TEST_P(JustelForms, PhasesAtTheEdgesOfTheCircleStayInTheTables)
{
    // Times whose products with the frequency are exact integers, tiny
    // negatives (folding up to exactly 1.0) and beyond the double range.
    // Forty frequencies: whole blocks of the fast form and a part block,
    // rising and falling through 0.
    std::vector<double> t{0.0, -1e-300, -3.0, 1e308, -1e-17, 2.0, 1e300}, x{1, -1, 2, -2, 0.5, -0.5, 0};
    for (auto [nb, nc] : {std::pair{1, 1}, std::pair{4, 1}, std::pair{1000, 1}, std::pair{4, 3}})
        for (double start : {0.0, 9.75}) {
            double step = start == 0.0 ? 0.5 : -0.5;
            std::vector<double> fa(40), sa(40), fb(40), sb(40);
            periodscan::justel(7, t, x, start, 40, step, nb, nc, 1.0, 12.5, fa, sa);
            reference::justel(7, t, x, start, 40, step, nb, nc, 1.0, 12.5, fb, sb);
            expect_same_bits(sa, sb, 40, "s1");
        }
}

TEST(Justel, RefusedBinsGiveNaNWithoutTouchingTables)
{
    std::vector<double> t{0, 1, 2}, x{-1, 0, 1}, f(3), s(3);
    for (auto [nb, nc] : {std::pair{0, 1}, std::pair{-5, 3}, std::pair{1001, 0}, std::pair{101, 10},
                          std::pair{65536, 65536}}) {
        periodscan::justel(3, t, x, 0.0, 3, 0.1, nb, nc, 1.0, 2.0, f, s);
        EXPECT_TRUE(std::isnan(s[0]) && std::isnan(s[2])) << nb << " " << nc;
        EXPECT_EQ(f[2], 0.2);
    }
}

TEST(Justel, StatisticOfSimpleSeries)
{
    // Exactly periodic with period 1 and two observations per bin: W = 0.
    std::vector<double> t, x;
    for (int i = 0; i < 40; ++i) {
        t.push_back(i * 0.125 + (i / 8) * 0.0);  // eight phases, five cycles
        x.push_back(i % 8 < 4 ? 1.0 : -1.0);
    }
    double ss = 40.0, var = ss / 39.0;
    std::vector<double> f(2), s(2);
    periodscan::justel(40, t, x, 0.0, 2, 1.0, 4, 0, var, ss, f, s);
    EXPECT_DOUBLE_EQ(s[0], 1.0);  // frequency 0: everything in one bin
    EXPECT_EQ(s[1], 0.0);
    periodscan::justel(40, t, x, 1.0, 1, 1.0, 2, 2, var, ss, f, s);
    EXPECT_GT(s[0], 0.0);  // windows straddling the step mix the two levels
    EXPECT_LT(s[0], 1.0);
}

TEST(Scar2, AmplitudeOfAPureSinusoid)
{
    std::vector<double> t, x;
    const double a = 0.35, f0 = 1.3;
    for (int i = 0; i < 2000; ++i) {
        double ti = i * 0.0531 + 0.01 * std::sin(i * 1.7);
        t.push_back(ti);
        x.push_back(a * std::cos(6.28318530717959 * f0 * ti + 0.4));
    }
    double t0 = t[0];
    for (double& v : t) v -= t0;
    std::vector<double> f(3), s(3), w1(3), w2(3), w3(3), w4(3);
    periodscan::scar2(2000, t, x, 0.0, 3, f0, f, s, w1, w2, w3, w4);
    EXPECT_TRUE(std::isnan(s[0]));  // frequency 0: 0/0
    EXPECT_NEAR(std::sqrt(s[1] * 4.0 / 2000), a, 2e-3);
}

}  // namespace
