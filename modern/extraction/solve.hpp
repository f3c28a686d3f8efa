// The normal equations of a fit solved: the scaled Cholesky factor of
// J^T J, and the Gauss-Newton step with each parameter's share of it in
// units of its standard error (the convergence test of every fit).
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <vector>

namespace extraction {

// A symmetric positive definite matrix scaled to unit diagonal and
// factored: A = S M S with S = diag(A)^(1/2), M = L L^T.  The scaling keeps
// the factorisation accurate when the parameters differ in scale by many
// orders of magnitude (frequencies against amplitudes).
struct ScaledCholesky {
    std::size_t p = 0;
    std::vector<double> scale;   // S
    std::vector<double> factor;  // L, row by row (GSL's layout)
    bool ok = false;

    ScaledCholesky(const std::vector<double>& a, std::size_t size);

    // A^-1 in place of the factor.
    std::vector<double> inverse();
};

// The Gauss-Newton step x -> x + step of the normal equations
// (J^T J) step = -g, and the largest ratio of a parameter's step to its
// standard error sqrt(s2 (J^T J)^-1_ii).
struct NewtonStep {
    std::vector<double> step;
    double sigmas = std::numeric_limits<double>::infinity();  // infinite when J^T J cannot be factored
};

// newton_step: the step at a point of a fit.
//   Given:    jtj  J^T J, p x p, row by row
//             g    J^T f, f the weighted residuals model - data
//             s2   the residual variance chi2 / (N - p)
//   Returned: the step and its size in standard errors
NewtonStep newton_step(const std::vector<double>& jtj, std::size_t p, std::span<const double> g, double s2);

}  // namespace extraction
