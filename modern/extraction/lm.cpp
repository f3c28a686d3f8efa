#include "lm.hpp"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multilarge_nlinear.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "solve.hpp"

namespace extraction {
namespace {

struct Problem {
    Objective& objective;
    std::size_t p = 0;
    std::vector<double> latest_jtj;  // J^T J of the latest df call
    std::vector<double> gradient;
};

std::span<const double> values_of(const gsl_vector* v, std::vector<double>& copy)
{
    if (v->stride == 1) return {v->data, v->size};
    copy.resize(v->size);
    for (std::size_t i = 0; i < v->size; ++i) copy[i] = gsl_vector_get(v, i);
    return copy;
}

int residual_callback(const gsl_vector* x, void* params, gsl_vector* f)
{
    Problem& problem = *static_cast<Problem*>(params);
    try {
        std::vector<double> copy;
        const double chi2 = problem.objective.chi2(values_of(x, copy));
        if (!std::isfinite(chi2)) return GSL_EDOM;
        gsl_vector_set_zero(f);
        gsl_vector_set(f, 0, std::sqrt(std::max(chi2, 0.0)));
        return GSL_SUCCESS;
    } catch (...) {
        return GSL_EFAILED;
    }
}

int jacobian_callback(CBLAS_TRANSPOSE_t trans, const gsl_vector* x, const gsl_vector* /*u, always f at x*/,
                      void* params, gsl_vector* v, gsl_matrix* jtj)
{
    Problem& problem = *static_cast<Problem*>(params);
    if (trans != CblasTrans) return GSL_EINVAL;  // J u is not asked on the Cholesky path
    try {
        std::vector<double> copy;
        const std::span<const double> xs = values_of(x, copy);
        const std::size_t p = problem.p;
        if (v) {
            problem.gradient.resize(p);
            problem.objective.gradient(xs, problem.gradient);
            for (std::size_t i = 0; i < p; ++i) {
                if (!std::isfinite(problem.gradient[i])) return GSL_EDOM;
                gsl_vector_set(v, i, problem.gradient[i]);
            }
        }
        if (jtj) {
            problem.latest_jtj.resize(p * p);
            problem.objective.solver_matrix(xs, problem.latest_jtj);
            for (std::size_t i = 0; i < p; ++i)
                for (std::size_t j = 0; j < p; ++j) gsl_matrix_set(jtj, i, j, problem.latest_jtj[i * p + j]);
        }
        return GSL_SUCCESS;
    } catch (...) {
        return GSL_EFAILED;
    }
}

struct WorkspaceDeleter {
    void operator()(gsl_multilarge_nlinear_workspace* w) const { gsl_multilarge_nlinear_free(w); }
};

bool any_free_frequency(const Layout& layout)
{
    for (std::size_t i = 0; i < layout.terms(); ++i)
        if (layout.frequency(i) != Layout::fixed) return true;
    return false;
}

}  // namespace

void Objective::hessian(std::span<const double> x, std::span<double> h)
{
    normal_matrix(x, h);
    subtract_curvature(x, h);
}

void Objective::solver_matrix(std::span<const double> x, std::span<double> h)
{
    normal_matrix(x, h);
    const std::size_t p = x.size();
    std::vector<double> diagonal(p);
    for (std::size_t i = 0; i < p; ++i) diagonal[i] = h[i * p + i];
    subtract_curvature(x, h);
    for (std::size_t i = 0; i < p; ++i) h[i * p + i] = std::max(h[i * p + i], 0.01 * diagonal[i]);
}

FitOutcome levenberg_marquardt(Objective& objective, const Layout& layout, const Model& start, std::size_t points,
                               const FitSettings& settings, const Abandon& abandon)
{
    FitOutcome outcome;
    outcome.model = start;
    const std::size_t p = layout.size();
    if (points <= p) return outcome;

    Problem problem{objective, p, {}, {}};
    gsl_multilarge_nlinear_fdf fdf{};
    fdf.f = residual_callback;
    fdf.df = jacobian_callback;
    fdf.fvv = nullptr;
    fdf.n = p;
    fdf.p = p;
    fdf.params = &problem;
    gsl_multilarge_nlinear_parameters params = gsl_multilarge_nlinear_default_parameters();
    params.trs = gsl_multilarge_nlinear_trs_lm;
    params.solver = gsl_multilarge_nlinear_solver_cholesky;
    std::unique_ptr<gsl_multilarge_nlinear_workspace, WorkspaceDeleter> work(
        gsl_multilarge_nlinear_alloc(gsl_multilarge_nlinear_trust, &params, p, p));
    if (!work) return outcome;

    std::vector<double> x0(p);
    layout.pack(start, x0);
    gsl_vector_view x0view = gsl_vector_view_array(x0.data(), p);
    if (gsl_multilarge_nlinear_init(&x0view.vector, &fdf, work.get()) != GSL_SUCCESS) return outcome;

    const double tolerance = any_free_frequency(layout) ? settings.step_tolerance : settings.linear_tolerance;
    outcome.status = FitOutcome::Status::iteration_limit;
    for (int iter = 0; iter < settings.max_iterations; ++iter) {
        const int status = gsl_multilarge_nlinear_iterate(work.get());
        outcome.iterations = iter + 1;
        if (status == GSL_ENOPROG) {
            // No step lowers the sum of squares any more: at the minimum to
            // the precision of the arithmetic.
            outcome.status = FitOutcome::Status::converged;
            break;
        }
        if (status != GSL_SUCCESS || (abandon && abandon({work->x->data, p}))) {
            outcome.status = FitOutcome::Status::failed;
            break;
        }
        const double chi2 = gsl_vector_get(work->f, 0) * gsl_vector_get(work->f, 0);
        const double s2 = chi2 / static_cast<double>(points - p);
        if (newton_step(problem.latest_jtj, p, problem.gradient, s2).sigmas <= tolerance) {
            outcome.status = FitOutcome::Status::converged;
            break;
        }
    }
    layout.unpack({work->x->data, p}, outcome.model);
    outcome.chi2 = gsl_vector_get(work->f, 0) * gsl_vector_get(work->f, 0);
    normalise(outcome.model);
    return outcome;
}

void polish(Objective& objective, const Layout& layout, FitOutcome& outcome, std::size_t points, double tolerance,
            int most)
{
    const std::size_t p = layout.size();
    if (points <= p || outcome.status != FitOutcome::Status::converged) return;
    std::vector<double> x(p), g(p), jtj(p * p);  // jtj: the Hessian
    layout.pack(outcome.model, x);
    double previous = std::numeric_limits<double>::infinity();
    for (int step = 0; step < most; ++step) {
        const double chi2 = objective.chi2(x);
        objective.gradient(x, g);
        objective.hessian(x, jtj);
        const double s2 = chi2 / static_cast<double>(points - p);
        NewtonStep newton = newton_step(jtj, p, g, s2);
        if (!std::isfinite(newton.sigmas)) {
            // Not positive definite: the Gauss-Newton step there.
            objective.normal_matrix(x, jtj);
            newton = newton_step(jtj, p, g, s2);
        }
        if (!std::isfinite(newton.sigmas) || newton.sigmas > previous) break;
        for (std::size_t i = 0; i < p; ++i) x[i] += newton.step[i];
        outcome.chi2 = chi2;
        layout.unpack(x, outcome.model);
        if (newton.sigmas <= tolerance) break;
        previous = newton.sigmas;
    }
    normalise(outcome.model);
}

}  // namespace extraction
