#include "solve.hpp"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>

#include <algorithm>
#include <cmath>

namespace extraction {

ScaledCholesky::ScaledCholesky(const std::vector<double>& a, std::size_t size) : p(size), scale(size), factor(a)
{
    for (std::size_t i = 0; i < p; ++i) {
        const double d = a[i * p + i];
        if (!(d > 0.0) || !std::isfinite(d)) return;
        scale[i] = std::sqrt(d);
    }
    for (std::size_t i = 0; i < p; ++i)
        for (std::size_t j = 0; j < p; ++j) factor[i * p + j] /= scale[i] * scale[j];
    gsl_matrix_view m = gsl_matrix_view_array(factor.data(), p, p);
    ok = gsl_linalg_cholesky_decomp1(&m.matrix) == GSL_SUCCESS;
}

std::vector<double> ScaledCholesky::inverse()
{
    gsl_matrix_view m = gsl_matrix_view_array(factor.data(), p, p);
    gsl_linalg_cholesky_invert(&m.matrix);
    std::vector<double> inv(factor);
    for (std::size_t i = 0; i < p; ++i)
        for (std::size_t j = 0; j < p; ++j) inv[i * p + j] /= scale[i] * scale[j];
    return inv;
}

NewtonStep newton_step(const std::vector<double>& jtj, std::size_t p, std::span<const double> g, double s2)
{
    NewtonStep out;
    if (jtj.size() != p * p || g.size() != p || !(s2 > 0.0)) return out;
    ScaledCholesky chol(jtj, p);
    if (!chol.ok) return out;
    std::vector<double> scaled_g(p), scaled_step(p);
    for (std::size_t i = 0; i < p; ++i) scaled_g[i] = g[i] / chol.scale[i];
    gsl_matrix_view l = gsl_matrix_view_array(chol.factor.data(), p, p);
    gsl_vector_view b = gsl_vector_view_array(scaled_g.data(), p);
    gsl_vector_view y = gsl_vector_view_array(scaled_step.data(), p);
    gsl_linalg_cholesky_solve(&l.matrix, &b.vector, &y.vector);
    gsl_linalg_cholesky_invert(&l.matrix);
    double worst = 0.0;
    out.step.resize(p);
    for (std::size_t i = 0; i < p; ++i) {
        // In the scaled variables the step is M^-1 S^-1 g; the standard
        // error sqrt(s2 M^-1_ii): the ratio needs no unscaling.
        const double sigma = std::sqrt(s2 * chol.factor[i * p + i]);
        worst = std::max(worst, std::fabs(scaled_step[i]) / sigma);
        out.step[i] = -scaled_step[i] / chol.scale[i];
    }
    out.sigmas = std::isfinite(worst) ? worst : std::numeric_limits<double>::infinity();
    return out;
}

}  // namespace extraction
