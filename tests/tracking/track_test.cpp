// The whole step: how each frequency's amplitude and frequency change,
// windows that cannot be fitted, input that cannot be used, and results
// that do not depend on the number of threads.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "tracking/files.hpp"
#include "tracking/track.hpp"

using namespace tracking;

namespace {

struct Series {
    std::vector<double> t, y;
};

// 400 days at a 30-minute cadence: a mode whose amplitude grows by `slope`
// per year and whose frequency changes at `rate` c/d per day (phase
// rate (t - t_ref)^2 / 2), a second steady mode, white noise 0.5.
Series modulated(double slope, double rate, double t_ref)
{
    Series s;
    std::mt19937_64 gen(17);
    std::normal_distribution<double> gauss(0.0, 0.5);
    for (int k = 0; k < 400 * 48; ++k) {
        const double t = 56000.0 + k / 48.0, x = t - t_ref;
        const double amplitude = 3.0 + slope * x / 365.25;
        s.t.push_back(t);
        s.y.push_back(amplitude * std::sin(2.0 * M_PI * (9.7 * x + 0.5 * rate * x * x + 0.3)) +
                      2.0 * std::sin(2.0 * M_PI * (14.2 * x + 0.8)) + gauss(gen));
    }
    return s;
}

}  // namespace

TEST(Modulation, AmplitudeTrendAndFrequencyChangeAreMeasured)
{
    // The frequency f + dphi/dt changes at p2 of phi = p0 + p1 x + p2 x^2 / 2
    // (Breger & Pamyatnykh 1998, A&A 332, 958).
    const double t_ref = 56200.0, slope = 0.8, rate = 1e-6;
    const Series s = modulated(slope, rate, t_ref);
    const std::vector<TableFrequency> table = {{1, 9.7, 3.0}, {2, 14.2, 2.0}};
    const Result r = track(s.t, s.y, {}, table, t_ref, Settings{});
    ASSERT_EQ(r.modulation.size(), 2u);
    const Modulation& m = r.modulation[0];
    EXPECT_NEAR(m.amplitude_slope, slope, 3.0 * m.amplitude_slope_err);
    EXPECT_LT(m.amplitude_slope_err, 0.1);
    EXPECT_NEAR(m.frequency_rate, rate, 3.0 * m.frequency_rate_err);
    EXPECT_LT(m.frequency_rate_err, 0.2 * rate);
    EXPECT_GT(m.amplitude_chi2_dof, 5.0);  // a growing amplitude is not constant
    // The steady mode: constant amplitude, no trend, no frequency change.
    const Modulation& steady = r.modulation[1];
    EXPECT_NEAR(steady.mean_amplitude, 2.0, 0.01);
    EXPECT_LT(steady.amplitude_chi2_dof, 2.5);  // near 1: chi2 / 39 scatters by 0.23
    EXPECT_NEAR(steady.amplitude_slope, 0.0, 3.0 * steady.amplitude_slope_err);
    EXPECT_NEAR(steady.frequency_rate, 0.0, 3.0 * steady.frequency_rate_err);
}

TEST(Track, UnusableWindowsAreSkippedAndCountedAndBadInputRefused)
{
    // Five good windows, then one whose 400 points lie at two moments only:
    // its columns are dependent, so it is skipped as singular.
    Series s = modulated(0.0, 0.0, 56025.0);
    s.t.resize(50 * 48);
    s.y.resize(50 * 48);
    for (int k = 0; k < 400; ++k) {
        s.t.push_back(56052.0 + (k < 200 ? 0.0 : 1.0));
        s.y.push_back(1.0);
    }
    const std::vector<TableFrequency> table = {{1, 9.7, 3.0}, {2, 14.2, 2.0}};
    const Result r = track(s.t, s.y, {}, table, 56025.0, Settings{});
    EXPECT_EQ(r.windows.size(), 6u);
    EXPECT_EQ(r.counts.used, 5u);
    EXPECT_EQ(r.counts.singular, 1u);
    EXPECT_EQ(r.windows[5].skip, Skip::singular);
    EXPECT_TRUE(r.windows[5].cells.empty());

    Settings bad;
    bad.width = 0.0;
    EXPECT_THROW(track(s.t, s.y, {}, table, 56025.0, bad), std::invalid_argument);
    bad.width = 10.0;
    bad.step = -1.0;
    EXPECT_THROW(track(s.t, s.y, {}, table, 56025.0, bad), std::invalid_argument);
    bad.step = 1e-6;  // ten million windows
    EXPECT_THROW(track(s.t, s.y, {}, table, 56025.0, bad), std::invalid_argument);
    std::vector<double> unsorted = s.t;
    std::swap(unsorted[3], unsorted[4]);
    EXPECT_THROW(track(unsorted, s.y, {}, table, 56025.0, Settings{}), std::invalid_argument);
    Settings weighted;
    weighted.weights = true;
    EXPECT_THROW(track(s.t, s.y, {}, table, 56025.0, weighted), std::invalid_argument);  // no errors given
}

TEST(Track, ResultsDoNotDependOnTheNumberOfThreads)
{
    // Delays of a 150-day orbit of 60 s on two modes over 400 days.
    Series s;
    std::mt19937_64 gen(8);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (int k = 0; k < 400 * 48; ++k) {
        const double t = 56000.0 + k / 48.0, x = t - 56200.0 - 60.0 / 86400.0 * std::sin(2.0 * M_PI * t / 150.0);
        s.t.push_back(t);
        s.y.push_back(3.0 * std::sin(2.0 * M_PI * 9.7 * x) + 2.0 * std::sin(2.0 * M_PI * (14.2 * x + 0.8)) +
                      gauss(gen));
    }
    const std::vector<TableFrequency> table = {{1, 9.7, 3.0}, {2, 14.2, 2.0}};
    Settings one, two;
    two.threads = 2;
    const Result a = track(s.t, s.y, {}, table, 56200.0, one), b = track(s.t, s.y, {}, table, 56200.0, two);
    ASSERT_TRUE(a.orbit.fitted);
    const FileContext context{"none", "test"};
    EXPECT_EQ(track_csv(a, context), track_csv(b, context));
    EXPECT_EQ(timedelay_csv(a, context), timedelay_csv(b, context));
    EXPECT_EQ(modulation_csv(a, context), modulation_csv(b, context));
    EXPECT_EQ(orbit_csv(a, context), orbit_csv(b, context));
    EXPECT_NEAR(a.orbit.orbit.period, 150.0, 3.0 * a.orbit.period_err);
}
