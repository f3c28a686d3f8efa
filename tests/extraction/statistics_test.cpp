// The formulas of the extraction, each against values worked out by hand
// from its published form, and the candidate's peak, refinement and single
// sinusoid on series of known content.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "extraction/fit.hpp"
#include "support/kernel_forms.hpp"
#include "peak.hpp"
#include "extraction/statistics.hpp"

using namespace extraction;

TEST(BoxMean, AveragesTheGridPointsInTheBoxCutAtTheEnds)
{
    // Breger et al. 1993, A&A 271, 482: noise = mean amplitude in a box around the peak.
    const spectrum::Grid grid{1.0, 0.1, 41};  // 1.0 .. 5.0 c/d
    std::vector<double> amp(grid.count);
    for (std::size_t j = 0; j < amp.size(); ++j) amp[j] = static_cast<double>(j);
    EXPECT_NEAR(box_mean(grid, amp, 3.0, 1.0), 20.0, 1e-12);   // j = 15..25
    EXPECT_NEAR(box_mean(grid, amp, 1.1, 1.0), 3.0, 1e-12);    // j = 0..6, cut at the low end
    EXPECT_NEAR(box_mean(grid, amp, 4.95, 0.4), 39.0, 1e-12);  // j = 38..40 (4.8, 4.9, 5.0)
    EXPECT_EQ(box_mean(grid, amp, 9.0, 1.0), 0.0);             // outside the grid
    EXPECT_NEAR(box_mean(grid, amp, 2.0, 0.0), 10.0, 1e-12);   // a box of one point
    amp[0] = NAN;                                              // the amplitude at frequency 0
    EXPECT_NEAR(box_mean(grid, amp, 1.1, 1.0), 3.5, 1e-12);    // j = 1..6
}

TEST(LocalNoise, EqualsTheBoxMeanAtEveryGridFrequency)
{
    // Amplitudes spanning decades (a red-noise rise, a strong peak), the NaN
    // of frequency 0, and grids whose box ends fall between grid points,
    // on them, beyond both ends, or hold a single point.
    std::mt19937_64 gen(5);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    const spectrum::Grid grid{0.0, 1.0 / 300.0, 6000};
    std::vector<double> amp(grid.count);
    for (std::size_t j = 0; j < amp.size(); ++j) amp[j] = uni(gen) * (1.0 + 1e4 / (1.0 + 50.0 * grid.frequency(j)));
    amp[0] = NAN;
    amp[3000] = 1e6;
    for (double box : {1.0, 0.35, 0.1, 0.0, 500.0, 1e300}) {
        const std::vector<double> noise = local_noise(grid, amp, box);
        ASSERT_EQ(noise.size(), grid.count);
        for (std::size_t j = 0; j < grid.count; ++j) {
            const double reference = box_mean(grid, amp, grid.frequency(j), box);
            ASSERT_NEAR(noise[j], reference, 1e-13 * reference) << "box " << box << ", j " << j;
        }
    }
    // A grid of amplitudes all undefined: no noise anywhere.
    const spectrum::Grid small{0.0, 0.1, 5};
    EXPECT_EQ(local_noise(small, std::vector<double>(5, NAN), 1.0), std::vector<double>(5, 0.0));
}

TEST(NoiseBox, ACentredBoxFollowsASlopeToTheEndsOfTheGrid)
{
    // A spectrum falling linearly with frequency (the flank of red noise):
    // the mean over a box centred on f is the spectrum at f, up to the
    // least half-width; the classical box, cut at the low end, is the
    // quieter side's and lies below it there.
    const spectrum::Grid grid{0.1, 0.01, 991};  // 0.1 .. 10 c/d
    std::vector<double> amp(grid.count);
    for (std::size_t j = 0; j < amp.size(); ++j) amp[j] = 20.0 - grid.frequency(j);
    const NoiseBox centred{1.0, true, 0.05};
    for (double f : {0.15, 0.3, 5.0, 9.8})
        EXPECT_NEAR(box_mean(grid, amp, f, centred), 20.0 - f, 1e-9) << f;
    EXPECT_NEAR(box_mean(grid, amp, 0.1, centred), 20.0 - 0.125, 1e-9);  // [0.10, 0.15]: cut below least
    EXPECT_LT(box_mean(grid, amp, 0.3, 1.0), 20.0 - 0.3 - 0.1);
    const std::vector<double> noise = local_noise(grid, amp, centred);
    for (std::size_t j = 0; j < grid.count; ++j)
        ASSERT_NEAR(noise[j], box_mean(grid, amp, grid.frequency(j), centred), 1e-12) << j;

    // Beside a peak: its lobe leaves the mean, except in a box cut by an
    // end of the grid, where the other side's noise is unknown.
    std::vector<double> flat(grid.count, 1.0);
    for (std::size_t j = 495; j <= 505; ++j) flat[j] = 100.0;                   // 5.05 .. 5.15 c/d
    for (std::size_t j = 0; j <= 3; ++j) flat[j] = 100.0;                       // at the low end
    const std::vector<double> beside = noise_beside_peaks(grid, flat, NoiseBox{1.0}, 0.2);
    EXPECT_NEAR(beside[500], 1.0, 1e-12);
    EXPECT_GT(beside[2], 5.0);

    // A grid of several blocks of running sums: the same bits on any number
    // of threads, and on both sides of a block's edge (where a peak's lobe
    // straddles it) the values of a pass that started elsewhere.
    const spectrum::Grid long_grid{0.02, 1.0 / 3000.0, 140000};
    std::vector<double> long_amp(long_grid.count);
    std::mt19937_64 gen(9);
    std::uniform_real_distribution<double> uni(0.5, 1.5);
    for (double& a : long_amp) a = uni(gen);
    for (std::size_t j = 65530; j <= 65542; ++j) long_amp[j] = 50.0;
    const NoiseBox centred_box{1.0, true, 0.1};
    std::vector<double> one, two;
    noise_beside_peaks(long_grid, long_amp, centred_box, 0.004, 1, one);
    noise_beside_peaks(long_grid, long_amp, centred_box, 0.004, 2, two);
    EXPECT_EQ(one, two);
    // The same grid from its 30000th frequency on: its block edges fall
    // elsewhere.
    const std::size_t shift = 30000;
    const spectrum::Grid later{long_grid.frequency(shift), long_grid.step, long_grid.count - shift};
    const std::vector<double> moved = noise_beside_peaks(
        later, std::span<const double>(long_amp).subspan(shift), centred_box, 0.004);
    for (std::size_t j : {std::size_t{65535}, std::size_t{65536}, std::size_t{70000}})
        EXPECT_NEAR(one[j], moved[j - shift], 1e-13 * one[j]) << j;

    // At one frequency: from the box alone, and from the spectrum's sums
    // (made on one thread or two, an undefined amplitude among them), the
    // same noise to rounding, at the ends, the peak and the blocks' edges.
    long_amp[0] = NAN;
    noise_beside_peaks(long_grid, long_amp, centred_box, 0.004, 1, one);
    NoiseSums sums_one, sums_two;
    sums_one.sum(long_amp, 1);
    sums_two.sum(long_amp, 2);
    for (std::size_t j : {std::size_t{0}, std::size_t{1}, std::size_t{2500}, std::size_t{65535}, std::size_t{65536},
                          std::size_t{70000}, std::size_t{131072}, long_grid.count - 1}) {
        EXPECT_NEAR(noise_beside_peak(long_grid, long_amp, j, centred_box, 0.004), one[j], 1e-13 * one[j]) << j;
        EXPECT_NEAR(sums_one.beside(long_grid, j, centred_box, 0.004), one[j], 1e-13 * one[j]) << j;
        EXPECT_EQ(sums_one.beside(long_grid, j, centred_box, 0.004), sums_two.beside(long_grid, j, centred_box, 0.004));
    }
}

TEST(AnalyticUncertainty, MontgomeryAndODonoghue)
{
    // Montgomery & O'Donoghue 1999, DSSN 13, 28: A = 2, sigma = 1, N = 800, T = 50 d.
    const Uncertainty u = analytic_uncertainty(2.0, 1.0, 800, 50.0);
    EXPECT_NEAR(u.amplitude, 0.05, 1e-15);
    EXPECT_NEAR(u.phase, 0.0039788735772973835, 1e-16);
    EXPECT_NEAR(u.frequency, 0.000275664447710896, 1e-17);
}

TEST(CorrelationFactor, CountsRunsOfEqualSign)
{
    // Schwarzenberg-Czerny 1991, MNRAS 253, 198: D = N / (2 R), at least 1.
    EXPECT_EQ(sign_runs(std::vector<double>{1, 2, -1, -3, 4}), 3u);
    EXPECT_EQ(sign_runs(std::vector<double>{0.0, 1.0, -0.0, -1.0}), 2u);  // zero counts as positive
    EXPECT_EQ(sign_runs(std::vector<double>{}), 0u);
    EXPECT_DOUBLE_EQ(correlation_factor(std::vector<double>{1, 1, 1, 1, -1, -1, -1, -1}), 2.0);
    EXPECT_DOUBLE_EQ(correlation_factor(std::vector<double>{1, -1, 1, -1}), 1.0);  // N/(2R) = 0.5
    // White noise: R near N/2, so D near 1.
    std::mt19937_64 gen(11);
    std::normal_distribution<double> gauss;
    std::vector<double> white(20000);
    for (double& w : white) w = gauss(gen);
    EXPECT_NEAR(correlation_factor(white), 1.0, 0.02);
    // A smooth residual (neighbours alike) raises D.
    std::vector<double> smooth(20000);
    for (std::size_t k = 0; k < smooth.size(); ++k) smooth[k] = std::sin(0.01 * static_cast<double>(k));
    EXPECT_NEAR(correlation_factor(smooth), 20000.0 / (2.0 * 64.0), 1e-9);
}

TEST(NoiseExcess, OneForWhiteNoiseAndTheSquareOfTheLocalRatio)
{
    // Scargle 1982, ApJ 263, 835: the power of white noise is exponential,
    // so its mean amplitude is sigma sqrt(pi / N).
    EXPECT_NEAR(noise_excess(2.0 * std::sqrt(M_PI / 400.0), 2.0, 400), 1.0, 1e-15);
    EXPECT_NEAR(noise_excess(3.0 * 0.5 * std::sqrt(M_PI / 100.0), 0.5, 100), 9.0, 1e-13);
    EXPECT_EQ(noise_excess(1.0, 0.0, 100), 1.0);
    // On a white-noise series, the box mean of its own spectrum gives about 1.
    std::mt19937_64 gen(13);
    std::normal_distribution<double> gauss;
    const std::size_t n = 4000;
    std::vector<double> tau(n), y(n);
    double sum2 = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        tau[k] = 0.01 * static_cast<double>(k);
        y[k] = gauss(gen);
        sum2 += y[k] * y[k];
    }
    const spectrum::Grid grid{1.0, 0.1 / 40.0, 4000};  // 1 to 11 c/d: 400 independent frequencies
    std::vector<double> amp(grid.count);
    for (std::size_t j = 0; j < grid.count; ++j) amp[j] = scargle_amplitude(tau, y, grid.frequency(j));
    // The mean of 400 Rayleigh amplitudes scatters by 2.6 %, its square by
    // 5 %: three times that.
    EXPECT_NEAR(noise_excess(box_mean(grid, amp, 6.0, 10.0), std::sqrt(sum2 / n), n), 1.0, 0.16);
}

TEST(FalseAlarm, BaluevAtHandWorkedPoints)
{
    // Baluev 2008, MNRAS 385, 1279: the false-alarm probability of the
    // highest peak; values worked out directly from the formula in double
    // precision.
    EXPECT_NEAR(log10_false_alarm(0.03, 1000, 25.0, 30.0), -3.125132811100926, 1e-9);
    EXPECT_NEAR(log10_false_alarm(0.01, 1000, 25.0, 30.0), -5.732516901276192e-06, 1e-12);
    // Here 1 - (1 - P) exp(-tau) cancels to zero in the direct form; the
    // value is P + tau = 2.0723e-19.
    EXPECT_NEAR(log10_false_alarm(0.05, 2000, 50.0, 10.0), -18.68354471562983, 1e-9);
    // Far below the smallest double: log10(P_single + tau) from logarithms.
    EXPECT_NEAR(log10_false_alarm(0.5, 5000, 24.0, 100.0), -747.0443697100868, 1e-9);
    EXPECT_EQ(log10_false_alarm(0.0, 5000, 24.0, 100.0), 0.0);  // no drop: certainly noise
    EXPECT_EQ(log10_false_alarm(1.0, 5000, 24.0, 100.0), -INFINITY);
    EXPECT_EQ(log10_false_alarm(0.5, 3, 24.0, 100.0), 0.0);  // too few points for the formula
}

TEST(FalseAlarm, EffectiveSpanOfEvenTimes)
{
    // Baluev 2008, MNRAS 385, 1279: T_eff = sqrt(4 pi Var t); times 0, 1, 2, 3: Var = 1.25.
    EXPECT_NEAR(effective_span(std::vector<double>{0, 1, 2, 3}), std::sqrt(4.0 * M_PI * 1.25), 1e-14);
}

namespace {

std::vector<double> uneven_times(std::size_t n, double span, unsigned seed)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::vector<double> tau(n);
    for (std::size_t k = 0; k < n; ++k) tau[k] = span * (static_cast<double>(k) + 0.5 * uni(gen)) / n - 0.5 * span;
    return tau;
}

}  // namespace

TEST(Peak, HighestLocalMaximumOutsideTheZonesAndNeverAtAnEnd)
{
    const spectrum::Grid grid{0.0, 1.0, 8};
    const std::vector<double> amp = {9, 1, 3, 2, 5, 4, 1, 8};  // the ends are highest
    EXPECT_EQ(highest_peak(grid, amp, {}), 4u);
    const std::vector<Zone> zones = {{4.2, 0.5}};
    EXPECT_EQ(highest_peak(grid, amp, zones), 2u);
    const std::vector<Zone> all = {{2.0, 0.1}, {4.0, 0.1}};
    EXPECT_EQ(highest_peak(grid, amp, all), no_peak);
    EXPECT_EQ(highest_peak(grid, std::vector<double>{1, 1, 1, 1, 1, 1, 1, 1}, {}), no_peak);  // flat: no peak
}

TEST(Peak, TheHighestPeakThatReachesTheLimitAgainstItsOwnNoise)
{
    // A red-noise hump at low frequency, higher than anything else but no
    // higher than the noise around it, and a lower peak at 20 c/d well above
    // the flat noise there.
    const spectrum::Grid grid{0.05, 0.01, 3000};  // 0.05 .. 30 c/d
    std::vector<double> amp(grid.count);
    for (std::size_t j = 0; j < grid.count; ++j) {
        const double f = grid.frequency(j);
        amp[j] = (0.1 + 5.0 / (1.0 + f * f)) * (1.0 + 0.3 * std::sin(7.0 * static_cast<double>(j)));
    }
    const std::size_t line = 1995;  // 20.0 c/d
    amp[line] = 1.0;
    const std::vector<double> noise = local_noise(grid, amp, 1.0);
    EXPECT_LT(grid.frequency(highest_peak(grid, amp, {})), 1.0);
    EXPECT_EQ(highest_significant_peak(grid, amp, noise, 4.0, {}), line);
    const std::vector<Zone> taken = {{20.0, 0.02}};
    EXPECT_EQ(highest_significant_peak(grid, amp, noise, 4.0, taken), no_peak);
    EXPECT_EQ(highest_significant_peak(grid, amp, noise, 20.0, {}), no_peak);

    // Judged from the spectrum's sums, on any number of threads: the same.
    NoiseSums sums;
    sums.sum(amp, 2);
    const NoiseBox box{1.0};
    for (int threads : {1, 2}) {
        EXPECT_EQ(highest_significant_peak(grid, amp, sums, box, 0.0, 4.0, {}, threads), line);
        EXPECT_EQ(highest_significant_peak(grid, amp, sums, box, 0.0, 4.0, taken, threads), no_peak);
        EXPECT_EQ(highest_peak(grid, amp, taken, threads), highest_peak(grid, amp, taken));
    }
}

TEST(Peak, RefinementFindsTheContinuousMaximumBetweenGridPoints)
{
    const double span = 40.0, f0 = 3.14159;
    const std::vector<double> tau = uneven_times(3000, span, 2);
    std::vector<double> y(tau.size());
    for (std::size_t k = 0; k < tau.size(); ++k) y[k] = 7.0 + 2.0 * std::sin(2 * M_PI * (f0 * tau[k] + 0.3));
    const double step = 0.1 / span;
    const spectrum::Grid grid{3.0, step, 200};
    std::vector<double> amp(grid.count);
    for (std::size_t j = 0; j < grid.count; ++j) amp[j] = scargle_amplitude(tau, y, grid.frequency(j));
    const std::size_t j = highest_peak(grid, amp, {});
    ASSERT_NE(j, no_peak);
    EXPECT_LT(std::fabs(grid.frequency(j) - f0), step);
    const double f = refine_peak(grid, j, tau, y);
    EXPECT_NEAR(f, f0, 1e-4 / span);  // the window's far side moves the maximum a little
    EXPECT_NEAR(scargle_amplitude(tau, y, f), 2.0, 1e-3);
    // An end of the grid is returned unrefined.
    EXPECT_EQ(refine_peak(grid, 0, tau, y), grid.fmin);
}

TEST(Peak, RefinementBySeriesEqualsTheDirectSumsInAnyFormAndThreadCount)
{
    // Several sinusoids, noise and an uneven sampling with a gap, times far
    // from the reference (as tau = t - t_ref of an uncentred series):
    // the searches must end on the same frequency, but for the last steps
    // of Brent's method on the flat top, which rounding may decide.
    const double span = 60.0;
    std::vector<double> tau = uneven_times(20000, span, 5);
    for (double& t : tau) t += t < 0.0 ? 3.0 : 10.0;
    std::mt19937_64 gen(11);
    std::normal_distribution<double> gauss;
    std::vector<double> y(tau.size());
    for (std::size_t k = 0; k < tau.size(); ++k)
        y[k] = 3.0 + 1.1 * std::sin(2 * M_PI * (7.3172 * tau[k] + 0.1)) +
               0.4 * std::sin(2 * M_PI * (11.05 * tau[k] + 0.7)) + 0.5 * gauss(gen);
    const spectrum::Grid grid{0.5, 0.1 / 72.0, 20000};
    for (double f0 : {7.3172, 11.05}) {
        const auto j = static_cast<std::size_t>(std::lround((f0 - grid.fmin) / grid.step));
        std::size_t top = j;
        for (std::size_t i = j - 2; i <= j + 2; ++i)
            if (scargle_amplitude(tau, y, grid.frequency(i)) > scargle_amplitude(tau, y, grid.frequency(top))) top = i;
        const double direct = refine_peak_direct(grid, top, tau, y);
        const std::vector<double> forms =
            kernel_forms::in_every_form([&] { return refine_peak(grid, top, tau, y, 1); });
        for (double f : forms) {
            EXPECT_EQ(f, forms[0]);
            EXPECT_NEAR(f, direct, 1e-6 * grid.step);  // the search itself stops at 1e-4 of a step
        }
        EXPECT_EQ(refine_peak(grid, top, tau, y, 3), forms[0]);
    }
    // Near zero frequency the closed form loses digits: the direct search.
    const spectrum::Grid low{2e-5, 2e-5, 10};
    for (std::size_t i = 1; i + 1 < low.count; ++i)
        EXPECT_EQ(refine_peak(low, i, tau, y, 2), refine_peak_direct(low, i, tau, y));
}

TEST(Peak, SingleSinusoidRecoversAmplitudePhaseAndTheDropOfChiSquare)
{
    const std::vector<double> tau = uneven_times(2000, 25.0, 4);
    std::vector<double> y(tau.size());
    std::mt19937_64 gen(8);
    std::normal_distribution<double> gauss;
    std::vector<double> noise(tau.size());
    for (double& e : noise) e = 0.5 * gauss(gen);
    for (std::size_t k = 0; k < tau.size(); ++k) y[k] = 1.5 + 0.8 * std::sin(2 * M_PI * (4.2 * tau[k] + 0.65));
    const SingleSinusoid exact = single_sinusoid({tau, y, {}}, 4.2);
    EXPECT_NEAR(exact.sinusoid.amplitude, 0.8, 1e-12);
    EXPECT_NEAR(exact.sinusoid.phase, 0.65, 1e-12);
    EXPECT_NEAR(exact.z, 1.0, 1e-12);
    for (std::size_t k = 0; k < y.size(); ++k) y[k] += noise[k];
    const SingleSinusoid noisy = single_sinusoid({tau, y, {}}, 4.2);
    // z = 1 - chi2(with) / chi2(without): about 1 - 0.25 / (0.25 + 0.32).
    EXPECT_NEAR(noisy.z, 1.0 - 0.25 / (0.25 + 0.32), 0.02);
}

TEST(Covariance, AgreesWithTheAnalyticErrorsForAnIsolatedPeak)
{
    // Montgomery & O'Donoghue 1999: for one sinusoid in white noise the
    // least-squares errors and the formulas agree.
    const std::size_t n = 4000;
    const double span = 40.0;
    const std::vector<double> tau = uneven_times(n, span, 6);
    std::mt19937_64 gen(9);
    std::normal_distribution<double> gauss;
    Model truth;
    truth.terms = {{6.1, 0.3, 0.2}};
    std::vector<double> y(n);
    evaluate(truth, tau, y);
    for (double& v : y) v += gauss(gen);
    const Series series{tau, y, {}};
    const FitOutcome out = fit(series, truth, {}, {});
    ASSERT_EQ(out.status, FitOutcome::Status::converged);
    const std::vector<double> cov = covariance(series, out.model, 1);
    ASSERT_EQ(cov.size(), 16u);
    const Uncertainty analytic =
        analytic_uncertainty(out.model.terms[0].amplitude, std::sqrt(out.chi2 / n), n, span);
    EXPECT_NEAR(std::sqrt(cov[1 * 4 + 1]) / analytic.frequency, 1.0, 0.05);
    EXPECT_NEAR(std::sqrt(cov[2 * 4 + 2]) / analytic.amplitude, 1.0, 0.05);
    EXPECT_NEAR(std::sqrt(cov[3 * 4 + 3]) / analytic.phase, 1.0, 0.05);
}
