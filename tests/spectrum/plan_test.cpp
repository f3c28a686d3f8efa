// The plan's contract: what it accepts and refuses, results that do not
// depend on the threads, degenerate series, the physics of a sinusoid and
// of the spectral window, and the memory estimate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <vector>

#include "support/series.hpp"
#include "spectrum/spectrum.hpp"

namespace {

using spectrum::Grid;
using spectrum::Method;
using spectrum::Plan;
using spectrum::Settings;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

Settings with(Method method, int threads = 0)
{
    Settings s;
    s.method = method;
    s.threads = threads;
    return s;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(PlanArguments, RefusesWhatCannotBeComputed)
{
    std::vector<double> t{2457000.1, 2457000.2, 2457000.35}, x{1.0, 2.0, 0.5};
    Grid good{0.0, 0.1, 50};
    Settings fine;
    auto refused = [&](std::vector<double> times, Grid grid, Settings settings) {
        EXPECT_THROW(Plan(times, grid, settings), std::invalid_argument);
    };
    refused({}, good, fine);
    refused({2457000.5}, good, fine);  // no time span
    refused({3.0, 3.0, 3.0}, good, fine);
    refused({1.0, nan}, good, fine);
    refused({1.0, inf}, good, fine);
    refused(t, Grid{0.0, 0.1, 0}, fine);
    refused(t, Grid{0.0, 0.0, 2}, fine);
    refused(t, Grid{0.0, -0.1, 2}, fine);
    refused(t, Grid{nan, 0.1, 2}, fine);
    refused(t, Grid{0.0, inf, 1}, fine);
    refused(t, Grid{0.0, 1e300, 10}, fine);  // the last frequency overflows
    refused(t, Grid{0.0, 0.1, spectrum::max_grid_count + 1}, fine);
    refused({0.0, 1e12}, Grid{0.0, 1e4, 10}, fine);  // phases beyond 2^49 cycles
    for (double tolerance : {0.0, 1e-13, 0.5, nan}) {
        Settings s;
        s.tolerance = tolerance;
        refused(t, good, s);
    }
    refused(t, good, with(Method::nufft, -1));
    refused(t, good, with(Method::nufft, spectrum::max_threads + 1));
    refused(t, good, with(static_cast<Method>(7)));

    Plan plan(t, good, fine);
    EXPECT_THROW(plan.amplitude(std::vector<double>{1.0, 2.0}), std::invalid_argument);
    EXPECT_THROW(plan.amplitude(std::vector<double>{1.0, nan, 2.0}), std::invalid_argument);
    EXPECT_THROW(plan.window(inf), std::invalid_argument);
    EXPECT_EQ(plan.size(), 3u);
    EXPECT_NO_THROW(Plan(t, Grid{5.0, -1.0, 1}, fine).amplitude(x));  // one frequency: any step
}

TEST(PlanArguments, KernelWidthFollowsTheTolerance)
{
    // Upsampling 1.5 while the kernel fits in 16 points, one point wider
    // per digit; then upsampling 2.
    EXPECT_EQ(spectrum::kernel_width(spectrum::default_tolerance), 15);
    EXPECT_EQ(spectrum::spreading(spectrum::default_tolerance).upsampling, 1.5);
    EXPECT_EQ(spectrum::kernel_width(spectrum::coarsest_tolerance), 8);
    EXPECT_EQ(spectrum::kernel_width(3e-7), 13);  // between decades: the finer one's width
    int previous = 0;
    for (int digits = 2; digits <= 10; ++digits) {
        const spectrum::Spreading fine = spectrum::spreading(std::pow(10.0, -digits));
        EXPECT_EQ(fine.width, previous == 0 ? 8 : previous + 1) << digits;
        EXPECT_EQ(fine.upsampling, 1.5) << digits;
        previous = fine.width;
    }
    EXPECT_EQ(spectrum::spreading(1e-11).width, 14);
    EXPECT_EQ(spectrum::spreading(spectrum::finest_tolerance).width, 15);
    EXPECT_EQ(spectrum::spreading(spectrum::finest_tolerance).upsampling, 2.0);
    EXPECT_THROW(spectrum::kernel_width(0.1), std::invalid_argument);
    EXPECT_THROW(spectrum::kernel_width(1e-13), std::invalid_argument);
    std::vector<double> t{1.0, 2.0};
    EXPECT_EQ(Plan(t, Grid{0.0, 0.1, 5}, with(Method::exact)).kernel_width(), 0);
}

// Fixed blocks of the grid and of the fine cells: every count of threads
// gives the same bits, and so does a second call on the same plan.
TEST(PlanThreads, ResultsDoNotDependOnTheThreads)
{
    for (Method method : {Method::exact, Method::nufft}) {
        bool fast = method == Method::nufft;
        // Several blocks of frequencies, of fine cells and of observations.
        testseries::Series s = testseries::make({.n = fast ? 7000u : 2500u, .span = 30.0});
        Grid grid{0.0, 1.0 / 300.0, fast ? 9000u : 3000u};
        std::vector<double> one = Plan(s.t, grid, with(method, 1)).amplitude(s.x);
        Plan three(s.t, grid, with(method, 3));
        EXPECT_TRUE(same_bits(one, Plan(s.t, grid, with(method, 2)).amplitude(s.x)));
        EXPECT_TRUE(same_bits(one, three.amplitude(s.x)));
        EXPECT_TRUE(same_bits(one, three.amplitude(s.x)));
        std::vector<double> out(5, -1.0);  // memory reused, of another size before
        three.amplitude(s.x, out);
        EXPECT_TRUE(same_bits(one, out));
    }
}

// Two observations a whole number of cycles apart have one phase there:
// the sums see only the values' sum, zero once the mean is removed, and the
// sine of the fit vanishes at both: the amplitude is zero (the closed form
// would divide 0 by 0).  Between those frequencies two points are always
// fitted exactly: the amplitude is sqrt(2) times half their difference.
TEST(DegenerateSeries, TwoObservations)
{
    std::vector<double> t{2457000.0, 2457000.5}, x{1.0, 4.0};
    Grid grid{0.0, 0.5, 9};  // whole cycles apart at rows 0, 4 and 8
    for (Method method : {Method::exact, Method::nufft}) {
        std::vector<double> a = Plan(t, grid, with(method)).amplitude(x);
        double fitted = 1.5 * std::sqrt(2.0);
        double allowed = method == Method::exact ? 1e-15 : spectrum::default_tolerance * fitted;
        EXPECT_TRUE(std::isnan(a[0]));
        for (std::size_t j = 1; j < a.size(); ++j) EXPECT_NEAR(a[j], j % 4 == 0 ? 0.0 : fitted, allowed) << j;
    }
}

// A noise-free sinusoid at a grid frequency, well sampled: its amplitude
// there; the spectral window of the same times is 1 at its frequency.
TEST(Physics, SinusoidAndWindow)
{
    testseries::Series s = testseries::make({.n = 5000, .gaps = false, .amplitude = 2.5, .frequency = 10.0,
                                             .noise = 0.0});
    Grid grid{9.0, 0.01, 201};  // row 100 at 10 c/d
    for (Method method : {Method::exact, Method::nufft}) {
        Plan plan(s.t, grid, with(method));
        std::vector<double> a = plan.amplitude(s.x);
        EXPECT_NEAR(a[100], 2.5, 2.5e-3);
        std::vector<double> w = plan.window(10.0);
        EXPECT_NEAR(w[100], 1.0, 1e-3);
        EXPECT_LT(w[0], 0.05);
    }
}

// Values of any finite size: the amplitude is linear in the values, and
// values whose squares would overflow (above about 1e154) or underflow
// (below about 1e-154) are scaled by powers of two, so that x 2^768 and
// x 2^-768 give the spectrum of x scaled, to the last bit.  Usual values
// (within 2^-128 to 2^128) are not scaled at all.
TEST(Physics, AmplitudeOfValuesOfAnySize)
{
    testseries::Series s = testseries::make({.n = 3000});
    Grid grid{0.01, 0.01, 3000};
    for (Method method : {Method::exact, Method::nufft}) {
        Plan plan(s.t, grid, with(method));
        const std::vector<double> a = plan.amplitude(s.x);
        for (int k : {768, -768}) {
            std::vector<double> x = s.x;
            for (double& v : x) v = std::ldexp(v, k);
            std::vector<double> back = plan.amplitude(x);
            for (double& v : back) v = std::ldexp(v, -k);
            EXPECT_TRUE(same_bits(back, a)) << k;
        }
    }
    EXPECT_EQ(spectrum::range_exponent(0.0), 0);
    EXPECT_EQ(spectrum::range_exponent(0x1.fffffp127), 0);
    EXPECT_EQ(spectrum::range_exponent(0x1p-128), 0);
    EXPECT_EQ(spectrum::range_exponent(0x1p128), -256);
    EXPECT_EQ(spectrum::range_exponent(0x1.fp-129), 256);
    EXPECT_EQ(spectrum::range_exponent(std::numeric_limits<double>::max()), -1024);
    EXPECT_EQ(spectrum::range_exponent(std::numeric_limits<double>::denorm_min()), 1024);
}

// A strictly even cadence repeats the window at its sampling frequency:
// the alias of a signal at f0 appears at 1/dt - f0 with the same height.
TEST(Physics, WindowOfAnEvenCadenceHasItsAlias)
{
    std::vector<double> t;
    for (int k = 0; k < 400; ++k) t.push_back(2458000.0 + 0.125 * k);  // 8 per day
    Grid grid{0.0, 0.01, 801};  // 0 .. 8 c/d
    for (Method method : {Method::exact, Method::nufft}) {
        std::vector<double> w = Plan(t, grid, with(method)).window(1.5);
        EXPECT_NEAR(w[150], 1.0, 1e-2);
        EXPECT_NEAR(w[650], w[150], 1e-9);  // 8 - 1.5
    }
}

TEST(Memory, LinearAndSaturating)
{
    Settings fast, exact = with(Method::exact);
    Grid grid{0.0, 0.001, 100000};
    std::size_t small = spectrum::memory_needed(10000, grid, fast);
    std::size_t more_points = spectrum::memory_needed(20000, grid, fast);
    std::size_t more_frequencies = spectrum::memory_needed(10000, Grid{0.0, 0.001, 200000}, fast);
    EXPECT_GT(more_points, small);
    EXPECT_GT(more_frequencies, small);
    EXPECT_LT(more_frequencies, 3 * small);
    EXPECT_LT(spectrum::memory_needed(10000, grid, exact), small);
    // At least the fine grid of two complex numbers per frequency.
    EXPECT_GE(small, 2 * 16 * grid.count);
    constexpr std::size_t most = std::numeric_limits<std::size_t>::max();
    EXPECT_EQ(spectrum::memory_needed(most / 2, grid, fast), most);
    EXPECT_EQ(spectrum::memory_needed(10, Grid{0.0, 0.1, spectrum::max_grid_count + 1}, fast), most);
}

}  // namespace
