// The window fit against a direct least-squares solution, the windows and
// the frequencies they fit, and the sign and unit of the time delays.
#include <gtest/gtest.h>
#include <gsl/gsl_multifit.h>

#include <cmath>
#include <random>
#include <vector>

#include "tracking/delays.hpp"
#include "tracking/track.hpp"
#include "tracking/window_fit.hpp"
#include "tracking/windows.hpp"

using namespace tracking;

namespace {

// sin and cos of 2 pi x with the whole cycles removed first (exact), so
// the library's functions see a small argument.
double ref_sin(double x) { return std::sin(2.0 * M_PI * (x - std::nearbyint(x))); }
double ref_cos(double x) { return std::cos(2.0 * M_PI * (x - std::nearbyint(x))); }

}  // namespace

TEST(WindowFit, AgreesWithADirectLeastSquaresSolution)
{
    // Uneven times in a 10-day window far from t_ref, three frequencies, a
    // quadratic baseline, noise and weights.
    const std::vector<double> f = {3.71, 11.23, 17.905};
    const double t_ref = 2459400.25, start = 2459123.0, half = 5.0;
    std::mt19937_64 gen(21);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<double> t, y, w;
    for (int k = 0; k < 400; ++k) {
        t.push_back(start + 10.0 * (k + 0.7 * uni(gen)) / 400.0);
        const double x = (t.back() - start - half) / half;
        y.push_back(2.0 - 0.5 * x + 0.3 * x * x + 1.5 * ref_sin(f[0] * (t.back() - t_ref) + 0.1) +
                    0.8 * ref_sin(f[1] * (t.back() - t_ref) + 0.6) + 0.2 * ref_sin(f[2] * (t.back() - t_ref) + 0.35) +
                    0.3 * gauss(gen));
        w.push_back(1.0 / (0.2 + 0.2 * uni(gen)));
    }
    const WindowData data{t, y, w, t_ref, start + half, half};
    const WindowFit fit = fit_window(data, f, Baseline::quadratic);
    ASSERT_FALSE(fit.singular);

    // The same model by GSL's SVD solver, weights 1 / sigma^2.
    const std::size_t n = t.size(), p = 9;
    gsl_matrix* X = gsl_matrix_alloc(n, p);
    gsl_vector *Y = gsl_vector_alloc(n), *W = gsl_vector_alloc(n), *c = gsl_vector_alloc(p);
    gsl_matrix* cov = gsl_matrix_alloc(p, p);
    for (std::size_t k = 0; k < n; ++k) {
        const double x = (t[k] - start - half) / half;
        const double row[9] = {1.0, x, x * x,
                               ref_sin(f[0] * (t[k] - t_ref)), ref_cos(f[0] * (t[k] - t_ref)),
                               ref_sin(f[1] * (t[k] - t_ref)), ref_cos(f[1] * (t[k] - t_ref)),
                               ref_sin(f[2] * (t[k] - t_ref)), ref_cos(f[2] * (t[k] - t_ref))};
        for (std::size_t j = 0; j < p; ++j) gsl_matrix_set(X, k, j, row[j]);
        gsl_vector_set(Y, k, y[k]);
        gsl_vector_set(W, k, w[k] * w[k]);
    }
    double chi2 = 0.0;
    gsl_multifit_linear_workspace* work = gsl_multifit_linear_alloc(n, p);
    gsl_multifit_wlinear(X, W, Y, c, cov, &chi2, work);
    const double s2 = chi2 / static_cast<double>(n - p);

    EXPECT_NEAR(fit.chi2, chi2, 1e-9 * chi2);
    EXPECT_EQ(fit.dof, n - p);
    for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(fit.baseline[j], gsl_vector_get(c, j), 1e-9);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t u = 3 + 2 * i, v = u + 1;
        const double a = gsl_vector_get(c, u), b = gsl_vector_get(c, v);
        EXPECT_NEAR(fit.terms[i].a, a, 1e-9);
        EXPECT_NEAR(fit.terms[i].b, b, 1e-9);
        // Errors from s^2 (X^T W X)^-1 through A = hypot(a, b), phi = atan2(b, a) / 2 pi.
        const double caa = s2 * gsl_matrix_get(cov, u, u), cbb = s2 * gsl_matrix_get(cov, v, v),
                     cab = s2 * gsl_matrix_get(cov, u, v), A2 = a * a + b * b;
        EXPECT_NEAR(fit.terms[i].amplitude, std::sqrt(A2), 1e-9);
        EXPECT_NEAR(fit.terms[i].amplitude_err, std::sqrt((a * a * caa + b * b * cbb + 2 * a * b * cab) / A2), 1e-9);
        EXPECT_NEAR(fit.terms[i].phase_err, std::sqrt(b * b * caa + a * a * cbb - 2 * a * b * cab) / (2 * M_PI * A2),
                    1e-9);
    }
    EXPECT_NEAR(fit.terms[0].phase, 0.1, 0.01);
    EXPECT_NEAR(fit.terms[1].phase, 0.6, 0.01);
    gsl_multifit_linear_free(work);
    gsl_matrix_free(X);
    gsl_matrix_free(cov);
    gsl_vector_free(Y);
    gsl_vector_free(W);
    gsl_vector_free(c);

    // A frequency given twice makes the columns dependent: skipped, not a crash.
    const std::vector<double> twice = {3.71, 3.71};
    EXPECT_TRUE(fit_window(data, twice, Baseline::linear).singular);
}

TEST(Windows, PointsUseAndTheFrequenciesAWindowCanTellApart)
{
    // 30 days at a 0.1-day cadence with a gap from 12 to 19 d.
    std::vector<double> t;
    for (int k = 0; k < 300; ++k)
        if (k < 120 || k >= 190) t.push_back(1000.0 + 0.1 * k);
    const std::vector<Window> w = cut_windows(t, 5.0, 5.0);
    ASSERT_EQ(w.size(), 6u);
    EXPECT_EQ(w[0].count, 50u);
    EXPECT_EQ(w[2].count, 20u);  // 10 to 12 d
    EXPECT_EQ(w[3].count, 10u);  // 19 to 20 d
    EXPECT_NEAR(w[3].t_mid, 1019.45, 1e-9);  // the mean of its points, not the window's middle
    EXPECT_EQ(use_rule(w[0].count, 5, 5.0, 0.1), Skip::none);
    EXPECT_EQ(use_rule(w[2].count, 5, 5.0, 0.1), Skip::few_points);  // below half of 50
    EXPECT_EQ(use_rule(25, 5, 5.0, 0.1), Skip::none);
    EXPECT_EQ(use_rule(w[0].count, 25, 5.0, 0.1), Skip::few_for_model);  // not more than 2 x 25
    EXPECT_EQ(cut_windows(t, 5.0, 2.5).size(), 12u);  // overlapping: a start every 2.5 d up to the last time

    // The strongest of each group a window cannot resolve is kept; a dense
    // run is not chained into one, and a frequency the baseline takes is left out.
    const std::vector<double> f = {10.0, 10.1, 10.2, 10.3, 0.05, 12.0};
    const std::vector<double> a = {1.0, 3.0, 1.0, 2.0, 5.0, 0.1};
    EXPECT_EQ(group_frequencies(f, a, 0.15), (std::vector<bool>{false, true, false, true, false, true}));
}

TEST(TimeDelays, ALightCurveDelayedByAKnownTimeGivesThatDelayInSeconds)
{
    // Two modes over 200 days; from day 100 on the light arrives 40 s later:
    // the delays of the second half exceed those of the first by +40 s (both
    // measured from their weighted mean, near -20 and +20 s).
    const double delay = 40.0 / 86400.0, t0 = 2458000.0;
    std::mt19937_64 gen(4);
    std::normal_distribution<double> gauss(0.0, 0.01);
    std::vector<double> t, y;
    for (int k = 0; k < 9600; ++k) {
        t.push_back(t0 + k / 48.0);
        const double late = t.back() - t0 >= 100.0 ? delay : 0.0;
        y.push_back(5.0 * ref_sin(12.3 * (t.back() - late - t0) + 0.2) +
                    3.0 * ref_sin(17.9 * (t.back() - late - t0) + 0.7) + gauss(gen));
    }
    const std::vector<TableFrequency> table = {{1, 12.3, 5.0}, {2, 17.9, 3.0}};
    const Result r = track(t, y, {}, table, t0 + 100.0, Settings{});
    ASSERT_EQ(r.delays.size(), 20u);
    const double before = r.delays[0].delay;
    EXPECT_NEAR(before, -20.0, 1.0);
    for (std::size_t j = 0; j < r.delays.size(); ++j) {
        const double expected = r.delays[j].t - t0 < 100.0 ? before : before + 40.0;
        EXPECT_NEAR(r.delays[j].delay, expected, 0.3) << "window " << j;
        for (const Cell& cell : r.windows[r.delay_window[j]].cells) EXPECT_NEAR(cell.time_delay, expected, 0.5);
    }
}

TEST(TimeDelays, UnwrappingAndTheWeightedMeanOfAWindow)
{
    // Phases cross a whole cycle; a phase with an error above 0.1 cycle takes no part.
    const std::vector<PhasePoint> points = {{0.95, 0.01, true}, {0.05, 0.01, true}, {0.5, 0.2, true},
                                            {0.12, 0.01, true}, {0.0, 0.0, false}};
    const FrequencyDelays fd = frequency_delays(points, 10.0, 0.1);
    EXPECT_EQ(fd.used, (std::vector<bool>{true, true, false, true, false}));
    EXPECT_NEAR(fd.phase[1], 1.05, 1e-12);
    EXPECT_NEAR(fd.phase[3], 1.12, 1e-12);
    EXPECT_NEAR(fd.mean_phase, (0.95 + 1.05 + 1.12) / 3.0, 1e-12);
    EXPECT_NEAR(fd.delay[0], -86400.0 * (0.95 - fd.mean_phase) / 10.0, 1e-9);
    EXPECT_NEAR(fd.delay_err[0], 86.4, 1e-9);

    // Delays 10 +- 1 and 13 +- 2 s: mean 10.6, error 1 / sqrt(1.25), chi2 (0.6^2 + 0.6) = 1.8 on one degree.
    const WindowDelay d = combine_delays(std::vector<double>{10.0, 13.0}, std::vector<double>{1.0, 2.0});
    EXPECT_EQ(d.frequencies, 2);
    EXPECT_NEAR(d.delay, 10.6, 1e-12);
    EXPECT_NEAR(d.delay_err, 1.0 / std::sqrt(1.25), 1e-12);
    EXPECT_NEAR(d.chi2_dof, 1.8, 1e-12);
    EXPECT_TRUE(std::isnan(combine_delays(std::vector<double>{4.0}, std::vector<double>{1.0}).chi2_dof));
}
