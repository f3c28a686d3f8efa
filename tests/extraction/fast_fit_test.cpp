// The fast fit against its references: the sums of the sampling against
// their direct sums, the normal matrix and the objectives against the
// direct assembly, the fits and whole extractions against the exact ones.
#include <gsl/gsl_multifit.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "baseline.hpp"
#include "baseline_sums.hpp"
#include "extraction/extraction.hpp"
#include "gram.hpp"
#include "peak.hpp"
#include "objectives.hpp"
#include "refit.hpp"
#include "solve.hpp"
#include "spectrum/sampling_sums.hpp"
#include "numerics/cycles.hpp"
#include "support/kernel_forms.hpp"
#include "support/synthetic_curves.hpp"

using namespace extraction;
using numerics::two_pi;

namespace {

struct Curve {
    std::vector<double> tau, values, weights;
    Series series() const { return {tau, values, weights}; }
};

// 3000 uneven points over 40 days with a gap, far from the origin of
// tau, three sinusoids (two 1.5/T apart) in noise, weights from 0.5 to 2.
Curve make_curve(bool weighted)
{
    Curve c;
    std::mt19937_64 gen(11);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> gauss;
    const Model m{0.4, {{3.21, 2.0, 0.3}, {3.21 + 1.5 / 40.0, 0.8, 0.7}, {17.9, 0.3, 0.1}}};
    for (int k = 0; k < 3000; ++k) {
        const double t = 40.0 * (k + 0.4 * uni(gen)) / 3000.0;
        if (t > 21.0 && t < 25.0) continue;
        c.tau.push_back(t - 14.0);
    }
    c.values.resize(c.tau.size());
    evaluate(m, c.tau, c.values);
    for (double& v : c.values) v += 0.2 * gauss(gen);
    if (weighted)
        for (std::size_t k = 0; k < c.tau.size(); ++k) c.weights.push_back(0.5 + 1.5 * uni(gen));
    return c;
}

Model start_model()
{
    return {0.38, {{3.212, 1.9, 0.31}, {3.21 + 1.5 / 40.0 - 0.002, 0.85, 0.69}, {17.9005, 0.32, 0.12}}};
}

double relative(double a, double b) { return std::fabs(a - b) / std::max(std::fabs(b), 1e-300); }

// The curve cut into two segments at the gap, the first with a quadratic
// baseline, the second a linear one, added to the values; the basis of
// their columns (the times are the taus).
struct Segmented {
    Curve curve;
    std::vector<SegmentBaseline> shapes;
    BaselineBasis basis;
    double truth[2][3] = {{0.7, -0.03, 0.002}, {-0.4, 0.05, 0.0}};
    Series series() const { return {curve.tau, curve.values, curve.weights, &basis}; }
};

Segmented make_segmented(Curve c)
{
    Segmented out;
    std::vector<std::size_t> of_point;
    std::vector<Segment> segments(2);
    for (double t : c.tau) of_point.push_back(t < 9.0 ? 0 : 1);
    for (std::size_t s = 0; s < 2; ++s) {
        segments[s].first = s == 0 ? c.tau.front() : 11.0;
        segments[s].last = s == 0 ? 7.0 : c.tau.back();
        segments[s].count = 1000;
    }
    out.shapes = segment_shapes(segments, Baseline::quadratic);
    out.shapes[1].coefficients = 2;
    for (std::size_t k = 0; k < c.tau.size(); ++k) {
        const double* b = out.truth[of_point[k]];
        const double u = c.tau[k] - out.shapes[of_point[k]].centre;
        c.values[k] += b[0] + b[1] * u + b[2] * u * u;
    }
    out.curve = std::move(c);
    out.basis = baseline_basis(out.curve.tau, of_point, out.shapes);
    return out;
}

}  // namespace

TEST(WindowSums, EqualTheirDirectSumsAtAnyFrequency)
{
    for (bool weighted : {false, true}) {
        const Curve c = make_curve(weighted);
        const spectrum::SamplingSums sums(c.tau, c.weights, 50.0, 2);
        double norm[3] = {0, 0, 0};
        for (std::size_t n = 0; n < c.tau.size(); ++n) {
            const double w2 = weighted ? c.weights[n] * c.weights[n] : 1.0;
            for (int k = 0; k < 3; ++k) norm[k] += w2 * std::pow(std::fabs(c.tau[n]), k);
        }
        std::mt19937_64 gen(3);
        std::uniform_real_distribution<double> uni(-50.0, 50.0);
        std::vector<double> nus = {0.0, 1e-9, -1e-9, 50.0, -50.0, 61.3};  // 61.3: beyond the grid, summed directly
        for (int i = 0; i < 200; ++i) nus.push_back(uni(gen));
        for (double nu : nus) {
            const spectrum::WindowSums fast = sums.at(nu), direct = spectrum::direct_window_sums(c.tau, c.weights, nu);
            for (int k = 0; k < 3; ++k) EXPECT_LT(std::abs(fast.s[k] - direct.s[k]), 1e-12 * norm[k]) << nu;
        }
    }
}

TEST(Projections, EqualTheirSumsOverThePointsWhateverTheThreads)
{
    const Curve c = make_curve(true);  // not a whole number of blocks
    const std::vector<Wave> waves = {{3.21, 1.9, 0.4}, {17.9, -0.2, 0.25}};
    std::vector<double> r1(c.tau.size()), r3(c.tau.size());
    const Projection p1 = project(c.tau, c.values, c.weights, 0.38, waves, 2, r1, 1);
    const Projection p3 = project(c.tau, c.values, c.weights, 0.38, waves, 2, r3, 3);
    EXPECT_EQ(r1, r3);
    EXPECT_EQ(p1.chi2, p3.chi2);
    EXPECT_EQ(p1.terms[1].tau2_cosine, p3.terms[1].tau2_cosine);
    double chi2 = 0.0, constant = 0.0, sine = 0.0, tau_cosine = 0.0, tau2_sine = 0.0;
    for (std::size_t n = 0; n < c.tau.size(); ++n) {
        const double t = c.tau[n], w2 = c.weights[n] * c.weights[n];
        const double s0 = std::sin(two_pi * 3.21 * t), c0 = std::cos(two_pi * 3.21 * t);
        const double r = c.values[n] - 0.38 - (1.9 * s0 + 0.4 * c0) -
                         (-0.2 * std::sin(two_pi * 17.9 * t) + 0.25 * std::cos(two_pi * 17.9 * t));
        EXPECT_NEAR(r1[n], r, 1e-12);
        chi2 += w2 * r * r;
        constant += w2 * r;
        sine += w2 * r * s0;
        tau_cosine += w2 * r * t * c0;
        tau2_sine += w2 * r * t * t * s0;
    }
    EXPECT_NEAR(p1.chi2, chi2, 1e-10 * chi2);
    EXPECT_NEAR(p1.constant, constant, 1e-9);
    EXPECT_NEAR(p1.terms[0].sine, sine, 1e-9);
    EXPECT_NEAR(p1.terms[0].tau_cosine, tau_cosine, 1e-8);
    EXPECT_NEAR(p1.terms[0].tau2_sine, tau2_sine, 1e-7);
}

TEST(Projections, GiveTheSameBitsInEveryKernelForm)
{
    const Curve c = make_curve(true);
    const std::vector<Wave> waves = {{3.21, 1.9, 0.4}, {17.9, -0.2, 0.25}, {41.05, 0.03, -0.7}};
    const auto results = kernel_forms::in_every_form([&] {
        std::vector<double> r(c.tau.size());
        const Projection p = project(c.tau, c.values, c.weights, 0.38, waves, 2, r, 2);
        r.push_back(p.chi2);
        r.push_back(p.constant);
        for (const auto& t : p.terms)
            r.insert(r.end(), {t.sine, t.cosine, t.tau_sine, t.tau_cosine, t.tau2_sine, t.tau2_cosine});
        return r;
    });
    for (std::size_t i = 1; i < results.size(); ++i) EXPECT_EQ(results[i], results[0]) << "form " << i;
}

TEST(FastNormalMatrix, EqualsTheDirectAssemblyWithFixedFrequenciesAndWeights)
{
    const Curve c = make_curve(true);
    const Model m = start_model();
    const spectrum::SamplingSums sums(c.tau, c.weights, 40.0, 1);
    PairTable table(sums);
    const Layout layout(m.terms.size(), {true, false, true});
    std::vector<double> x(layout.size());
    layout.pack(m, x);
    const std::vector<Wave> waves = waves_of(layout, x, m);
    table.set(slot_frequencies(waves), 1);
    const std::size_t p = layout.size();
    std::vector<double> fast(p * p), direct(p * p);
    gram(table, fit_columns(layout, waves), fast.data(), 1);
    normal_equations(c.series(), m, layout, nullptr, direct.data(), nullptr, 1);
    for (std::size_t i = 0; i < p; ++i)
        for (std::size_t j = 0; j < p; ++j)
            EXPECT_NEAR(fast[i * p + j], direct[i * p + j],
                        1e-11 * std::sqrt(direct[i * p + i] * direct[j * p + j]))
                << i << " " << j;
}

TEST(FastNormalMatrix, ATableUpdatedSlotBySlotEqualsAFreshOne)
{
    const Curve c = make_curve(false);
    const spectrum::SamplingSums sums(c.tau, c.weights, 60.0, 1);
    PairTable kept(sums), fresh(sums);
    kept.set(std::vector<double>{0.0, 3.21, 7.5, 11.0}, 1);
    const std::vector<double> moved = {0.0, 3.2107, 7.5, 11.0, 19.25};  // one moved, one added
    kept.set(moved, 2);
    fresh.set(moved, 1);
    for (std::uint32_t a = 0; a < moved.size(); ++a)
        for (std::uint32_t b = 0; b < moved.size(); ++b)
            for (std::uint8_t power : {0, 1, 2})
                for (bool sine : {false, true}) {
                    const Basis u{a, sine, power, 1.0}, v{b, !sine, 0, 1.0};
                    EXPECT_EQ(kept.product(u, v), fresh.product(u, v)) << a << " " << b;
                }
}

// What of an objective is compared with the exact assembly's.
struct Compared {
    bool normal_matrix = true, hessian = true;
};

// An objective's sum of squares, gradient (and normal matrix and Hessian
// when compared) at x against the exact assembly's, each relative to its
// own scale.
void expect_like_exact(Objective& exact, Objective& other, std::span<const double> x, Compared compared)
{
    const std::size_t p = x.size();
    std::vector<double> ge(p), go(p), je(p * p), jo(p * p), he(p * p), ho(p * p);
    const double chi2 = exact.chi2(x);
    EXPECT_NEAR(other.chi2(x), chi2, 1e-12 * chi2);
    exact.gradient(x, ge);
    other.gradient(x, go);
    exact.normal_matrix(x, je);
    if (compared.normal_matrix) other.normal_matrix(x, jo);
    if (compared.hessian) {
        exact.hessian(x, he);
        other.hessian(x, ho);
    }
    for (std::size_t i = 0; i < p; ++i) {
        // Relative to the size of a gradient entry: sqrt(chi2 (J^T J)_ii).
        EXPECT_NEAR(go[i], ge[i], 1e-12 * std::sqrt(chi2 * je[i * p + i])) << i;
        for (std::size_t j = 0; j < p; ++j) {
            const double norm = std::sqrt(je[i * p + i] * je[j * p + j]);
            if (compared.normal_matrix) {
                EXPECT_NEAR(jo[i * p + j], je[i * p + j], 1e-11 * norm) << i << " " << j;
            }
            if (compared.hessian) {
                EXPECT_NEAR(ho[i * p + j], he[i * p + j], 1e-11 * norm) << i << " " << j;
            }
        }
    }
}

TEST(Objectives, DirectAndAddedAgreeWithTheExactAssemblyAwayFromTheStart)
{
    const Curve c = make_curve(true);
    const Series series = c.series();
    const spectrum::SamplingSums sums(c.tau, c.weights, 40.0, 2);
    PairTable table(sums);
    // The known model: the first two terms; the third is added, its
    // frequency free, with the known amplitudes moved too.
    Model known = start_model();
    known.terms.pop_back();
    const Model trial = start_model();
    const Layout layout(3, {false, false, true});
    std::vector<double> start(layout.size()), x(layout.size());
    layout.pack(trial, start);
    x = start;
    for (std::size_t i = 0; i < x.size(); ++i) x[i] += 1e-3 * std::sin(1.0 + static_cast<double>(i));
    std::vector<double> r0(c.tau.size());
    const KnownResiduals r{r0, project(c.tau, c.values, c.weights, known.constant, waves_of(known), 0, r0, 2)};

    ExactObjective exact(series, layout, trial, 2);
    DirectObjective direct(series, layout, trial, table, 2);
    AddedObjective added(series, layout, start, trial, 2, r, table, 2);
    expect_like_exact(exact, direct, x, {false, false});
    expect_like_exact(exact, added, x, {true, false});
}

TEST(Objectives, AgreeWithTheExactAssemblyWithTheSegmentsBaselines)
{
    const Segmented seg = make_segmented(make_curve(true));
    const Curve& c = seg.curve;
    const Series series = seg.series();
    const spectrum::SamplingSums sums(c.tau, c.weights, 40.0, 2);
    PairTable table(sums);
    BaselineProducts products(seg.basis, c.tau, c.weights);
    Model known = start_model();
    known.terms.pop_back();
    known.baseline = {0.0, -0.4, 0.8, 1.1, 0.5, 0.0};  // scaled powers; the first offset is the constant's
    Model trial = start_model();
    trial.baseline = known.baseline;
    const Layout layout(3, {false, false, true}, {}, &seg.basis);
    ASSERT_EQ(layout.baseline().size(), 4u);
    std::vector<double> start(layout.size()), x(layout.size());
    layout.pack(trial, start);
    x = start;
    for (std::size_t i = 0; i < x.size(); ++i) x[i] += 1e-3 * std::sin(1.0 + static_cast<double>(i));
    std::vector<double> r0(c.tau.size());
    const KnownResiduals r{r0, project_model(series, known, waves_of(known), 0, r0, 2)};

    ExactObjective exact(series, layout, trial, 2);
    DirectObjective direct(series, layout, trial, table, 2, &products);
    AddedObjective added(series, layout, start, trial, 2, r, table, 2, &products);
    expect_like_exact(exact, direct, x, {true, true});
    expect_like_exact(exact, added, x, {true, true});
}

TEST(JointFit, RecoversPolynomialsPerSegmentAndSinusoidsToRoundingInOneFit)
{
    Curve noiseless = make_curve(false);
    evaluate(Model{0.0, {{3.21, 2.0, 0.3}, {3.21 + 1.5 / 40.0, 0.8, 0.7}, {17.9, 0.3, 0.1}}}, noiseless.tau,
             noiseless.values);
    const Segmented seg = make_segmented(noiseless);
    const Series series = seg.series();
    for (FitMethod method : {FitMethod::fast, FitMethod::exact}) {
        Settings settings;
        settings.grid = {0.025, 0.0025, 8000};
        settings.fit = method;
        Refitter refitter(series, settings, 40.0, 2);
        Model start = start_model();
        start.constant = 0.0;
        start.baseline.assign(6, 0.0);
        const FitOutcome out = refitter.final_fit(start);
        ASSERT_EQ(out.status, FitOutcome::Status::converged);
        EXPECT_NEAR(out.model.terms[0].frequency, 3.21, 1e-12);
        EXPECT_NEAR(out.model.terms[1].amplitude, 0.8, 1e-11);
        EXPECT_NEAR(out.model.terms[2].phase, 0.1, 1e-11);
        std::vector<SegmentBaseline> fitted = seg.shapes;
        baselines_from_fit(seg.basis, Layout(3, {}, {}, &seg.basis), out.model, {}, 1.0, fitted);
        for (std::size_t s = 0; s < 2; ++s)
            for (int i = 0; i < fitted[s].coefficients; ++i)
                EXPECT_NEAR(fitted[s].value[i], seg.truth[s][i], 1e-11) << s << " " << i;
    }
}

TEST(JointFit, TheBaselinesErrorsAreThoseOfTheWholeDesignMatrix)
{
    // The reference: GSL's linear least squares on the Jacobian at the
    // minimum, built here column by column in the polynomials' own units
    // (an offset per segment, no constant), its covariance
    // chi2 / (N - p) (X^T X)^-1.
    const Segmented seg = make_segmented(make_curve(true));
    const Curve& c = seg.curve;
    const Series series = seg.series();
    Settings settings;
    settings.grid = {0.025, 0.0025, 8000};
    Refitter refitter(series, settings, 40.0, 1);
    Model start = start_model();
    start.baseline.assign(6, 0.0);
    const FitOutcome out = refitter.final_fit(start);
    ASSERT_EQ(out.status, FitOutcome::Status::converged);
    std::vector<double> residuals;
    refitter.residuals(out.model, residuals);
    std::vector<SegmentBaseline> fitted = seg.shapes;
    baselines_from_fit(seg.basis, Layout(3, {}, {}, &seg.basis), out.model, refitter.covariance(out.model), 1.0, fitted);

    const std::size_t n = c.tau.size(), p = 5 + 9;
    gsl_matrix* x = gsl_matrix_alloc(n, p);
    gsl_vector* y = gsl_vector_alloc(n);
    gsl_vector* w = gsl_vector_alloc(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double t = c.tau[k];
        const std::size_t s = seg.basis.of_point[k];
        const double u = t - seg.shapes[s].centre;
        const double polynomial[5] = {s == 0 ? 1.0 : 0.0, s == 0 ? u : 0.0, s == 0 ? u * u : 0.0,
                                      s == 1 ? 1.0 : 0.0, s == 1 ? u : 0.0};
        for (std::size_t j = 0; j < 5; ++j) gsl_matrix_set(x, k, j, polynomial[j]);
        for (std::size_t i = 0; i < 3; ++i) {
            const Sinusoid& term = out.model.terms[i];
            const double a = term.amplitude * std::cos(two_pi * term.phase), b = term.amplitude * std::sin(two_pi * term.phase);
            const double sn = std::sin(two_pi * term.frequency * t), cs = std::cos(two_pi * term.frequency * t);
            gsl_matrix_set(x, k, 5 + 3 * i, two_pi * t * (a * cs - b * sn));
            gsl_matrix_set(x, k, 6 + 3 * i, sn);
            gsl_matrix_set(x, k, 7 + 3 * i, cs);
        }
        gsl_vector_set(y, k, c.values[k]);
        gsl_vector_set(w, k, c.weights[k] * c.weights[k]);
    }
    gsl_vector* coefficients = gsl_vector_alloc(p);
    gsl_matrix* cov = gsl_matrix_alloc(p, p);
    gsl_multifit_linear_workspace* work = gsl_multifit_linear_alloc(n, p);
    double chisq = 0.0;
    ASSERT_EQ(gsl_multifit_wlinear(x, w, y, coefficients, cov, &chisq, work), 0);
    const double s2 = chisq / static_cast<double>(n - p);  // wlinear leaves the covariance unscaled
    const int index[2][3] = {{0, 1, 2}, {3, 4, -1}};
    for (std::size_t s = 0; s < 2; ++s)
        for (int i = 0; i < fitted[s].coefficients; ++i) {
            const auto j = static_cast<std::size_t>(index[s][i]);
            EXPECT_NEAR(fitted[s].value[i], gsl_vector_get(coefficients, j), 1e-9) << s << " " << i;
            EXPECT_LT(relative(fitted[s].error[i], std::sqrt(s2 * gsl_matrix_get(cov, j, j))), 1e-8) << s << " " << i;
        }
    gsl_multifit_linear_free(work);
    gsl_matrix_free(cov);
    gsl_vector_free(coefficients);
    gsl_vector_free(w);
    gsl_vector_free(y);
    gsl_matrix_free(x);
}

TEST(FastFit, ConvergesTightlyToTheMinimumOfTheExactFit)
{
    const Curve c = make_curve(false);
    const Series series = c.series();
    const Model start = start_model();
    const Layout layout(3, {});
    const spectrum::SamplingSums sums(c.tau, c.weights, 40.0, 2);
    PairTable table(sums);
    DirectObjective direct(series, layout, start, table, 2);
    FitOutcome fast = levenberg_marquardt(direct, layout, start, c.tau.size(), {});
    polish(direct, layout, fast, c.tau.size(), final_tolerance, 6);
    FitOutcome reference = fit(series, start, {}, {});
    ExactObjective exact(series, layout, start, 2);
    polish(exact, layout, reference, c.tau.size(), final_tolerance, 6);
    ASSERT_EQ(fast.status, FitOutcome::Status::converged);
    ASSERT_EQ(reference.status, FitOutcome::Status::converged);
    EXPECT_NEAR(fast.model.constant, reference.model.constant, 1e-12);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(fast.model.terms[i].frequency, reference.model.terms[i].frequency, 1e-12);
        EXPECT_LT(relative(fast.model.terms[i].amplitude, reference.model.terms[i].amplitude), 1e-11);
        EXPECT_NEAR(fast.model.terms[i].phase, reference.model.terms[i].phase, 1e-11);
    }
}

TEST(FastFit, TheFinalPolishReachesTheZeroOfTheGradientAmongLargeResiduals)
{
    // Red noise and an unresolved partner of nearly the same amplitude
    // 0.7/T from the fitted sinusoid: the residuals' curvature is large
    // there, and Gauss-Newton gains only half the remaining distance per
    // step; Newton's steps end at the minimum.
    synthetic::Recipe recipe;
    recipe.n = 3000;
    recipe.span = 30.0;
    recipe.red = 1.0;
    recipe.red_time = 0.3;
    recipe.signals = {{{5.0, 2.0, 0.2}, ""}, {{5.0 + 0.7 / 30.0, 1.9, 0.7}, ""}, {{8.3, 1.0, 0.4}, ""}};
    const synthetic::Curve curve = synthetic::make(recipe);
    std::vector<double> tau;
    for (double t : curve.times) tau.push_back(t - curve.t_ref);
    const Series series{tau, curve.values, {}};
    const Model start{10.0, {{5.001, 2.0, 0.2}, {8.3, 1.0, 0.4}}};
    const Layout layout(2, {});
    ExactObjective exact(series, layout, start, 2);
    FitOutcome out = levenberg_marquardt(exact, layout, start, tau.size(), {});
    ASSERT_EQ(out.status, FitOutcome::Status::converged);
    polish(exact, layout, out, tau.size(), final_tolerance, 6);
    std::vector<double> x(layout.size()), g(layout.size()), h(layout.size() * layout.size());
    layout.pack(out.model, x);
    const double chi2 = exact.chi2(x);
    exact.gradient(x, g);
    exact.normal_matrix(x, h);
    EXPECT_LT(newton_step(h, layout.size(), g, chi2 / static_cast<double>(tau.size() - layout.size())).sigmas, 1e-8);
}

TEST(Refits, TheNewFrequencyAloneMovesExceptOnTheScheduledSteps)
{
    const Curve c = make_curve(false);
    const Series series = c.series();
    Settings settings;
    settings.grid = {0.025, 0.0025, 8000};
    settings.full_refit_every = 3;
    Refitter refitter(series, settings, 40.0, 2);
    Model one{0.4, {{3.2102, 2.0, 0.3}}};
    std::vector<double> residuals;
    refitter.residuals(one, residuals);
    refitter.accept(one);
    const FitOutcome second = refitter.fit_candidate(one, residuals, {17.9004, 0.3, 0.1}, false);
    ASSERT_EQ(second.status, FitOutcome::Status::converged);
    EXPECT_TRUE(refitter.partial());
    EXPECT_EQ(second.model.terms[0].frequency, 3.2102);
    EXPECT_NEAR(second.model.terms[1].frequency, 17.9, 1e-3);
    refitter.residuals(second.model, residuals);
    refitter.accept(second.model);
    const FitOutcome third = refitter.fit_candidate(second.model, residuals, {3.2478, 0.8, 0.7}, false);
    ASSERT_EQ(third.status, FitOutcome::Status::converged);
    EXPECT_FALSE(refitter.partial());  // the third step: every frequency
    EXPECT_NE(third.model.terms[0].frequency, 3.2102);
    EXPECT_NEAR(third.model.terms[0].frequency, 3.21, 1e-3);
}

TEST(Memory, OfTheFastFitLinearInPointsQuadraticInFrequencies)
{
    const spectrum::Grid grid{0.01, 0.001, 100000};
    auto bytes = [&](std::size_t n, int most) {
        return static_cast<double>(memory_needed(n, grid, 100.0, most, FitMethod::fast));
    };
    const double base = bytes(100000, 100);
    EXPECT_NEAR(bytes(300000, 100) - bytes(200000, 100), bytes(200000, 100) - base, 1e-6 * base);  // linear in N
    const double k1 = bytes(100000, 200) - base, k2 = bytes(100000, 400) - bytes(100000, 200);
    EXPECT_GT(k2, 3.0 * k1);                                                                 // quadratic in K
    EXPECT_LT(k2, 4.5 * k1);
    EXPECT_EQ(memory_needed(100000, grid, 100.0, 1 << 30), static_cast<std::size_t>(-1));  // saturates
}

namespace {

// Tables equal to `tolerance` in amplitude and phase (relative, cycles)
// and to `frequency_tolerance` in frequency, c/d.
void expect_same_table(const Result& fast, const Result& exact, double tolerance = 1e-9,
                       double frequency_tolerance = 1e-9)
{
    EXPECT_EQ(fast.stop, exact.stop);
    ASSERT_EQ(fast.frequencies.size(), exact.frequencies.size());
    for (std::size_t i = 0; i < fast.frequencies.size(); ++i) {
        const Sinusoid &a = fast.frequencies[i].value, &b = exact.frequencies[i].value;
        EXPECT_NEAR(a.frequency, b.frequency, frequency_tolerance) << "f" << i + 1;
        EXPECT_LT(relative(a.amplitude, b.amplitude), tolerance) << "f" << i + 1;
        double dphi = a.phase - b.phase;
        EXPECT_LT(std::fabs(dphi - std::nearbyint(dphi)), tolerance) << "f" << i + 1;
        EXPECT_LT(relative(fast.frequencies[i].covariance.amplitude, exact.frequencies[i].covariance.amplitude), 1e-6);
    }
    ASSERT_EQ(fast.baselines.size(), exact.baselines.size());
    for (std::size_t s = 0; s < fast.baselines.size(); ++s)
        for (int i = 0; i < fast.baselines[s].coefficients; ++i)
            EXPECT_NEAR(fast.baselines[s].value[i], exact.baselines[s].value[i], 1e3 * tolerance * exact.baselines[s].error[i])
                << "segment " << s << " coefficient " << i;
}

}  // namespace

TEST(FastExtraction, GivesTheTableOfTheExactOneWithEveryRefineWeightsAndBaselines)
{
    // Close pairs 1.5/T apart, a harmonic and a combination, a strong mode
    // 300 times the noise, gaps.
    synthetic::Recipe recipe;
    recipe.n = 2500;
    recipe.span = 25.0;
    recipe.gaps = true;
    recipe.seed = 17;
    recipe.white = 0.1;
    const double pair = 1.5 / 25.0;
    recipe.signals = {{{4.1234, 30.0, 0.15}, ""}, {{4.1234 + pair, 0.9, 0.62}, ""}, {{6.7771, 2.5, 0.33}, ""},
                      {{8.2468, 0.6, 0.81}, ""},  {{10.9005, 0.2, 0.05}, ""},       {{1.9, 0.12, 0.47}, ""},
                      {{13.7, 0.07, 0.71}, ""},   {{9.2, 0.05, 0.28}, ""}};
    synthetic::Curve curve = synthetic::make(recipe);
    std::mt19937_64 gen(2);
    std::uniform_real_distribution<double> uni(0.7, 1.3);
    for (double& e : curve.errors) e *= uni(gen);
    for (Refine refine : {Refine::all, Refine::fresh, Refine::none}) {
        for (bool weighted : {false, true}) {
            Settings settings;
            const double span = curve.times.back() - curve.times.front();
            settings.grid = {1.0 / span, 0.1 / span, static_cast<std::size_t>(160.0 * span)};
            settings.refine = refine;
            settings.weights = weighted;
            settings.full_refit_every = 3;
            // Two segments with a linear baseline each.
            SegmentRules halves;
            halves.breakpoints = std::vector<double>{curve.times.front() + span / 2};
            const Segmentation segments = segment_light_curve(curve.times, {}, halves);
            const spectrum::Plan plan = spectrum_plan(curve.times, settings);
            const Result fast = extract(plan, curve.times, curve.values, curve.errors, segments, settings);
            settings.fit = FitMethod::exact;
            const Result exact = extract(plan, curve.times, curve.values, curve.errors, segments, settings);
            ASSERT_EQ(exact.baselines.size(), 2u);
            EXPECT_GE(exact.frequencies.size(), 7u);
            SCOPED_TRACE(testing::Message() << "refine " << static_cast<int>(refine) << " weighted " << weighted);
            // Frequencies held where the peak search put them, to 1e-4 of a
            // grid step, move within that with the residuals' last bits,
            // and the amplitudes of a close pair with them.
            if (refine == Refine::none)
                expect_same_table(fast, exact, 1e-6, 1e-4 * settings.grid.step);
            else
                expect_same_table(fast, exact);
        }
    }
}

TEST(FastExtraction, DoesNotDependOnThreads)
{
    const synthetic::Curve curve = synthetic::make([] {
        synthetic::Recipe r;
        r.n = 6000;  // several partitions of the passes over the points
        r.seed = 5;
        std::mt19937_64 gen(5);
        synthetic::add_random_signals(r, 10, 1.0, 20.0, 8.0, 60.0, gen);
        return r;
    }());
    Settings settings;
    const double span = curve.times.back() - curve.times.front();
    settings.grid = {1.0 / span, 0.1 / span, static_cast<std::size_t>(220.0 * span)};
    settings.full_refit_every = 4;
    settings.threads = 1;
    const Result one = extract(spectrum_plan(curve.times, settings), curve.times, curve.values, {}, one_segment(curve.times), settings);
    settings.threads = 3;
    const Result three = extract(spectrum_plan(curve.times, settings), curve.times, curve.values, {}, one_segment(curve.times), settings);
    ASSERT_EQ(one.frequencies.size(), three.frequencies.size());
    for (std::size_t i = 0; i < one.frequencies.size(); ++i) {
        EXPECT_EQ(one.frequencies[i].value.frequency, three.frequencies[i].value.frequency);
        EXPECT_EQ(one.frequencies[i].value.amplitude, three.frequencies[i].value.amplitude);
        EXPECT_EQ(one.frequencies[i].covariance.phase, three.frequencies[i].covariance.phase);
        EXPECT_EQ(one.frequencies[i].snr, three.frequencies[i].snr);
    }
}

// A locked series: the fundamental F and its third harmonic 3F, added on
// top of an independent term known before them, F free.  The exact
// column of F is the derivative of the residuals in F (central
// differences, error of order h^2), and the fast objectives agree with
// the exact assembly.
TEST(LockedSeries, TheColumnOfFIsTheDerivativeInFInEveryAssembly)
{
    const Curve c = make_curve(true);
    const Series series = c.series();
    const std::size_t n = c.tau.size();
    Model trial{0.38, {{17.9005, 0.32, 0.12}, {3.212 / 3.0, 0.7, 0.4, 1}, {3.212, 1.9, 0.31, 3}}};
    const Layout layout(3, {false, true, true}, harmonics(trial));
    const std::size_t p = layout.size(), f = layout.frequency(1);
    ASSERT_EQ(p, 8u);  // c, the known a and b, F, the members' a and b
    ASSERT_EQ(layout.frequency(2), f);
    std::vector<double> start(p), column(n * p), up(n), down(n);
    layout.pack(trial, start);
    jacobian(series, trial, layout, 0, n, column.data());
    const double h = 1e-7;
    for (double sign : {1.0, -1.0}) {
        std::vector<double> xs = start;
        xs[f] += sign * h;
        Model moved = trial;
        layout.unpack(xs, moved);
        EXPECT_DOUBLE_EQ(moved.terms[2].frequency, 3.0 * xs[f]);
        residuals(series, moved, 0, n, sign > 0 ? up.data() : down.data());
    }
    const double largest = std::fabs(*std::max_element(column.begin() + f * n, column.begin() + (f + 1) * n,
                                                       [](double a, double b) { return std::fabs(a) < std::fabs(b); }));
    for (std::size_t k = 0; k < n; ++k) EXPECT_NEAR(column[f * n + k], (up[k] - down[k]) / (2 * h), 1e-6 * largest);

    std::vector<double> x = start, r0(n);
    for (std::size_t i = 0; i < p; ++i) x[i] += 1e-4 * std::sin(1.0 + static_cast<double>(i));
    Model known = trial;
    known.terms.resize(1);
    const KnownResiduals r{r0, project(c.tau, c.values, c.weights, known.constant, waves_of(known), 0, r0, 2)};
    const spectrum::SamplingSums sums(c.tau, c.weights, 40.0, 2);
    PairTable table(sums);
    ExactObjective exact(series, layout, trial, 2);
    DirectObjective direct(series, layout, trial, table, 2);
    AddedObjective added(series, layout, start, trial, 1, r, table, 2);
    const double chi2 = exact.chi2(x);
    std::vector<double> ge(p), je(p * p), he(p * p);
    exact.gradient(x, ge);
    exact.normal_matrix(x, je);
    exact.hessian(x, he);
    for (Objective* fast : std::initializer_list<Objective*>{&direct, &added}) {
        std::vector<double> g(p), j(p * p), hh(p * p);
        EXPECT_NEAR(fast->chi2(x), chi2, 1e-12 * chi2);
        fast->gradient(x, g);
        fast->normal_matrix(x, j);
        fast->hessian(x, hh);
        for (std::size_t i = 0; i < p; ++i) {
            EXPECT_NEAR(g[i], ge[i], 1e-12 * std::sqrt(chi2 * je[i * p + i])) << i;
            for (std::size_t k = 0; k < p; ++k) {
                const double scale = std::sqrt(je[i * p + i] * je[k * p + k]);
                EXPECT_NEAR(j[i * p + k], je[i * p + k], 1e-11 * scale) << i << " " << k;
                EXPECT_NEAR(hh[i * p + k], he[i * p + k], 1e-11 * scale) << i << " " << k;
            }
        }
    }
}
