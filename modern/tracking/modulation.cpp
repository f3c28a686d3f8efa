#include "tracking/modulation.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit.h>

#include <cmath>
#include <limits>
#include <memory>

#include "tracking/kepler.hpp"

namespace tracking {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct Deleter {
    void operator()(gsl_multifit_linear_workspace* w) const { gsl_multifit_linear_free(w); }
    void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
    void operator()(gsl_vector* v) const { gsl_vector_free(v); }
};
template <class T>
using Owned = std::unique_ptr<T, Deleter>;

}  // namespace

PolynomialFit weighted_polynomial(std::span<const double> x, std::span<const double> y,
                                  std::span<const double> sigma, int degree)
{
    PolynomialFit fit;
    const std::size_t n = x.size(), p = static_cast<std::size_t>(degree) + 1;
    if (degree < 0 || n <= p) return fit;
    Owned<gsl_matrix> X(gsl_matrix_alloc(n, p)), cov(gsl_matrix_alloc(p, p));
    Owned<gsl_vector> Y(gsl_vector_alloc(n)), W(gsl_vector_alloc(n)), c(gsl_vector_alloc(p));
    Owned<gsl_multifit_linear_workspace> work(gsl_multifit_linear_alloc(n, p));
    for (std::size_t k = 0; k < n; ++k) {
        double power = 1.0;
        for (std::size_t j = 0; j < p; ++j, power *= x[k]) gsl_matrix_set(X.get(), k, j, power);
        gsl_vector_set(Y.get(), k, y[k]);
        gsl_vector_set(W.get(), k, 1.0 / (sigma[k] * sigma[k]));
    }
    double chi2 = 0.0;
    std::size_t rank = 0;
    // The truncated SVD tells a singular fit by its rank instead of
    // returning huge coefficients.
    if (gsl_multifit_wlinear_tsvd(X.get(), W.get(), Y.get(), 1e-12, c.get(), cov.get(), &chi2, &rank, work.get()) !=
            GSL_SUCCESS ||
        rank < p)
        return fit;
    fit.chi2 = chi2;
    fit.dof = n - p;
    const double scale = std::max(1.0, chi2 / static_cast<double>(fit.dof));
    for (std::size_t j = 0; j < p; ++j) {
        fit.coefficients.push_back(gsl_vector_get(c.get(), j));
        fit.errors.push_back(std::sqrt(scale * gsl_matrix_get(cov.get(), j, j)));
    }
    fit.ok = true;
    return fit;
}

Modulation modulation(std::span<const double> t, std::span<const double> amplitude,
                      std::span<const double> amplitude_err, std::span<const double> phase,
                      std::span<const double> phase_err, const std::vector<bool>& phase_used, double t_ref)
{
    Modulation m;
    m.mean_amplitude = m.amplitude_chi2_dof = m.amplitude_slope = m.amplitude_slope_err = nan;
    m.frequency_rate = m.frequency_rate_err = m.time_delay_chi2_dof = nan;
    std::vector<double> x, y, s;
    for (std::size_t w = 0; w < t.size(); ++w)
        if (amplitude_err[w] > 0.0 && std::isfinite(amplitude[w])) {
            x.push_back((t[w] - t_ref) / days_per_year);
            y.push_back(amplitude[w]);
            s.push_back(amplitude_err[w]);
        }
    m.windows = x.size();
    const PolynomialFit level = weighted_polynomial(x, y, s, 0);
    if (level.ok) {
        m.mean_amplitude = level.coefficients[0];
        m.amplitude_chi2_dof = level.chi2 / static_cast<double>(level.dof);
    }
    const PolynomialFit line = weighted_polynomial(x, y, s, 1);
    if (line.ok) {
        m.amplitude_slope = line.coefficients[1];
        m.amplitude_slope_err = line.errors[1];
    }
    x.clear();
    y.clear();
    s.clear();
    for (std::size_t w = 0; w < t.size(); ++w)
        if (phase_used[w]) {
            x.push_back(t[w] - t_ref);
            y.push_back(phase[w]);
            s.push_back(phase_err[w]);
        }
    const PolynomialFit parabola = weighted_polynomial(x, y, s, 2);
    if (parabola.ok) {
        m.frequency_rate = 2.0 * parabola.coefficients[2];
        m.frequency_rate_err = 2.0 * parabola.errors[2];
    }
    return m;
}

}  // namespace tracking
