// The segments of the bundled real light curves with the default rules: a
// space sector splits at its mid-sector gap into its two orbits, and four
// years of Kepler photometry into tens of stretches between its downlinks
// and its quarters' rolls, none shorter than 5 d.
#include <gtest/gtest.h>

#include <string>

#include "extraction/segments.hpp"
#include "lightcurve/lightcurve.hpp"

namespace {

std::string example(const std::string& name)
{
    const std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/")) + "/examples/" + name;
}

extraction::Segmentation segments_of(const std::string& name)
{
    lightcurve::LightCurve curve = lightcurve::read_file(example(name), {});
    lightcurve::sort_by_time(curve);
    return extraction::segment_light_curve(curve.times, curve.source_index, {});
}

TEST(RealSegments, ATessSectorIsItsTwoOrbitsAndKeplerTensOfStretches)
{
    const extraction::Segmentation tess =
        segments_of("hlsp_tess-spoc_tess_phot_0000000022876651-s0058_tess_v1_lc.fits");
    ASSERT_EQ(tess.segments.size(), 2u);
    EXPECT_GT(tess.segments[1].first - tess.segments[0].last, 1.0);  // the gap of the data downlink
    EXPECT_EQ(tess.segments[0].count + tess.segments[1].count, 11117u);

    const extraction::Segmentation kepler = segments_of("kic7917485_kepler_lc.txt");
    EXPECT_EQ(kepler.segments.size(), 54u);
    EXPECT_NEAR(extraction::median_segment_length(kepler.segments), 29.2, 0.1);
    for (const extraction::Segment& s : kepler.segments) EXPECT_GE(s.length(), 5.0);
}

}  // namespace
