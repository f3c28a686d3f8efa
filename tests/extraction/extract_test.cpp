// The extraction loop on synthetic light curves of known content: what it
// finds, how honest its errors are, why it stops, and that its fit agrees
// with the suite's harmonic fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>
#include <vector>

#include "cyclefit/dharmo.hpp"
#include "cyclefit/records.hpp"
#include "cyclefit/svdfit.hpp"
#include "extraction/extraction.hpp"
#include "support/kernel_forms.hpp"
#include "support/synthetic_curves.hpp"

using namespace extraction;

namespace {

// The grid of the program's defaults: 1/T up to fmax, ten points per 1/T.
spectrum::Grid grid_for(const std::vector<double>& times, double fmax)
{
    const double span = times.back() - times.front();
    const double step = 0.1 / span;
    return {1.0 / span, step, static_cast<std::size_t>((fmax - 1.0 / span) / step) + 1};
}

// Mean noise amplitude of white noise of unit deviation in N points.
double noise_level(std::size_t n) { return std::sqrt(M_PI / static_cast<double>(n)); }

// Eight sinusoids over 1.5 .. 14 c/d: a close pair 1.5/T apart, a harmonic
// and a combination among them, S/N from 6 to 40.  The independent ones lie
// at least twice the resolution 1.5/T from any combination of the others.
synthetic::Recipe rich_recipe(unsigned seed)
{
    synthetic::Recipe r;
    r.n = 1500;
    r.span = 20.0;
    r.gaps = true;
    r.seed = seed;
    const double level = noise_level(r.n), pair = 1.5 / (r.span * 1.0);
    r.signals = {{{4.1234, 40 * level, 0.15}, ""},        {{4.1234 + pair, 20 * level, 0.62}, ""},
                 {{6.7771, 25 * level, 0.33}, ""},        {{2 * 4.1234, 9 * level, 0.81}, "2f1"},
                 {{4.1234 + 6.7771, 8 * level, 0.05}, "f1+f3"}, {{1.9, 12 * level, 0.47}, ""},
                 {{13.7, 7 * level, 0.71}, ""},            {{9.2, 6 * level, 0.28}, ""}};
    return r;
}

// The settings of the classical procedure: one constant for the whole
// light curve, the highest peak at each step.
Settings classical()
{
    Settings settings;
    settings.baseline = Baseline::none;
    settings.select = Select::height;
    return settings;
}

// The extraction on a plan of its own, as the caller makes it once per star,
// by the classical procedure (one constant, the highest peak each step)
// unless the settings say otherwise.
Result extract_alone(std::span<const double> times, std::span<const double> values, std::span<const double> errors,
                     const Settings& settings, const ProgressCallback& progress = {})
{
    return extract(spectrum_plan(times, settings), times, values, errors, one_segment(times), settings, progress);
}

}  // namespace

TEST(Extraction, RecoversEverySignalWithHonestErrorsAndLabels)
{
    int outside = 0, count = 0;
    for (unsigned seed : {3u, 4u}) {
        const synthetic::Recipe recipe = rich_recipe(seed);
        const synthetic::Curve curve = synthetic::make(recipe);
        Settings settings = classical();
        settings.grid = grid_for(curve.times, 16.0);
        const Result result = extract_alone(curve.times, curve.values, {}, settings);
        const spectrum::Plan plan(curve.times, settings.grid, {});
        const std::vector<synthetic::Outcome> outcomes =
            synthetic::compare(recipe, result, plan.amplitude(curve.noise));
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            EXPECT_TRUE(outcomes[i].found) << "seed " << seed << " signal " << i;
            EXPECT_TRUE(outcomes[i].labelled) << "seed " << seed << " signal " << i;
            ++count;
            if (!outcomes[i].within_3_sigma) ++outside;
        }
        EXPECT_EQ(result.stop, Stop::snr);
        EXPECT_LT(result.D, 1.2);  // white residuals
        for (const Frequency& f : result.frequencies) {
            EXPECT_GE(f.correlation, result.D);
            EXPECT_LT(f.correlation, 1.6);  // the noise around each is about white
        }
    }
    EXPECT_LE(outside, 1) << "of " << count;  // 95 % within 3 sigma allows about one in 16
}

TEST(Extraction, FindsNothingStrongInWhiteNoise)
{
    for (unsigned seed = 20; seed < 23; ++seed) {
        synthetic::Recipe recipe;
        recipe.n = 1200;
        recipe.span = 15.0;
        recipe.seed = seed;
        const synthetic::Curve curve = synthetic::make(recipe);
        Settings settings = classical();
        settings.grid = grid_for(curve.times, 15.0);
        const Result result = extract_alone(curve.times, curve.values, {}, settings);
        for (const Frequency& f : result.frequencies) EXPECT_LT(f.snr, 6.0) << "seed " << seed;
        EXPECT_TRUE(result.stop == Stop::snr);
    }
}

TEST(Extraction, StopsAtTheMostFrequenciesAndAtTheFalseAlarmLimit)
{
    const synthetic::Recipe recipe = rich_recipe(5);
    const synthetic::Curve curve = synthetic::make(recipe);
    Settings settings = classical();
    settings.grid = grid_for(curve.times, 16.0);
    settings.max_frequencies = 2;
    const Result two = extract_alone(curve.times, curve.values, {}, settings);
    EXPECT_EQ(two.stop, Stop::max_frequencies);
    ASSERT_EQ(two.frequencies.size(), 2u);
    EXPECT_NEAR(two.frequencies[0].value.frequency, 4.1234, 0.01);  // the strongest first

    settings.max_frequencies = 200;
    settings.fap = 1e-20;  // only the strong peaks are that certain
    const Result certain = extract_alone(curve.times, curve.values, {}, settings);
    EXPECT_EQ(certain.stop, Stop::fap);
    EXPECT_GT(certain.stop_value, -20.0);
    EXPECT_GE(certain.frequencies.size(), 2u);
    EXPECT_LT(certain.frequencies.size(), 8u);
    for (const Frequency& f : certain.frequencies) EXPECT_LE(f.log10_fap, -20.0);
}

TEST(Extraction, AmplitudesAtFixedFrequenciesEqualTheHarmonicFitOfCyclefit)
{
    const synthetic::Recipe recipe = rich_recipe(6);
    const synthetic::Curve curve = synthetic::make(recipe);
    Settings settings = classical();
    settings.grid = grid_for(curve.times, 16.0);
    settings.refine = Refine::none;
    const Result result = extract_alone(curve.times, curve.values, {}, settings);
    const int nf = static_cast<int>(result.frequencies.size());
    ASSERT_GE(nf, 5);
    ASSERT_LE(nf, cyclefit::maxfreq);

    // cyclefit's fit: one harmonic per frequency, times from the same epoch.
    cyclefit::oud.nfreq = nf;
    for (int i = 0; i < nf; ++i) {
        cyclefit::oud.freq[i] = result.frequencies[i].value.frequency;
        cyclefit::oud.nharm[i] = 1;
    }
    const int n = static_cast<int>(curve.times.size()), nbasis = 1 + 2 * nf;
    std::vector<double> tt(n), sig(n, 1.0), u(static_cast<std::size_t>(n) * nbasis), v(nbasis * nbasis), sv(nbasis),
        coef(nbasis);
    for (int k = 0; k < n; ++k) tt[k] = curve.times[k] - result.t_ref;
    double chi2 = 0.0;
    const auto work = std::make_unique<cyclefit::Workspace>();
    cyclefit::svdfit(tt.data(), curve.values.data(), sig.data(), n, coef.data(), nbasis, u.data(), v.data(), sv.data(),
                     n, nbasis, chi2, cyclefit::dharmo, *work);
    EXPECT_NEAR(result.model.constant, coef[0], 1e-6 * std::fabs(coef[0]));
    for (int i = 0; i < nf; ++i) {
        const double amplitude = std::hypot(coef[1 + 2 * i], coef[2 + 2 * i]);
        EXPECT_NEAR(result.frequencies[i].value.amplitude, amplitude, 1e-6 * amplitude) << "f" << i + 1;
    }
}

TEST(Extraction, ResultsDoNotDependOnThreadsOrTheOrderOfTheRows)
{
    const synthetic::Recipe recipe = rich_recipe(7);
    const synthetic::Curve curve = synthetic::make(recipe);
    Settings settings = classical();
    settings.grid = grid_for(curve.times, 16.0);
    settings.max_frequencies = 4;
    settings.threads = 1;
    const Result one = extract_alone(curve.times, curve.values, {}, settings);
    settings.threads = 2;
    const Result two = extract_alone(curve.times, curve.values, {}, settings);
    ASSERT_EQ(one.frequencies.size(), two.frequencies.size());
    for (std::size_t i = 0; i < one.frequencies.size(); ++i) {
        EXPECT_EQ(one.frequencies[i].value.frequency, two.frequencies[i].value.frequency);
        EXPECT_EQ(one.frequencies[i].value.amplitude, two.frequencies[i].value.amplitude);
        EXPECT_EQ(one.frequencies[i].covariance.frequency, two.frequencies[i].covariance.frequency);
    }
    // Reversed rows: the same star (equal up to rounding) and the same D,
    // since the runs are counted in time order.
    std::vector<double> t(curve.times.rbegin(), curve.times.rend()), y(curve.values.rbegin(), curve.values.rend());
    const Result reversed = extract_alone(t, y, {}, settings);
    ASSERT_EQ(reversed.frequencies.size(), one.frequencies.size());
    EXPECT_EQ(reversed.D, one.D);
    for (std::size_t i = 0; i < one.frequencies.size(); ++i)
        EXPECT_NEAR(reversed.frequencies[i].value.frequency, one.frequencies[i].value.frequency, 1e-9);
}

TEST(Extraction, WeightsSilenceThePointsWithLargeErrors)
{
    synthetic::Recipe recipe;
    recipe.n = 1200;
    recipe.span = 15.0;
    recipe.white = 0.2;
    recipe.signals = {{{3.3, 0.5, 0.4}, ""}};
    synthetic::Curve curve = synthetic::make(recipe);
    // Every fifth point is ten times noisier and says so through its error.
    std::mt19937_64 gen(2);
    std::normal_distribution<double> gauss;
    for (std::size_t k = 0; k < curve.values.size(); k += 5) {
        curve.values[k] += 2.0 * gauss(gen);
        curve.errors[k] = 2.0;
    }
    Settings settings = classical();
    settings.grid = grid_for(curve.times, 10.0);
    settings.max_frequencies = 1;
    const Result plain = extract_alone(curve.times, curve.values, curve.errors, settings);
    settings.weights = true;
    const Result weighted = extract_alone(curve.times, curve.values, curve.errors, settings);
    ASSERT_EQ(plain.frequencies.size(), 1u);
    ASSERT_EQ(weighted.frequencies.size(), 1u);
    const Frequency& f = weighted.frequencies[0];
    EXPECT_TRUE(weighted.weighted);
    EXPECT_LT(std::fabs(f.value.amplitude - 0.5), 3 * f.covariance.amplitude);
    EXPECT_LT(std::fabs(f.value.frequency - 3.3), 3 * f.covariance.frequency);
    // The noisy fifth no longer sets the errors: about 0.2 sqrt(2/960)
    // against about sqrt(0.8 * 0.04 + 0.2 * 4) sqrt(2/1200).
    EXPECT_LT(f.covariance.amplitude, 0.5 * plain.frequencies[0].covariance.amplitude);
}

TEST(Extraction, ACandidateThatMakesTheFitDivergeIsUndoneAndPassedOver)
{
    // Two sinusoids 0.4/T apart, unresolved.  With the guard around taken
    // frequencies lifted, the leftover of the pair is tried next, and the
    // joint fit runs the two frequencies together: undone each time.
    synthetic::Recipe recipe;
    recipe.n = 800;
    recipe.span = 20.0;
    recipe.white = 0.05;
    recipe.signals = {{{3.0, 1.0, 0.3}, ""}, {{3.0 + 0.4 / 20.0, 0.8, 0.7}, ""}};
    const synthetic::Curve curve = synthetic::make(recipe);
    Settings settings = classical();
    settings.grid = grid_for(curve.times, 8.0);
    settings.separation = 0.01 / 20.0;
    settings.rejections = 2;
    const Result result = extract_alone(curve.times, curve.values, {}, settings);
    ASSERT_EQ(result.frequencies.size(), 1u);  // the blend
    ASSERT_EQ(result.rejected.size(), 2u);
    EXPECT_EQ(result.stop, Stop::rejections);
    for (const Rejection& r : result.rejected) {
        EXPECT_NE(r.why, Rejection::Why::not_converged);
        EXPECT_EQ(r.extracted, 1);
    }
    // Each rejected peak is passed over as a whole, never retried.
    for (std::size_t i = 1; i < result.rejected.size(); ++i)
        EXPECT_GT(std::fabs(result.rejected[i].frequency - result.rejected[i - 1].frequency), 1.0 / result.span);
    // The model is the one from before the rejected fits.
    EXPECT_NEAR(result.frequencies[0].value.frequency, 3.0, 0.5 / result.span);
}

TEST(Extraction, ReportsProgressOncePerFrequency)
{
    const synthetic::Curve curve = synthetic::make(rich_recipe(8));
    Settings settings = classical();
    settings.grid = grid_for(curve.times, 16.0);
    std::vector<int> seen;
    const Result result = extract_alone(curve.times, curve.values, {}, settings,
                                  [&](const Progress& p) { seen.push_back(p.extracted); });
    std::vector<int> expected(result.frequencies.size());
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(seen, expected);
}

// Values and errors of any finite size.  Values 1e200 times larger give
// the same frequencies and amplitudes 1e200 times larger (where the sums of
// squares once overflowed and nothing was found); 2^768 times larger, the
// same results scaled to the last bit; and weights are relative, so errors
// 2^-768 times smaller (once overflowing 1/e^2) change nothing.
TEST(Extraction, ValuesAndErrorsOfAnySize)
{
    synthetic::Recipe recipe;
    recipe.n = 800;
    recipe.span = 15.0;
    recipe.white = 0.2;
    recipe.signals = {{{3.3, 0.5, 0.4}, ""}, {{5.1, 0.3, 0.1}, ""}};
    synthetic::Curve curve = synthetic::make(recipe);
    Settings settings = classical();
    settings.grid = grid_for(curve.times, 10.0);
    settings.max_frequencies = 2;
    settings.weights = true;
    const Result plain = extract_alone(curve.times, curve.values, curve.errors, settings);
    ASSERT_EQ(plain.frequencies.size(), 2u);

    auto times = [](std::vector<double> x, double factor) {
        for (double& v : x) v *= factor;
        return x;
    };
    const Result large = extract_alone(curve.times, times(curve.values, 1e200), curve.errors, settings);
    const Result exact = extract_alone(curve.times, times(curve.values, 0x1p768), curve.errors, settings);
    const Result tiny_errors = extract_alone(curve.times, curve.values, times(curve.errors, 0x1p-768), settings);
    ASSERT_EQ(large.frequencies.size(), 2u);
    ASSERT_EQ(exact.frequencies.size(), 2u);
    ASSERT_EQ(tiny_errors.frequencies.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const Frequency& f = plain.frequencies[i];
        EXPECT_NEAR(large.frequencies[i].value.frequency, f.value.frequency, 1e-9);
        EXPECT_NEAR(large.frequencies[i].value.amplitude / 1e200, f.value.amplitude, 1e-9);
        EXPECT_EQ(exact.frequencies[i].value.frequency, f.value.frequency);
        EXPECT_EQ(exact.frequencies[i].value.amplitude, std::ldexp(f.value.amplitude, 768));
        EXPECT_EQ(exact.frequencies[i].covariance.amplitude, std::ldexp(f.covariance.amplitude, 768));
        EXPECT_EQ(exact.frequencies[i].covariance.phase, f.covariance.phase);
        EXPECT_EQ(tiny_errors.frequencies[i].value.amplitude, f.value.amplitude);
        EXPECT_EQ(tiny_errors.frequencies[i].covariance.frequency, f.covariance.frequency);
    }
    EXPECT_EQ(exact.residuals.back(), std::ldexp(plain.residuals.back(), 768));
    EXPECT_EQ(exact.rms, std::ldexp(plain.rms, 768));
}

TEST(Extraction, RefusesInputItCannotUse)
{
    Settings settings = classical();
    settings.grid = {0.1, 0.01, 100};
    const std::vector<double> t = {0, 1, 2, 3, 4}, y = {1, 2, 1, 2, 1}, bad = {1, NAN, 1, 2, 1};
    EXPECT_THROW(extract_alone(t, std::vector<double>{1, 2}, {}, settings), std::invalid_argument);
    EXPECT_THROW(extract_alone(t, bad, {}, settings), std::invalid_argument);
    EXPECT_THROW(extract_alone(std::vector<double>{1, 1, 1, 1, 1}, y, {}, settings), std::invalid_argument);
    settings.weights = true;
    EXPECT_THROW(extract_alone(t, y, {}, settings), std::invalid_argument);
    EXPECT_THROW(extract_alone(t, y, std::vector<double>{1, 1, 0, 1, 1}, settings), std::invalid_argument);
    settings.weights = false;
    // A plan of other times, or of another grid.
    const spectrum::Plan plan = spectrum_plan(t, settings);
    const std::vector<double> four = {0, 1, 2, 3};
    EXPECT_THROW(extract(spectrum_plan(four, settings), t, y, {}, one_segment(t), settings), std::invalid_argument);
    Settings finer = settings;
    finer.grid.step = 0.005;
    EXPECT_THROW(extract(plan, t, y, {}, one_segment(t), finer), std::invalid_argument);
    // A segmentation of other points.
    EXPECT_THROW(extract(plan, t, y, {}, one_segment(four), settings), std::invalid_argument);
    settings.grid.count = 2;
    EXPECT_THROW(extract_alone(t, y, {}, settings), std::invalid_argument);
}

// The kernels under the extraction (the sines and cosines of the model and
// the fit, the phases and the direct sums of the peak's refinement, the
// spectra) give the same bits in each of their forms: so does the table.
TEST(Forms, TheTableIsTheSameBitsInEveryForm)
{
    const synthetic::Curve curve = synthetic::make(rich_recipe(3));
    Settings settings = classical();
    settings.grid = grid_for(curve.times, 16.0);
    settings.max_frequencies = 4;
    const auto results = kernel_forms::in_every_form([&] {
        const Result result = extract_alone(curve.times, curve.values, {}, settings);
        std::vector<double> table = result.residual_amplitude;
        for (const Frequency& f : result.frequencies)
            table.insert(table.end(), {f.value.frequency, f.value.amplitude, f.value.phase, f.covariance.frequency});
        return kernel_forms::bits(table);
    });
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[2], results[0]);
}
