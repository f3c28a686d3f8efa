// The tracking in a run: the table tracked when a file gives only
// frequencies, the picture of a star with an orbit and of one without (on
// a recording plotter), and the aligned orbit text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "support/recording_plotter.hpp"
#include "track_picture.hpp"
#include "track_star.hpp"

namespace {

// A light curve of two modes sampled every 0.02 d over 400 d, its light
// delayed by a circular orbit of P = 100 d and 60 s when `orbit`.
lightcurve::LightCurve two_modes(bool orbit, unsigned seed = 7)
{
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> noise(0.0, 0.5);
    lightcurve::LightCurve c;
    c.unit = lightcurve::Unit::mag;
    tracking::Orbit o;
    o.period = 100.0;
    o.asini = 60.0;
    for (int k = 0; k < 20000; ++k) {
        const double t = 1000.0 + 0.02 * k;
        const double delay = orbit ? tracking::light_time(o, t) / tracking::seconds_per_day : 0.0;
        c.times.push_back(t);
        c.values.push_back(3.0 * std::sin(2 * M_PI * 15.0 * (t - delay)) +
                           1.0 * std::sin(2 * M_PI * (21.0 * (t - delay) + 0.3)) + noise(gen));
    }
    return c;
}

prewhiten::Options tracking_options()
{
    prewhiten::Options options;
    options.track = 10.0;
    options.spectrum.threads = 1;
    return options;
}

prewhiten::TrackedStar tracked(const lightcurve::LightCurve& c)
{
    lightcurve::FrequencyTable file;
    file.frequencies = {15.0, 21.0};
    const prewhiten::TrackedTable table = prewhiten::table_of_file(file, "f.txt", c, false);
    return prewhiten::track_star("star.dat", c, table, tracking_options());
}

std::vector<std::string> draw(const prewhiten::TrackPictureInput& input)
{
    plotting::RecordingPlotter rec;
    prewhiten::draw_track_picture(rec, input);
    return rec.calls;
}

bool has(const std::vector<std::string>& calls, const std::string& text)
{
    return std::any_of(calls.begin(), calls.end(),
                       [&](const std::string& c) { return c.find(text) != std::string::npos; });
}

TEST(TrackedTable, PlainColumnGetsTheMeanTimeAndFittedAmplitudes)
{
    const lightcurve::LightCurve c = two_modes(false);
    lightcurve::FrequencyTable file;
    file.frequencies = {21.0, 15.0};
    const prewhiten::TrackedTable table = prewhiten::table_of_file(file, "f\t.txt", c, false);
    EXPECT_NEAR(table.t_ref, 1000.0 + 0.02 * 19999 / 2, 1e-9);
    ASSERT_EQ(table.frequencies.size(), 2u);
    EXPECT_EQ(table.frequencies[0].id, 1);
    EXPECT_NEAR(table.frequencies[0].amplitude, 1.0, 0.03);  // white noise 0.5: sigma_A = sqrt(2/N) 0.5 = 0.005
    EXPECT_NEAR(table.frequencies[1].amplitude, 3.0, 0.03);
    EXPECT_EQ(table.source, "f\\t.txt");
    // A table's own amplitudes and t_ref are taken as they are.
    file.amplitudes = {0.1, 0.2};
    file.t_ref = 1234.5;
    const prewhiten::TrackedTable given = prewhiten::table_of_file(file, "f.csv", c, false);
    EXPECT_EQ(given.t_ref, 1234.5);
    EXPECT_EQ(given.frequencies[1].amplitude, 0.2);
}

TEST(TrackPicture, OrbitDrawnThroughTheDelaysAboveTheClaimLevel)
{
    const prewhiten::TrackedStar star = tracked(two_modes(true));
    ASSERT_TRUE(star.result.orbit.fitted);
    ASSERT_TRUE(star.picture.has_value());
    const prewhiten::TrackPictureInput& input = *star.picture;
    // The claim and the drawn level say the same: the peak stands above it.
    EXPECT_GT(star.result.spectrum.power[star.result.spectrum.peak], input.fap_level);
    // The curve goes through the delays: within their errors, sampled
    // finely enough that the nearest sample serves.
    double chi2 = 0.0;
    for (std::size_t w = 0; w < input.delay_t.size(); ++w) {
        const auto at = std::lower_bound(input.orbit_t.begin(), input.orbit_t.end(), input.delay_t[w]);
        const std::size_t k = std::min<std::size_t>(at - input.orbit_t.begin(), input.orbit_t.size() - 1);
        chi2 += std::pow((input.delay[w] - input.orbit_delay[k]) / input.delay_err[w], 2);
    }
    EXPECT_LT(chi2 / static_cast<double>(input.delay_t.size()), 2.0);
    EXPECT_NEAR(star.result.orbit.orbit.asini, 60.0, 3.0 * star.result.orbit.asini_err);
    ASSERT_EQ(input.strongest.size(), 2u);
    EXPECT_EQ(input.strongest[1].id, 2);  // 21 c/d, the weaker, second
    const std::vector<std::string> calls = draw(input);
    EXPECT_TRUE(has(calls, "Time delays and the orbit"));
    EXPECT_TRUE(has(calls, "line(2000,"));
    EXPECT_TRUE(has(calls, "f1 15.0000 c/d"));
    EXPECT_TRUE(has(calls, "orbit P = "));

    // The orbit and its errors in the aligned text.
    const std::string text = prewhiten::orbit_text(star);
    EXPECT_NE(text.find("Orbit (light-travel time, "), std::string::npos) << text;
    EXPECT_NE(text.find("\na1 sin i / c"), std::string::npos) << text;
    EXPECT_NE(text.find("\n 1  15.000000"), std::string::npos) << text;
}

TEST(TrackPicture, NoOrbitClaimedWithoutDelays)
{
    const prewhiten::TrackedStar star = tracked(two_modes(false));
    EXPECT_FALSE(star.result.orbit.fitted);
    const prewhiten::TrackPictureInput& input = *star.picture;
    EXPECT_LT(star.result.spectrum.power[star.result.spectrum.peak], input.fap_level);
    EXPECT_TRUE(input.orbit_t.empty());
    const std::vector<std::string> calls = draw(input);
    EXPECT_TRUE(has(calls, "Time delays: no orbit claimed"));
    EXPECT_TRUE(has(calls, "sls(2)"));  // the level is drawn all the same
    EXPECT_NE(prewhiten::orbit_text(star).find("\nno orbit claimed: the delays' highest peak"), std::string::npos);
}

TEST(TrackPicture, NothingToShowStillGivesAPage)
{
    prewhiten::TrackPictureInput input;
    input.file = "empty";
    input.fap_level = NAN;
    const std::vector<std::string> calls = draw(input);
    EXPECT_TRUE(has(calls, "too few windows with delays to search"));
    EXPECT_TRUE(has(calls, "no window has a time delay"));
}

}  // namespace
