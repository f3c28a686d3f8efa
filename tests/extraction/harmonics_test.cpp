// A harmonic series locked to one frequency parameter (--harmonics F0):
// the series found with every harmonic at n F exactly, the fast fit's
// table equal to the exact one's, and the fundamentals refused.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "support/synthetic_curves.hpp"

using namespace extraction;

namespace {

constexpr double fundamental = 2.0123;  // c/d

// An RR Lyrae-like light curve: eight harmonics of the fundamental with
// amplitudes falling from 100 to 3, and two independent modes away from
// every harmonic, over 20 days with gaps.
synthetic::Curve rr_lyrae_like(double white, unsigned seed)
{
    synthetic::Recipe r;
    r.n = 2000;
    r.span = 20.0;
    r.gaps = true;
    r.white = white;
    r.seed = seed;
    const double amplitude[] = {100, 50, 30, 20, 12, 8, 5, 3};
    for (int n = 1; n <= 8; ++n) r.signals.push_back({{n * fundamental, amplitude[n - 1], 0.1 * n}, ""});
    r.signals.push_back({{3.317, 15.0, 0.4}, ""});
    r.signals.push_back({{5.731, 6.0, 0.8}, ""});
    return synthetic::make(r);
}

Settings locked_settings(const synthetic::Curve& curve, double f0)
{
    Settings settings;
    const double span = curve.times.back() - curve.times.front();
    settings.grid = {1.0 / span, 0.1 / span, static_cast<std::size_t>(200.0 * span)};
    settings.baseline = Baseline::none;
    settings.harmonics = f0;
    return settings;
}

Result run(const synthetic::Curve& curve, const Settings& settings)
{
    return extract(spectrum_plan(curve.times, settings), curve.times, curve.values, {}, one_segment(curve.times),
                   settings);
}

}  // namespace

TEST(HarmonicSeries, EveryHarmonicFoundJoinsTheSeriesAtExactlyNTimesOneFrequency)
{
    // Noiseless: F to rounding, from a start a quarter of a resolution off.
    const synthetic::Curve curve = rr_lyrae_like(0.0, 3);
    for (Select select : {Select::height, Select::snr}) {
        Settings settings = locked_settings(curve, fundamental + 0.25 / 20.0);
        settings.select = select;
        settings.max_frequencies = 10;
        const Result result = run(curve, settings);
        ASSERT_EQ(result.frequencies.size(), 10u);
        const std::optional<LockedSeries> series = locked_series(result);
        ASSERT_TRUE(series);
        EXPECT_EQ(series->id, 1);  // the fundamental is fitted first
        EXPECT_EQ(series->members, 8);
        EXPECT_NEAR(series->frequency, fundamental, 1e-9);
        for (const Frequency& f : result.frequencies) {
            if (f.harmonic == 0) {  // the two independent modes, free
                EXPECT_LT(std::min(std::fabs(f.value.frequency - 3.317), std::fabs(f.value.frequency - 5.731)), 1e-7);
                continue;
            }
            EXPECT_EQ(f.value.frequency, f.harmonic * series->frequency) << f.id;
            EXPECT_EQ(f.covariance.frequency, f.harmonic * series->error) << f.id;
            EXPECT_EQ(f.label.text, f.harmonic == 1 ? "" : std::to_string(f.harmonic) + "f1") << f.id;
            if (f.harmonic > 1) {
                EXPECT_EQ(f.label.probability, 0.0) << f.id;  // locked, not a chance match
            }
        }
    }
}

TEST(HarmonicSeries, TheFastFitLocksTheSameSeriesAsTheExactOneAndRefusesFundamentalsOutOfRange)
{
    const synthetic::Curve curve = rr_lyrae_like(1.0, 8);
    Settings settings = locked_settings(curve, fundamental + 0.01);
    settings.full_refit_every = 3;  // some fits move only the new frequency
    const Result fast = run(curve, settings);
    settings.fit = FitMethod::exact;
    const Result exact = run(curve, settings);
    EXPECT_EQ(fast.stop, exact.stop);
    ASSERT_EQ(fast.frequencies.size(), exact.frequencies.size());
    EXPECT_GE(locked_series(fast)->members, 7);
    for (std::size_t i = 0; i < fast.frequencies.size(); ++i) {
        const Frequency &a = fast.frequencies[i], &b = exact.frequencies[i];
        EXPECT_EQ(a.harmonic, b.harmonic);
        EXPECT_NEAR(a.value.frequency, b.value.frequency, 1e-9) << i;
        EXPECT_NEAR(a.value.amplitude, b.value.amplitude, 1e-9 * b.value.amplitude) << i;
        EXPECT_NEAR(a.covariance.frequency, b.covariance.frequency, 1e-6 * b.covariance.frequency) << i;
    }
    const double fmax = settings.grid.frequency(settings.grid.count - 1);
    for (double f0 : {0.0, -2.0, double(NAN), fmax * 1.001, 0.5 / 20.0 /* below the resolution 1.5/T */}) {
        settings.harmonics = f0;
        EXPECT_THROW(run(curve, settings), std::invalid_argument) << f0;
    }
}
