// Factorials, normalisation, Legendre functions, rotation coefficients and
// the quadrature rule: closed forms and identities.
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "common/constants.hpp"
#include "common/io.hpp"
#include "discriminant/discriminant.hpp"
#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"

using namespace discriminant;

TEST(Legendre, FactorialAndNormalisation)
{
    EXPECT_EQ(facul(-3), 1.0);
    EXPECT_EQ(facul(0), 1.0);
    EXPECT_EQ(facul(1), 1.0);
    EXPECT_EQ(facul(5), 120.0);
    EXPECT_EQ(facul(20), 2432902008176640000.0);
    EXPECT_EQ(nlm(0, 0), 1.0);
    EXPECT_DOUBLE_EQ(nlm(1, 0), std::sqrt(3.0));
    EXPECT_DOUBLE_EQ(nlm(1, 1), std::sqrt(1.5));
    for (int l = 0; l <= 8; ++l)
        for (int m = 0; m <= l; ++m) EXPECT_EQ(nlm(l, m), nlm(l, -m));
}

TEST(Legendre, LowDegreesAgainstClosedForms)
{
    for (double x : {-1.0, -0.73, -0.2, 0.0, 0.31, 0.9, 1.0}) {
        const double s = std::sqrt(1 - x * x);
        EXPECT_EQ(plm(0, 0, x), 1.0);
        EXPECT_EQ(plm(1, 0, x), x);
        EXPECT_NEAR(plm(1, 1, x), s, 1e-15);
        EXPECT_NEAR(plm(1, -1, x), -s, 1e-15);
        EXPECT_NEAR(plm(2, 0, x), (3 * x * x - 1) / 2, 1e-15);
        EXPECT_NEAR(plm(2, 1, x), 1.5 * x * s, 1e-15);
        EXPECT_NEAR(plm(2, 2, x), 1.5 * (1 - x * x), 1e-15);
        EXPECT_NEAR(plm(3, 0, x), (5 * x * x * x - 3 * x) / 2, 1e-15);
        EXPECT_EQ(plm(1, 2, x), 0.0);
        EXPECT_EQ(plm(-1, 0, x), 0.0);
    }
    for (int l = 1; l <= 8; ++l)
        for (int m = 1; m <= l; ++m) {
            EXPECT_EQ(plm(l, m, 1.0), 0.0);
            EXPECT_EQ(plm(l, -m, -1.0), 0.0);
        }
}

// Orthogonality over the sphere: with nlm, the harmonics of one order have
// mean square 1 and are orthogonal in the degree (integrated here by the
// midpoint rule on a fine grid).
TEST(Legendre, NormalisedHarmonicsAreOrthonormal)
{
    const int n = 20000;
    for (int m = -3; m <= 3; ++m)
        for (int l1 = std::abs(m); l1 <= 6; ++l1)
            for (int l2 = std::abs(m); l2 <= 6; ++l2) {
                double sum = 0;
                for (int i = 0; i < n; ++i) {
                    const double x = -1 + (i + 0.5) * 2.0 / n;
                    sum += nlm(l1, m) * plm(l1, m, x) * nlm(l2, m) * plm(l2, m, x);
                }
                EXPECT_NEAR(sum / n, l1 == l2 ? 1.0 : 0.0, 1e-6) << m << " " << l1 << " " << l2;
            }
}

// A rotation keeps the norm: the coefficients scaled by nlm(l,m)/nlm(l,k)
// form a unit vector, for every l, m and inclination.
TEST(Rotation, CoefficientsSpecialAnglesAndUnitarity)
{
    const double pi = suite::pi;
    for (double i : {0.0, 0.3, 1.1, 2.0, pi}) {
        EXPECT_EQ(almk(0, 0, 0, i), 1.0);
        EXPECT_NEAR(almk(1, 0, 0, i), std::cos(i), 1e-15);
        EXPECT_NEAR(almk(1, 0, 1, i), std::sin(i) / 2, 1e-15);
        EXPECT_NEAR(almk(1, 0, -1, i), -std::sin(i) / 2, 1e-15);
    }
    for (int l = 0; l <= 8; ++l)
        for (int m = -l; m <= l; ++m) {
            EXPECT_EQ(almk(l, m, l + 1, 0.7), 0.0);
            EXPECT_EQ(almk(l, m, -l - 1, 0.7), 0.0);
            for (int k = -l; k <= l; ++k) {
                EXPECT_NEAR(almk(l, m, k, 0.0), k == m ? 1.0 : 0.0, 1e-12);
                EXPECT_NEAR(almk(l, m, k, pi), k == -m ? ((l - m) % 2 == 0 ? 1.0 : -1.0) : 0.0, 1e-9);
            }
            for (double i : {0.4, 1.3, 2.9}) {
                double norm = 0;
                for (int k = -l; k <= l; ++k) {
                    const double b = almk(l, m, k, i) * nlm(l, m) / nlm(l, k);
                    norm += b * b;
                }
                EXPECT_NEAR(norm, 1.0, 1e-12) << l << " " << m;
            }
        }
}

TEST(Quadrature, NodesWeightsAndSymmetry)
{
    integraal = {};
    gauleg();
    EXPECT_NEAR(integraal.nodes[0], 0.0092197, 5e-8);
    EXPECT_NEAR(integraal.weights[0], 0.0235877, 5e-8);
    double sum = 0;
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(integraal.nodes[i] + integraal.nodes[11 - i], 1.0);
        EXPECT_EQ(integraal.weights[i], integraal.weights[11 - i]);
        if (i > 0) {
            EXPECT_LT(integraal.nodes[i - 1], integraal.nodes[i]);
        }
        // The roots come from a single-precision search: 1 - 2 mu is a float.
        const double z = 1 - 2 * integraal.nodes[i];
        EXPECT_EQ(static_cast<double>(static_cast<float>(z)), z);
        sum += integraal.weights[i];
    }
    EXPECT_NEAR(sum, 1.0, 1e-6);
    // Exact for polynomials up to degree 23, to the accuracy of the rule.
    for (int n = 0; n <= 23; ++n) {
        double s = 0;
        for (int i = 0; i < 12; ++i) s += integraal.weights[i] * std::pow(integraal.nodes[i], n);
        EXPECT_NEAR(s, 1.0 / (n + 1), 2e-7) << n;
    }
}

// An argument beyond [-1, 1] shows |x| and pauses; "go" resumes with it,
// anything else ends the program.
TEST(Legendre, BadArgumentPauses)
{
    auto answer = [](const char* text) {
        std::FILE* f = std::fopen("plm_answer.txt", "w");
        std::fputs(text, f);
        std::fclose(f);
        ASSERT_NE(std::freopen("plm_answer.txt", "r", stdin), nullptr);
    };
    answer("go\n");
    testing::internal::CaptureStdout();
    const double p = plm(1, 5, 1.5);
    std::fflush(stdout);
    const std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_EQ(p, 0.0);
    EXPECT_EQ(shown, "\n abs(x) =  1.5\n\n bad argument\n Type go to continue, anything else stops.\n");

    answer("no\n");
    testing::internal::CaptureStdout();
    int status = -1;
    try {
        plm(2, 0, -2.0);
    } catch (const common::ProgramEnd& end) {
        status = end.status;
    }
    std::fflush(stdout);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 3);
    std::remove("plm_answer.txt");
}

// The degrees a run may reach, up to lmax_finite: every factorial, Legendre
// value at the nodes (up to degree lmax_finite + 1, which the velocity
// field needs) and rotation coefficient is finite there; one degree more
// and (2l)! is not.  (Finite, not accurate: the alternating sum of almk
// loses digits as l grows, about 1e-5 of the norm at l = 44, all of it
// near l = 58.)
TEST(Legendre, FiniteUpToTheLargestDegree)
{
    EXPECT_EQ(lmax_finite, 85);
    EXPECT_TRUE(std::isfinite(facul(facul_limit)));
    EXPECT_TRUE(std::isinf(facul(facul_limit + 1)));
    EXPECT_TRUE(std::isinf(facul(2 * (lmax_finite + 1))));
    gauleg();
    const int l = lmax_finite;
    for (int m = -l; m <= l; ++m) {
        ASSERT_TRUE(std::isfinite(nlm(l, m))) << m;
        ASSERT_GT(nlm(l, m), 0.0) << m;
        for (int k = -l - 1; k <= l + 1; ++k)
            for (double mu : integraal.nodes) {
                ASSERT_TRUE(std::isfinite(plm(l, k, mu))) << k << " " << mu;
                ASSERT_TRUE(std::isfinite(plm(l + 1, k, mu))) << k << " " << mu;
            }
        for (double i : {0.0, 0.4, 1.3, 2.9, suite::pi})
            for (int k = -l - 2; k <= l + 2; ++k) ASSERT_TRUE(std::isfinite(almk(l, m, k, i))) << m << " " << k;
    }
    // Beyond it nlm(l, l) loses its (2l)!.
    EXPECT_EQ(nlm(lmax_finite + 1, lmax_finite + 1), 0.0);
}
