// The small kernels the spectrum is built on: the exponential, and phases
// kept exact at large times.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "exponential.hpp"
#include "phases.hpp"

namespace {

using spectrum::detail::exponential;

TEST(Exponential, WithinTwoUnitsOfTheLastPlace)
{
    for (double y = -700.0; y <= 700.0; y += 0.0137) {
        double expected = static_cast<double>(std::exp(static_cast<long double>(y)));
        EXPECT_NEAR(exponential(y), expected, 4.5e-16 * expected) << y;
    }
    EXPECT_EQ(exponential(0.0), 1.0);
}

// A time at BJD 2457000 and a frequency of 80 c/d: 2e8 cycles.  The phase
// along the grid must equal the exact value to 1e-15 cycles, where the
// plain product f t would keep only 1e-8.
TEST(Phases, ExactAtLargeTimesAndFarAlongTheGrid)
{
    std::vector<double> t{2457000.0, 2457012.3456789, 2457027.0};
    spectrum::Grid grid{79.99, 1.0 / 3000.0, 1000};
    spectrum::detail::Times times = spectrum::detail::relative_times(t);
    spectrum::detail::PointPhases phases = spectrum::detail::point_phases(times, grid);
    for (std::size_t k = 0; k < t.size(); ++k)
        for (std::size_t j : {0ul, 1ul, 517ul, 999ul}) {
            long double f = static_cast<long double>(grid.fmin) + static_cast<long double>(j) * grid.step;
            long double cycles = f * (static_cast<long double>(t[k]) - static_cast<long double>(times.middle));
            long double expected = cycles - std::nearbyint(cycles);
            double r = spectrum::detail::grid_cycles(phases.start[k], phases.advance_hi[k], phases.advance_lo[k],
                                                     static_cast<double>(j));
            EXPECT_NEAR(r, static_cast<double>(expected), 1e-15) << k << " " << j;
        }
}

}  // namespace
