// Sorting, unit conversion, joining, and the figures of the time axis.
#include <gtest/gtest.h>

#include <cmath>

#include "lightcurve/lightcurve.hpp"

namespace {

using lightcurve::LightCurve;
using lightcurve::Unit;

LightCurve curve(std::vector<double> t, std::vector<double> x, std::vector<double> e = {}, const char* file = "a.dat")
{
    LightCurve c;
    c.times = std::move(t);
    c.values = std::move(x);
    c.has_errors = !e.empty();
    c.errors = std::move(e);
    c.sources.push_back({});
    c.sources.back().file = file;
    return c;
}

TEST(TimeAxis, SpanThroughGapsAndRepeats)
{
    const std::vector<double> t = {0, 1, 2, 2, 3, 53, 54};
    EXPECT_EQ(lightcurve::time_span(t), 54);
    EXPECT_EQ(lightcurve::time_span({5}), 0);
}

TEST(Sorting, StableAndCarriesValuesAndErrors)
{
    LightCurve c = curve({3, 1, 2, 1}, {30, 10, 20, 11}, {0.3, 0.1, 0.2, 0.11});
    lightcurve::sort_by_time(c);
    EXPECT_EQ(c.times, (std::vector<double>{1, 1, 2, 3}));
    EXPECT_EQ(c.values, (std::vector<double>{10, 11, 20, 30}));
    EXPECT_EQ(c.errors, (std::vector<double>{0.1, 0.11, 0.2, 0.3}));
}

TEST(Units, FluxToPartsPerThousand)
{
    // (x / median - 1) * 1000 with median 200; errors / median * 1000.
    LightCurve c = curve({1, 2, 3}, {100, 200, 300}, {2, 4, 6});
    lightcurve::convert(c, Unit::flux);
    EXPECT_EQ(c.values, (std::vector<double>{-500, 0, 500}));
    EXPECT_EQ(c.errors, (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(c.unit, Unit::flux);
    EXPECT_STREQ(lightcurve::unit_name(c.unit), "ppt");
}

TEST(Units, MagnitudesToMillimagnitudes)
{
    // (x - median) * 1000 with median 7.5.
    LightCurve c = curve({1, 2, 3}, {7.25, 7.5, 8.0}, {0.001, 0.002, 0.004});
    lightcurve::convert(c, Unit::mag);
    EXPECT_EQ(c.values, (std::vector<double>{-250, 0, 500}));
    EXPECT_EQ(c.errors, (std::vector<double>{1, 2, 4}));
    EXPECT_STREQ(lightcurve::unit_name(Unit::mag), "mmag");
    EXPECT_STREQ(lightcurve::unit_name(Unit::none), "none");
}

TEST(Units, FluxWithoutAPositiveMedianIsRefused)
{
    LightCurve c = curve({1, 2, 3}, {-1, 0, 1}, {}, "sky.dat");
    try {
        lightcurve::convert(c, Unit::flux);
        FAIL();
    } catch (const lightcurve::Error& e) {
        EXPECT_STREQ(e.what(), "sky.dat: the median flux is 0, not positive: values cannot be taken relative to it");
    }
}

// Values (or errors) beyond 1e300 in the unit of the run, as read or as a
// conversion makes them, are refused with the range: the amplitudes and
// residuals of the analysis must stay within the range of doubles.
TEST(Units, ValuesBeyondTheRangeAreRefused)
{
    auto error_of = [](LightCurve c, Unit unit) -> std::string {
        try {
            lightcurve::convert(c, unit);
        } catch (const lightcurve::Error& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(error_of(curve({1, 2, 3}, {1, 3e305, 2}), Unit::none),
              "a.dat: a value reaches 3e+305, beyond +-1e300, the largest the analysis takes");
    EXPECT_EQ(error_of(curve({1, 2, 3}, {-1.7e308, 1.7e308, 1.7e308}), Unit::mag),
              "a.dat: in mmag a value reaches 3.4e+311, beyond +-1e300, the largest the analysis takes");
    EXPECT_EQ(error_of(curve({1, 2, 3}, {1e-300, 1, 1}, {1e299, 1, 1}), Unit::flux),
              "a.dat: in ppt an error reaches 1e+302, beyond +-1e300, the largest the analysis takes");
    // Near the largest double, values close to their median convert.
    EXPECT_EQ(error_of(curve({1, 2, 3}, {1.7e308, 1.7e308, 1.7e308}), Unit::mag), "no error");
}

TEST(Joining, EachFileToItsOwnMedianThenInTimeOrder)
{
    std::vector<LightCurve> parts;
    parts.push_back(curve({10, 12, 11}, {7.0, 7.2, 7.1}, {0.01, 0.01, 0.01}, "a.dat"));
    parts.push_back(curve({1, 2, 3}, {8.0, 8.5, 9.0}, {0.02, 0.02, 0.02}, "b.dat"));
    const LightCurve c = lightcurve::join(std::move(parts), Unit::mag);
    EXPECT_EQ(c.times, (std::vector<double>{1, 2, 3, 10, 11, 12}));
    ASSERT_EQ(c.values.size(), 6u);
    EXPECT_EQ(c.values[0], -500);
    EXPECT_EQ(c.values[1], 0);
    EXPECT_EQ(c.values[2], 500);
    EXPECT_NEAR(c.values[3], -100, 1e-9);
    EXPECT_EQ(c.values[4], 0);
    EXPECT_NEAR(c.values[5], 100, 1e-9);
    EXPECT_TRUE(c.has_errors);
    EXPECT_EQ(c.errors, (std::vector<double>{20, 20, 20, 10, 10, 10}));
    ASSERT_EQ(c.sources.size(), 2u);
    EXPECT_EQ(c.sources[0].file, "a.dat");
    EXPECT_EQ(c.sources[1].file, "b.dat");
    EXPECT_EQ(c.source_index, (std::vector<std::uint32_t>{1, 1, 1, 0, 0, 0}));  // each point's file
}

TEST(Joining, UnitNoneRemovesEachMedianAndErrorsNeedEveryFile)
{
    std::vector<LightCurve> parts;
    parts.push_back(curve({1, 2, 3}, {100, 101, 102}, {1, 1, 1}));
    parts.push_back(curve({4, 5}, {50, 52}));
    const LightCurve c = lightcurve::join(std::move(parts), Unit::none);
    EXPECT_EQ(c.values, (std::vector<double>{-1, 0, 1, -1, 1}));
    EXPECT_FALSE(c.has_errors);
    EXPECT_TRUE(c.errors.empty());
}

}  // namespace
