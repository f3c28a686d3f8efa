// The model, its analytic Jacobian against finite
// differences, the normal equations against the plain product of the
// Jacobian with itself, and the joint fit on signals of known parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "extraction/fit.hpp"
#include "extraction/model.hpp"
#include "numerics/cycles.hpp"

using namespace extraction;
using numerics::two_pi;

namespace {

// A reference sine of 2 pi x: the whole cycles are removed first (exact),
// so the library's sin sees a small argument.
double ref_sin(double x) { return std::sin(two_pi * (x - std::nearbyint(x))); }

struct Curve {
    std::vector<double> tau, values, weights;
    Series series() const { return {tau, values, weights}; }
};

// Uneven times over 30 days with a gap, the model's values, and weights
// when asked.
Curve make_curve(const Model& model, std::size_t n, bool weighted, double noise = 0.0, unsigned seed = 1)
{
    Curve curve;
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (std::size_t k = 0; k < n; ++k) {
        double t = 30.0 * (static_cast<double>(k) + 0.3 * uni(gen)) / static_cast<double>(n);
        if (t > 12.0 && t < 16.0) t += 4.0;  // a gap
        curve.tau.push_back(t - 15.0);
    }
    curve.values.resize(n);
    evaluate(model, curve.tau, curve.values);
    for (double& v : curve.values) v += noise * gauss(gen);
    if (weighted)
        for (std::size_t k = 0; k < n; ++k) curve.weights.push_back(1.0 / (0.5 + uni(gen)));
    return curve;
}

Model three_terms()
{
    Model m;
    m.constant = 0.3;
    m.terms = {{2.345, 1.5, 0.12}, {5.678, 0.7, 0.81}, {11.02, 0.2, 0.47}};
    return m;
}

}  // namespace

TEST(Model, EvaluatesTheSumOfSines)
{
    const Model m = three_terms();
    const std::vector<double> tau = {-14.2, -0.3, 0.0, 7.77, 300.5};
    std::vector<double> out(tau.size());
    evaluate(m, tau, out);
    for (std::size_t k = 0; k < tau.size(); ++k) {
        double expected = m.constant;
        for (const Sinusoid& s : m.terms) expected += s.amplitude * ref_sin(s.frequency * tau[k] + s.phase);
        EXPECT_NEAR(out[k], expected, 1e-14);
    }
}

TEST(Jacobian, MatchesCentralDifferencesWithWeightsAndFixedFrequencies)
{
    const Model m = three_terms();
    const Curve curve = make_curve(m, 300, true, 0.1);
    const Series series = curve.series();
    for (const std::vector<bool>& free : {std::vector<bool>{}, std::vector<bool>{true, false, true},
                                          std::vector<bool>{false, false, false}}) {
        const Layout layout(m.terms.size(), free);
        const std::size_t n = curve.tau.size(), p = layout.size();
        std::vector<double> jac(n * p);
        jacobian(series, m, layout, 0, n, jac.data());
        std::vector<double> x(p);
        layout.pack(m, x);
        for (std::size_t j = 0; j < p; ++j) {
            const double h = 1e-6 * std::max(1.0, std::fabs(x[j]));
            std::vector<double> up(x), down(x);
            up[j] += h;
            down[j] -= h;
            Model mu = m, md = m;
            layout.unpack(up, mu);
            layout.unpack(down, md);
            std::vector<double> ru(n), rd(n);
            residuals(series, mu, 0, n, ru.data());
            residuals(series, md, 0, n, rd.data());
            for (std::size_t k = 0; k < n; ++k) {
                const double numeric = (ru[k] - rd[k]) / (2 * h);
                const double analytic = jac[j * n + k];
                EXPECT_NEAR(analytic, numeric, 1e-6 * std::max(1.0, std::fabs(numeric))) << "parameter " << j;
            }
        }
    }
}

TEST(NormalEquations, EqualThePlainProductAndDoNotDependOnThreads)
{
    const Model m = three_terms();
    const Curve curve = make_curve(m, 5000, true, 0.1);  // several partitions
    const Series series = curve.series();
    const Layout layout(m.terms.size(), {});
    const std::size_t n = curve.tau.size(), p = layout.size();
    std::vector<double> jac(n * p), u(n);
    jacobian(series, m, layout, 0, n, jac.data());
    for (std::size_t k = 0; k < n; ++k) u[k] = std::sin(0.1 * static_cast<double>(k));
    std::vector<double> jtj1(p * p), jtu1(p), jtj2(p * p), jtu2(p);
    normal_equations(series, m, layout, u.data(), jtj1.data(), jtu1.data(), 1);
    normal_equations(series, m, layout, u.data(), jtj2.data(), jtu2.data(), 3);
    EXPECT_EQ(jtj1, jtj2);
    EXPECT_EQ(jtu1, jtu2);
    for (std::size_t a = 0; a < p; ++a) {
        double g = 0.0;
        for (std::size_t k = 0; k < n; ++k) g += jac[a * n + k] * u[k];
        EXPECT_NEAR(jtu1[a], g, 1e-10 * std::max(1.0, std::fabs(g)));
        for (std::size_t b = 0; b < p; ++b) {
            double s = 0.0;
            for (std::size_t k = 0; k < n; ++k) s += jac[a * n + k] * jac[b * n + k];
            EXPECT_NEAR(jtj1[a * p + b], s, 1e-10 * std::max(1.0, std::fabs(s)));
        }
    }
}

TEST(Fit, RecoversNoiselessParametersFromADisplacedStart)
{
    const Model truth = three_terms();
    const Curve curve = make_curve(truth, 2000, false);
    Model start = truth;
    start.constant = 0.0;
    start.terms[0].frequency += 0.004;  // a tenth of the resolution 1/T
    start.terms[1].frequency -= 0.003;
    start.terms[2].amplitude = 0.1;
    start.terms[2].phase = 0.3;
    const FitOutcome out = fit(curve.series(), start, {}, {});
    ASSERT_EQ(out.status, FitOutcome::Status::converged);
    EXPECT_NEAR(out.model.constant, truth.constant, 1e-10);
    for (std::size_t i = 0; i < truth.terms.size(); ++i) {
        EXPECT_NEAR(out.model.terms[i].frequency, truth.terms[i].frequency, 1e-10);
        EXPECT_NEAR(out.model.terms[i].amplitude, truth.terms[i].amplitude, 1e-10);
        EXPECT_NEAR(out.model.terms[i].phase, truth.terms[i].phase, 1e-10);
    }
    EXPECT_LT(out.chi2, 1e-18);
}

TEST(Fit, FixedFrequenciesStayAndResultsDoNotDependOnThreads)
{
    const Model truth = three_terms();
    const Curve curve = make_curve(truth, 6000, true, 0.3, 5);
    Model start = truth;
    start.terms[1].frequency += 0.002;
    FitSettings one, three;
    one.threads = 1;
    three.threads = 3;
    const std::vector<bool> free = {true, false, true};
    const FitOutcome a = fit(curve.series(), start, free, one);
    const FitOutcome b = fit(curve.series(), start, free, three);
    ASSERT_EQ(a.status, FitOutcome::Status::converged);
    EXPECT_EQ(a.model.terms[1].frequency, start.terms[1].frequency);
    EXPECT_EQ(a.chi2, b.chi2);
    for (std::size_t i = 0; i < truth.terms.size(); ++i) {
        EXPECT_EQ(a.model.terms[i].frequency, b.model.terms[i].frequency);
        EXPECT_EQ(a.model.terms[i].amplitude, b.model.terms[i].amplitude);
        EXPECT_EQ(a.model.terms[i].phase, b.model.terms[i].phase);
    }
}

TEST(Fit, NegativeAmplitudeStartsEndPositiveWithPhaseInOneCycle)
{
    const Model truth = three_terms();
    const Curve curve = make_curve(truth, 1500, false);
    Model start = truth;
    for (Sinusoid& s : start.terms) {
        s.amplitude = -s.amplitude;  // the same curve, half a cycle away
        s.phase -= 2.5;
    }
    const FitOutcome out = fit(curve.series(), start, {}, {});
    ASSERT_EQ(out.status, FitOutcome::Status::converged);
    for (std::size_t i = 0; i < truth.terms.size(); ++i) {
        EXPECT_NEAR(out.model.terms[i].amplitude, truth.terms[i].amplitude, 1e-10);
        EXPECT_NEAR(out.model.terms[i].phase, truth.terms[i].phase, 1e-10);
    }
}

TEST(Fit, TooFewPointsForTheParametersFails)
{
    const Model truth = three_terms();  // 10 parameters
    const Curve curve = make_curve(truth, 10, false);
    EXPECT_EQ(fit(curve.series(), truth, {}, {}).status, FitOutcome::Status::failed);
    EXPECT_TRUE(covariance(curve.series(), truth, 1).empty());
}
