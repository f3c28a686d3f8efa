// The worked example: the Kepler light curve of the delta Scuti star
// KIC 7917485, read in millimagnitudes, with the program's default grid.
// Its two published modes (Murphy et al. 2016, ApJL 827, L17) come out
// first and second.
#include <gtest/gtest.h>

#include <cmath>

#include "grid.hpp"
#include "star.hpp"

namespace {

std::string kepler_file()
{
    const std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/")) + "/examples/kic7917485_kepler_lc.txt";
}

TEST(KeplerStar, TheTwoPublishedModesFirstAndSecond)
{
    prewhiten::Options o;
    o.files = {kepler_file()};
    o.unit = lightcurve::Unit::mag;
    const lightcurve::LightCurve curve = prewhiten::read_star(prewhiten::stars_of(o).front(), o);
    ASSERT_EQ(curve.size(), 65312u);
    extraction::Settings settings;
    settings.grid = prewhiten::grid_for(curve, o);
    settings.max_frequencies = 2;
    const extraction::Result result =
        extraction::extract(extraction::spectrum_plan(curve.times, settings), curve.times, curve.values, {},
                            extraction::one_segment(curve.times), settings);
    ASSERT_EQ(result.frequencies.size(), 2u);
    const double published_f[2] = {15.383003, 20.262897}, published_a[2] = {4.578, 2.388};
    for (int i = 0; i < 2; ++i) {
        const extraction::Frequency& f = result.frequencies[i];
        // Within 1e-5 c/d and within three of its own errors.
        EXPECT_NEAR(f.value.frequency, published_f[i], 1e-5) << "f" << i + 1;
        EXPECT_LT(std::fabs(f.value.frequency - published_f[i]), 3 * f.covariance.frequency) << "f" << i + 1;
        EXPECT_NEAR(f.value.amplitude, published_a[i], 0.03 * published_a[i]) << "f" << i + 1;
    }
    // Residuals correlated by the many weaker signals left in them.
    EXPECT_GT(result.D, 1.5);
}

}  // namespace
