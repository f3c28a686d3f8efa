// Surface integrals: closed forms of the radial mode, symmetries of the
// triple products, and the cut-off of vanishing sums.
#include <cmath>

#include <gtest/gtest.h>

#include "discriminant/integrals.hpp"
#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"

using namespace discriminant;

namespace {

void set_run(double K, double beta)
{
    gauleg();
    alfa.K = K;
    limbdarkening.beta = beta;
}

}  // namespace

TEST(Integrals, RadialModeClosedForms)
{
    for (double beta : {0.0, 0.5625, 1.0}) {
        set_run(0.3, beta);
        // V(0,0; mu) = mu: no horizontal part at all.
        for (int n = 0; n <= 2; ++n) EXPECT_EQ(hnlk(n, 0, 0), 0.0);
        EXPECT_NEAR(jnlk(0, 0, 0), 1.0 / 3 + beta / 4, 1e-7);
        EXPECT_NEAR(jnlk(2, 0, 0), 2.0 / 15 + beta / 12, 1e-7);
        EXPECT_NEAR(hhlkr(0, 0, 0), 1.0 / 5 + beta / 6, 1e-7);
        // V(0,-1; mu) = K sqrt(1 - mu^2).
        double expected = 0;
        for (int i = 0; i < 12; ++i) {
            const double mu = integraal.nodes[i];
            expected += integraal.weights[i] * (1 - mu * mu) * (mu * mu + beta * mu * mu * mu);
        }
        EXPECT_NEAR(hh5lk(0, 0), 0.3 * expected, 1e-15);
        EXPECT_NEAR(expected, 2.0 / 15 + beta / 12, 1e-7);
    }
    for (int n = 0; n <= 6; ++n) EXPECT_NEAR(bnmlk(n, 0, 0, 0), 1.0 / (n + 1), 2e-7);
    EXPECT_NEAR(bnmlk(2, 0, 1, 1), 0.2, 2e-7);
    EXPECT_EQ(bnmlk(2, 0, 1, 1), bnmlk(4, 0, 0, 0));
}

TEST(Integrals, TripleProductSymmetries)
{
    set_run(0.15, 0.6);
    for (int l = 0; l <= 6; ++l)
        for (int k = -l; k <= l; ++k)
            for (int r = -l; r <= l; ++r) {
                EXPECT_NEAR(hhlkr(l, k, r), hhlkr(l, r, k), 1e-13);
                EXPECT_NEAR(hh2lkr(l, k, r), hh3lkr(l, r, k), 1e-13);
            }
}

// A sum below the single-precision 3e-14 is rounding noise: exactly 0.  The
// threshold itself passes unchanged.
TEST(Integrals, CutOffOfVanishingSums)
{
    set_run(0.1, 0.0);
    const double threshold = 2.99999994735501e-14;
    for (int i = 0; i < 12; ++i) integraal.weights[i] = 0;
    integraal.weights[0] = static_cast<double>(3.0e-14f);
    EXPECT_EQ(bnmlk(0, 0, 0, 0), static_cast<double>(3.0e-14f));
    EXPECT_NEAR(bnmlk(0, 0, 0, 0), threshold, 1e-27);
    integraal.weights[0] = std::nextafter(static_cast<double>(3.0e-14f), 0.0);
    EXPECT_EQ(bnmlk(0, 0, 0, 0), 0.0);
    integraal.weights[0] = -std::nextafter(static_cast<double>(3.0e-14f), 0.0);
    EXPECT_EQ(bnmlk(0, 0, 0, 0), 0.0);
    integraal.weights[0] = -static_cast<double>(3.0e-14f);
    EXPECT_EQ(bnmlk(0, 0, 0, 0), -static_cast<double>(3.0e-14f));
    gauleg();
}
