// One star's analysis on arrays: the command line's checks and messages,
// the readers' rule for unusable rows, and values already in their unit.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "options.hpp"
#include "prewhiten/arrays.hpp"

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();

// A light curve of a sinusoid of 3 c/d over 20 days.
lightcurve::LightCurve sinusoid()
{
    std::vector<double> t, y;
    for (int i = 0; i < 400; ++i) {
        t.push_back(0.05 * i);
        y.push_back(std::sin(2 * M_PI * 3.0 * t.back()));
    }
    return prewhiten::light_curve_of_arrays("sine", t, y, {});
}

std::string usage_error(const std::vector<std::string>& words)
{
    try {
        prewhiten::StarAnalysis analysis("sine", sinusoid(), words);
    } catch (const prewhiten::UsageError& e) {
        return e.what();
    }
    return "";
}

TEST(Arrays, BadWordsGetTheCommandLinesMessage)
{
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"--snr=0.5"}, {"--refine=some"}, {"--fmin=3", "--fmax=2"}, {"--no-such"}}) {
        std::vector<const char*> argv{"prewhiten", "star.dat"};
        for (const std::string& w : words) argv.push_back(w.c_str());
        std::ostringstream out, err;
        prewhiten::parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err);
        const std::string message = usage_error(words);
        ASSERT_FALSE(message.empty()) << words.front();
        EXPECT_NE(err.str().find(message), std::string::npos) << err.str() << " / " << message;
    }
    EXPECT_NE(usage_error({"star.dat"}).find("no file is read here"), std::string::npos);
    EXPECT_NE(usage_error({"--summary=rows.csv"}).find("--summary"), std::string::npos);
    EXPECT_NE(usage_error({"--resume"}).find("--resume"), std::string::npos);
}

TEST(Arrays, RowsDroppedUnderTheFirstReasonAsTheReadersDo)
{
    const std::vector<double> t{1, nan, 3, 4, nan}, y{1, 2, nan, 4, nan}, e{1, 1, 1, nan, 1};
    const lightcurve::LightCurve curve = prewhiten::light_curve_of_arrays("x", t, y, e);
    EXPECT_EQ(curve.times, std::vector<double>{1});
    const lightcurve::Dropped& d = curve.sources.front().dropped;
    EXPECT_EQ(curve.sources.front().rows, 5u);
    EXPECT_EQ(d.time_not_finite, 2u);
    EXPECT_EQ(d.value_not_finite, 1u);
    EXPECT_EQ(d.error_not_finite, 1u);
    const std::vector<double> one{1.0};
    EXPECT_THROW(prewhiten::light_curve_of_arrays("x", t, one, {}), std::invalid_argument);
}

TEST(Arrays, ValuesAlreadyInTheirUnitAreTakenAsTheyAre)
{
    lightcurve::LightCurve curve = sinusoid();
    curve.unit = lightcurve::Unit::mag;
    const std::vector<double> values = curve.values;
    const prewhiten::StarAnalysis analysis("sine", curve, {"--unit=mag", "--spectrum-only"});
    EXPECT_EQ(analysis.curve().values, values);
    EXPECT_THROW(prewhiten::StarAnalysis("sine", curve, {"--unit=flux"}), prewhiten::UsageError);
}

}  // namespace
