// The one sine and cosine of angles in cycles: against the library in
// extended precision, exact at the quarter turns, and the same bits in
// every form of its loops.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "numerics/cycles.hpp"
#include "support/kernel_forms.hpp"

namespace {

using numerics::sincos_cycles;
using numerics::SinCos;

// A reference sine and cosine of 2 pi x: the whole cycles are removed
// first (exact), so the library's sin and cos see a small argument.
double ref_sin(double x) { return std::sin(numerics::two_pi * (x - std::nearbyint(x))); }
double ref_cos(double x) { return std::cos(numerics::two_pi * (x - std::nearbyint(x))); }

// Against the library in extended precision, over the whole turn and at
// the edges of every quarter, where the reduction changes branch.
TEST(SinCosCycles, WithinTwoUnitsOfTheLastPlace)
{
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    std::vector<double> angles{0.0, 0.125, -0.125, 0.25, -0.25, 0.375, -0.375, 0.5, -0.5, 1e-300, 0.25 - 1e-17};
    for (int i = 0; i < 20000; ++i) angles.push_back(u(rng));
    for (double r : angles) {
        SinCos e = sincos_cycles(r);
        long double a = 2.0L * std::numbers::pi_v<long double> * r;
        EXPECT_NEAR(e.sin, static_cast<double>(std::sin(a)), 2.3e-16) << r;
        EXPECT_NEAR(e.cos, static_cast<double>(std::cos(a)), 2.3e-16) << r;
    }
    // Whole cycles are removed exactly, far from zero too.
    EXPECT_EQ(sincos_cycles(1e12 + 0.25).sin, 1.0);
    EXPECT_EQ(sincos_cycles(-3.5).cos, -1.0);
}

// Arguments of many cycles, as the model's f tau: the loop's values.
std::vector<double> wide_arguments()
{
    std::mt19937_64 gen(3);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    std::vector<double> x;
    for (double scale : {1e-3, 0.5, 3.0, 1e3, 1e5, 1e8})
        for (int i = 0; i < 2000; ++i) x.push_back(scale * uni(gen));
    // Quarter and eighth cycles, where the reduction switches quadrant.
    for (int q = -12; q <= 12; ++q) {
        x.push_back(q / 8.0);
        x.push_back(std::nextafter(q / 8.0, 1.0));
        x.push_back(std::nextafter(q / 8.0, -1.0));
    }
    return x;
}

TEST(SinCosCycles, LoopAgreesWithTheLibraryOverWideArguments)
{
    const std::vector<double> x = wide_arguments();
    std::vector<double> s(x.size()), c(x.size());
    sincos_cycles(x.data(), s.data(), c.data(), x.size());
    for (std::size_t k = 0; k < x.size(); ++k) {
        EXPECT_NEAR(s[k], ref_sin(x[k]), 4e-16) << x[k];
        EXPECT_NEAR(c[k], ref_cos(x[k]), 4e-16) << x[k];
    }
    // Exact values at the quarter turns.
    const double quarters[] = {0.0, 0.25, 0.5, 0.75, -0.25};
    const double sines[] = {0.0, 1.0, 0.0, -1.0, -1.0}, cosines[] = {1.0, 0.0, -1.0, 0.0, 0.0};
    for (int i = 0; i < 5; ++i) {
        double si, ci;
        sincos_cycles(&quarters[i], &si, &ci, 1);
        EXPECT_EQ(si, sines[i]);
        EXPECT_EQ(ci, cosines[i]);
    }
}

// BJD-sized times at 80 c/d: the phase of the exact product (in quadruple
// precision here), where the rounded product would keep only about 1e-8
// cycles.
TEST(PhasesOf, ExactProductReducedToAFraction)
{
    const std::vector<double> tau = {2457000.0, 2457012.3456789, -1234.5678};
    std::vector<double> cycles(tau.size());
    const double f = 80.0123;
    numerics::phases_of(f, tau, cycles);
    for (std::size_t k = 0; k < tau.size(); ++k) {
        const __float128 exact = static_cast<__float128>(f) * tau[k];
        __float128 fraction = exact - static_cast<long long>(exact);
        if (fraction > 0.5) fraction -= 1;
        if (fraction < -0.5) fraction += 1;
        EXPECT_NEAR(cycles[k], static_cast<double>(fraction), 1e-16) << k;
    }
}

TEST(Forms, TheLoopsGiveTheSameBitsInEveryForm)
{
    const std::vector<double> x = wide_arguments();
    const auto results = kernel_forms::in_every_form([&] {
        std::vector<double> s(x.size()), c(x.size()), p(x.size());
        sincos_cycles(x.data(), s.data(), c.data(), x.size());
        numerics::phases_of(17.3, x, p);
        s.insert(s.end(), c.begin(), c.end());
        s.insert(s.end(), p.begin(), p.end());
        return kernel_forms::bits(s);
    });
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[2], results[0]);
}

}  // namespace
