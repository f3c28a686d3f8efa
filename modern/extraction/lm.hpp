// GSL's Levenberg-Marquardt (the large-problem solver, its trust region
// and Cholesky path) on a fit whose sum of squares, gradient and normal
// matrix come from elsewhere than the rows of the Jacobian.
//
// What that path of GSL takes from its callbacks (multilarge_nlinear:
// trust.c, lm.c, cholesky.c): J^T J from df, J^T f from df called with u =
// f, and the residual vector f only through its norm (in the ratio of the
// actual to the predicted reduction and in the predicted reduction).  So
// the residual vector handed to GSL here has p entries, sqrt(chi2) and
// zeros, and df ignores u and gives the gradient at x.
//
// In place of J^T J the solver is given the Hessian of chi2 / 2 (with the
// residuals' curvature; solver_matrix).  Its Levenberg-Marquardt step and
// predicted reduction are then those of the exact quadratic model, and the
// fits converge in a few iterations where Gauss-Newton converges linearly
// at a rate near 1: frequencies among large residuals (red noise, crowded
// low frequencies of real stars), 20 to 60 iterations a fit before.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "extraction/fit.hpp"

namespace extraction {

// A fit as the solver sees it, at parameters x of its layout.
class Objective {
public:
    virtual ~Objective() = default;
    // The sum of the squared weighted residuals at x.
    virtual double chi2(std::span<const double> x) = 0;
    // J^T f at x, f = w (model - data): half the gradient of chi2.
    virtual void gradient(std::span<const double> x, std::span<double> g) = 0;
    // J^T J at x, p x p, row by row, full.
    virtual void normal_matrix(std::span<const double> x, std::span<double> jtj) = 0;
    // The residual part of the Hessian of chi2 / 2 at x, taken from h: the
    // sum of the weighted residuals times the model's second derivatives.
    // Nothing where the objective cannot give it.
    virtual void subtract_curvature(std::span<const double> /*x*/, std::span<double> /*h*/) {}

    // The Hessian of chi2 / 2: J^T J minus the residual part.
    void hessian(std::span<const double> x, std::span<double> h);
    // The matrix the solver is given in place of J^T J: the Hessian, with
    // each diagonal entry kept at least 1 % of J^T J's (GSL scales the
    // parameters by the square roots of the diagonal, and far from the
    // minimum the residual part may exceed J^T J there).
    void solver_matrix(std::span<const double> x, std::span<double> h);
};

// Whether a fit at parameters x is bound to be undone (a frequency gone
// too far), so that its iterations may stop.
using Abandon = std::function<bool(std::span<const double> x)>;

// levenberg_marquardt: GSL's solver from start until the remaining
// Gauss-Newton step of every parameter is below settings.step_tolerance of
// its standard error (settings.linear_tolerance when no frequency is free).
//   Given:    objective  the fit
//             layout     its parameters; fixed frequencies from start
//             start      the model at the first iterate
//             points     N, for the residual variance chi2 / (N - p)
//             abandon    checked after each iteration (may be empty): when
//                        it holds, the fit stops as failed, at that iterate
//   Returned: as fit() (amplitudes >= 0, phases in [0, 1))
FitOutcome levenberg_marquardt(Objective& objective, const Layout& layout, const Model& start, std::size_t points,
                               const FitSettings& settings, const Abandon& abandon = {});

// polish: Newton steps on the full Hessian from a converged fit until the
// remaining one is below `tolerance` standard errors (at most `most`
// steps).
//   Notes: 1. GSL's trust region accepts a step only when the sum of
//             squares falls, and in double precision a fall is seen only
//             down to steps of about sqrt(N eps) standard errors (1e-5 for
//             50,000 points): below that the minimum cannot be told from
//             the sums of squares around it, and two fits stop at
//             different points of that region.  The zero of the gradient
//             is known far better (its sums are over the residuals).
//          2. Gauss-Newton converges to it only linearly when the
//             residuals are large and correlated with the model's second
//             derivatives (red noise, crowded low frequencies: a rate near
//             1 per step on real stars); Newton's step with the residual
//             term of the Hessian converges quadratically, so two or three
//             steps from GSL's 1e-3 standard errors reach 1e-9.
//          3. Where the Hessian is not positive definite the step is
//             Gauss-Newton's.  A step larger than the one before it, or
//             not finite, is not taken: the fit stays where it was.
void polish(Objective& objective, const Layout& layout, FitOutcome& outcome, std::size_t points, double tolerance,
            int most);

}  // namespace extraction
