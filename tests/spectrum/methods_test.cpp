// The direct sums against the textbook form, and the fast method against
// the direct sums, on series that stress them: far times, gaps, uneven and
// strictly even cadences, unsorted times, pure noise, a strong signal
// between grid frequencies, grids through zero and far from it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "reference.hpp"
#include "support/kernel_forms.hpp"
#include "support/series.hpp"
#include "spectrum/spectrum.hpp"

namespace {

using spectrum::Grid;
using spectrum::Method;
using spectrum::Settings;
using testseries::Series;
using testseries::Shape;

std::vector<double> spectrum_of(const Series& s, const Grid& grid, Method method,
                                double tolerance = spectrum::default_tolerance)
{
    Settings settings;
    settings.method = method;
    settings.tolerance = tolerance;
    return spectrum::Plan(s.t, grid, settings).amplitude(s.x);
}

// A grid of `count` frequencies from fmin with `oversample` steps per 1/T.
Grid grid_for(const Series& s, double fmin, double oversample, std::size_t count)
{
    auto [low, high] = std::minmax_element(s.t.begin(), s.t.end());
    return {fmin, 1.0 / (oversample * (*high - *low)), count};
}

struct ExactCase {
    std::string name;
    Shape shape;
    double fmin;
    double oversample;
    std::size_t count;
    double tolerance = 1e-13;
};

TEST(ExactMethod, EqualsTheTextbookFormToRounding)
{
    std::vector<ExactCase> cases = {
        {"signal and gaps, grid from zero", {.n = 300}, 0.0, 10.0, 600},
        {"times out of order", {.n = 200, .shuffled = true}, 0.0, 10.0, 400},
        {"three points", {.n = 3}, 0.0, 10.0, 400},
        {"two points", {.n = 2, .gaps = false}, 0.0, 9.73, 400},
        // Direct sums up to 0.012 / T; beyond, the closed form keeps all but
        // three digits.
        {"near zero frequency", {.n = 300}, 0.0, 1000.0, 40, 1e-12},
        {"grid through zero", {.n = 150}, -0.3125, 4.0, 300},
        {"three years at BJD 2450000, far frequencies",
         {.n = 400, .start = 2450000.0, .span = 1100.0, .frequency = 41.3},
         41.0,
         5.0,
         700},
        // At the aliases every phase is equal but for the rounding of the
        // times (1e-7 cycles); phases good to 1e-16 cycles leave 1e-9 of the
        // amplitude there.
        {"strictly even cadence through its aliases", {.n = 100, .span = 1.0, .gaps = false, .regular = true},
         0.0,
         0.5,
         400,
         1e-9},
    };
    for (const ExactCase& c : cases) {
        SCOPED_TRACE(c.name);
        Series s = testseries::make(c.shape);
        Grid grid = grid_for(s, c.fmin, c.oversample, c.count);
        std::vector<double> exact = spectrum_of(s, grid, Method::exact);
        std::vector<double> textbook = reference::amplitude(s.t, s.x, grid);
        testseries::Difference d = testseries::difference(exact, textbook);
        EXPECT_LE(d.largest, c.tolerance * testseries::highest(textbook))
            << "row " << d.row << " exact " << exact[d.row] << " textbook " << textbook[d.row];
    }
}

TEST(ExactMethod, IsEvenInFrequencyAndNaNOnlyAtZero)
{
    Series s = testseries::make({.n = 120});
    Grid grid{-2.0, 0.0625, 65};  // -2 .. 2, zero at row 32
    std::vector<double> a = spectrum_of(s, grid, Method::exact);
    for (std::size_t j = 0; j < grid.count; ++j) {
        if (j == 32) {
            EXPECT_TRUE(std::isnan(a[j]));
            continue;
        }
        ASSERT_TRUE(std::isfinite(a[j])) << j;
        EXPECT_NEAR(a[j], a[64 - j], 1e-14) << j;
    }
}

struct FastCase {
    std::string name;
    Shape shape;
    double fmin;
    double oversample;
    std::size_t count;
    double tolerance = spectrum::default_tolerance;
};

// Every row, the two ends of the grid named on their own: the division by
// the kernel's transform makes them the hardest.
void expect_fast_equals_exact(const FastCase& c)
{
    SCOPED_TRACE(c.name);
    Series s = testseries::make(c.shape);
    Grid grid = grid_for(s, c.fmin, c.oversample, c.count);
    std::vector<double> exact = spectrum_of(s, grid, Method::exact);
    std::vector<double> fast = spectrum_of(s, grid, Method::nufft, c.tolerance);
    double allowed = c.tolerance * testseries::highest(exact);
    testseries::Difference d = testseries::difference(fast, exact);
    EXPECT_LE(d.largest, allowed) << "row " << d.row << " of " << grid.count << ": fast " << fast[d.row]
                                  << " exact " << exact[d.row];
    std::size_t first = std::isnan(exact[0]) ? 1 : 0, last = grid.count - 1;
    if (first <= last) {
        EXPECT_NEAR(fast[first], exact[first], allowed) << "first row";
        EXPECT_NEAR(fast[last], exact[last], allowed) << "last row";
    }
}

TEST(FastMethod, EqualsExactWithinTheTolerance)
{
    std::vector<FastCase> cases = {
        {"ten points", {.n = 10}, 0.0, 10.0, 1000},
        {"strong signal between grid frequencies, no noise", {.n = 3000, .noise = 0.0}, 0.0, 10.0, 5000},
        {"pure noise", {.n = 4000, .amplitude = 0.0}, 0.0, 10.0, 4000},
        {"grid through zero from negative frequencies", {.n = 800}, -3.0, 10.0, 3000},
        {"times out of order", {.n = 1000, .shuffled = true}, 1.0 / 27.0, 10.0, 3000},
        {"three years at BJD 2450000, far frequencies",
         {.n = 3000, .start = 2450000.0, .span = 1100.0, .frequency = 20.31},
         20.0,
         10.0,
         6000},
        {"strictly even cadence across two aliases",
         {.n = 500, .span = 5.0, .gaps = false, .regular = true},
         0.0,
         0.1,
         10500},
        {"one frequency", {.n = 300}, 13.0, 10.0, 1},
        {"two frequencies", {.n = 300}, 13.0, 10.0, 2},
        {"coarse tolerance", {.n = 2000, .amplitude = 0.0}, 0.0, 10.0, 4000, 1e-4},
        {"finest tolerance", {.n = 2000, .amplitude = 0.0}, 0.0, 10.0, 4000, spectrum::finest_tolerance},
        {"many points, few frequencies", {.n = 20000, .span = 80.0}, 5.0, 10.0, 700},
    };
    for (const FastCase& c : cases) expect_fast_equals_exact(c);
}

}  // namespace

// Every kernel of both methods (the phases along the grid, the exact sums,
// the kernel's transform, the spreading, the direct sums beside zero
// frequency) gives the same bits in each of its forms.
TEST(Forms, BothMethodsGiveTheSameBitsInEveryForm)
{
    testseries::Shape shape;
    shape.n = 3000;
    const testseries::Series s = testseries::make(shape);
    const spectrum::Grid grid{-0.02, 0.005, 6000};  // through zero frequency
    for (spectrum::Method method : {spectrum::Method::exact, spectrum::Method::nufft}) {
        const auto results = kernel_forms::in_every_form([&] {
            const spectrum::Plan plan(s.t, grid, {method, spectrum::default_tolerance, 2});
            std::vector<double> a = plan.amplitude(s.x);
            const std::vector<double> w = plan.window(13.37);
            a.insert(a.end(), w.begin(), w.end());
            return kernel_forms::bits(a);
        });
        EXPECT_EQ(results[1], results[0]) << static_cast<int>(method);
        EXPECT_EQ(results[2], results[0]) << static_cast<int>(method);
    }
}
