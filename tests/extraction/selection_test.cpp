// The extraction with a baseline per segment and candidates chosen by
// their S/N: polynomial baselines recovered exactly beside a sinusoid, the
// model with its baselines at any time, and a red-noise hump higher than a
// significant high-frequency peak passed over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "extraction/extraction.hpp"

using namespace extraction;

namespace {

constexpr double two_pi = 6.283185307179586;

// Three stretches of 12 d every 0.01 d with gaps of 3 d between them.
std::vector<double> three_stretches()
{
    std::vector<double> t;
    for (int s = 0; s < 3; ++s)
        for (int k = 0; k <= 1200; ++k) t.push_back(1000.0 + 15.0 * s + 0.01 * k);
    return t;
}

spectrum::Grid grid_to(double fmax, double span) { return {1.0 / span, 0.1 / span, std::size_t(fmax * span * 10)}; }

}  // namespace

TEST(Baselines, APolynomialPerSegmentIsRecoveredBesideASinusoid)
{
    const std::vector<double> t = three_stretches();
    const double c[3][3] = {{2.0, 0.05, -0.004}, {-1.5, -0.11, 0.002}, {0.3, 0.0, 0.007}};
    const Segmentation segments = segment_light_curve(t, {}, SegmentRules{});
    ASSERT_EQ(segments.segments.size(), 3u);
    std::vector<double> y(t.size());
    for (std::size_t k = 0; k < t.size(); ++k) {
        const std::size_t s = segments.of_point[k];
        const double u = t[k] - 0.5 * (segments.segments[s].first + segments.segments[s].last);
        y[k] = c[s][0] + c[s][1] * u + c[s][2] * u * u + 0.8 * std::sin(two_pi * (7.31 * t[k] + 0.2));
    }
    for (FitMethod fit : {FitMethod::fast, FitMethod::exact}) {
        Settings settings;
        settings.grid = grid_to(20.0, t.back() - t.front());
        settings.baseline = Baseline::quadratic;
        settings.max_frequencies = 1;
        settings.fit = fit;
        const Result r = extract(spectrum_plan(t, settings), t, y, {}, segments, settings);
        ASSERT_EQ(r.frequencies.size(), 1u);
        EXPECT_NEAR(r.frequencies[0].value.frequency, 7.31, 1e-9);
        EXPECT_NEAR(r.frequencies[0].value.amplitude, 0.8, 1e-8);
        ASSERT_EQ(r.baselines.size(), 3u);
        for (std::size_t s = 0; s < 3; ++s) {
            EXPECT_EQ(r.baselines[s].coefficients, 3);
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(r.baselines[s].value[i], c[s][i], 1e-8) << s << " " << i;
        }
        double largest = 0.0;
        for (double v : r.residuals) largest = std::max(largest, std::fabs(v));
        EXPECT_LT(largest, 1e-7);
        // The model with its baselines at the points, and in a gap the
        // baseline of the nearer segment.
        const std::vector<double> at = model_at(r, std::vector<double>{t[10], 1013.0});
        EXPECT_NEAR(at[0], y[10], 1e-7);
        const double u = 1013.0 - 1006.0;
        EXPECT_NEAR(at[1], c[0][0] + c[0][1] * u + c[0][2] * u * u + 0.8 * std::sin(two_pi * (7.31 * 1013.0 + 0.2)),
                    1e-6);
    }
}

TEST(Baselines, ASegmentWithTooFewPointsGetsALowerDegree)
{
    // Two points; three points at two distinct times; a long stretch.
    std::vector<double> t = {0.0, 0.01, 1.5, 1.5, 1.51};
    for (int k = 0; k < 2000; ++k) t.push_back(3.0 + 0.01 * k);
    std::vector<double> y(t.size());
    for (std::size_t k = 0; k < t.size(); ++k) y[k] = std::sin(two_pi * 5.0 * t[k]);
    SegmentRules rules;
    rules.breakpoints = std::vector<double>{1.0, 2.0};
    const Segmentation segments = segment_light_curve(t, {}, rules);
    Settings settings;
    settings.grid = grid_to(20.0, t.back() - t.front());
    settings.baseline = Baseline::quadratic;
    settings.max_frequencies = 1;
    const Result r = extract(spectrum_plan(t, settings), t, y, {}, segments, settings);
    ASSERT_EQ(r.baselines.size(), 3u);
    EXPECT_EQ(r.baselines[0].coefficients, 2);
    EXPECT_EQ(r.baselines[1].coefficients, 2);
    EXPECT_EQ(r.baselines[2].coefficients, 3);
    ASSERT_EQ(r.frequencies.size(), 1u);
    EXPECT_NEAR(r.frequencies[0].value.frequency, 5.0, 1e-6);
}

// A red-noise hump at low frequency, higher than a mode at 23 c/d but no
// higher than the noise around it: by S/N the mode is taken and the loop
// ends when no peak passes; by height the hump's peak is tried first.
TEST(Selection, ARedNoisePeakHigherThanASignificantOneIsPassedOver)
{
    std::mt19937_64 gen(11);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> t, y;
    double red = 0.0;
    for (int k = 0; k < 3000; ++k) {
        t.push_back(0.01 * k);
        red = 0.995 * red + 0.1 * normal(gen);  // correlated over about 2 d
        y.push_back(red + 0.05 * normal(gen) + 0.04 * std::sin(two_pi * 23.0 * t.back()));
    }
    Settings settings;
    settings.grid = grid_to(40.0, t.back() - t.front());
    settings.baseline = Baseline::none;
    const spectrum::Plan plan = spectrum_plan(t, settings);
    const Result by_snr = extract(plan, t, y, {}, one_segment(t), settings);
    ASSERT_GE(by_snr.frequencies.size(), 1u);
    EXPECT_NEAR(by_snr.frequencies[0].value.frequency, 23.0, 0.01);
    const double highest = *std::max_element(by_snr.data_amplitude.begin(), by_snr.data_amplitude.end());
    EXPECT_GT(highest, 3.0 * by_snr.frequencies[0].value.amplitude);  // the hump is higher
    EXPECT_EQ(by_snr.stop, Stop::snr);
    EXPECT_LT(by_snr.stop_value, settings.snr);
    for (const Frequency& f : by_snr.frequencies) EXPECT_GE(f.snr_at_pick, settings.snr);

    settings.select = Select::height;
    const Result by_height = extract(plan, t, y, {}, one_segment(t), settings);
    const double first = by_height.frequencies.empty() ? by_height.stop_frequency
                                                       : by_height.frequencies[0].value.frequency;
    EXPECT_LT(first, 2.0);
    EXPECT_EQ(by_height.stop, Stop::snr);
}

// A table to start from: its frequencies held (refine none), one from its
// amplitude and phase at another reference time, one from its frequency
// alone; the loop then finds the frequency the table lacks.
TEST(StartTable, IsFittedFirstAndTheLoopGoesOn)
{
    std::vector<double> t, y;
    std::mt19937_64 gen(3);
    std::normal_distribution<double> normal(0.0, 0.02);
    for (int k = 0; k < 4000; ++k) {
        t.push_back(2000.0 + 0.005 * k);
        y.push_back(1.0 * std::sin(two_pi * (6.1 * t.back() + 0.3)) + 0.5 * std::sin(two_pi * (9.7 * t.back() + 0.1)) +
                    0.2 * std::sin(two_pi * (13.3 * t.back() + 0.7)) + normal(gen));
    }
    Settings settings;
    settings.grid = grid_to(20.0, t.back() - t.front());
    settings.baseline = Baseline::none;
    settings.refine = Refine::none;
    // The first term's phase at t = 0: 0.3 cycles.
    settings.start = {{6.1, 1.0, 0.3}, {9.7}};
    settings.start_t_ref = 0.0;
    const Result r = extract(spectrum_plan(t, settings), t, y, {}, one_segment(t), settings);
    ASSERT_GE(r.frequencies.size(), 3u);
    EXPECT_EQ(r.frequencies[0].value.frequency, 6.1);
    EXPECT_EQ(r.frequencies[1].value.frequency, 9.7);
    EXPECT_NEAR(r.frequencies[2].value.frequency, 13.3, 1e-3);
    EXPECT_NEAR(r.frequencies[0].value.amplitude, 1.0, 3e-3);
    EXPECT_NEAR(r.frequencies[1].value.amplitude, 0.5, 3e-3);
    // Phases at t_ref: the table's phase carried over t_ref - 0.
    const double phase = 0.3 + 6.1 * r.t_ref;
    const double d = r.frequencies[0].value.phase - (phase - std::floor(phase));
    EXPECT_LT(std::fabs(d - std::nearbyint(d)), 1e-3);
}
