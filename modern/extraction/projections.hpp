// The one pass over the points that the fast fit still makes: the
// residuals of a model on a series, their weighted sum of squares, and
// their weighted sums against each term's sine and cosine (and tau times
// them), from one evaluation of each sine and cosine.
//
// With the residuals r = base - model these sums are the gradient of the
// sum of squares: for the coefficients a, b of a sin + b cos they are
// -<r, sin>, -<r, cos>, for the frequency -2 pi (a <r, tau cos> - b <r,
// tau sin>), <u, v> = sum w^2 u v.  They are sums of residuals, so their
// error is relative to the residuals, however strong the signals removed.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace extraction {

// One term of a model as the fit sees it: a sin(2 pi f tau) + b cos(2 pi f tau).
struct Wave {
    double frequency = 0.0;  // c/d
    double sine = 0.0;       // a
    double cosine = 0.0;     // b
};

// The sums of the residuals against one term's functions.
struct TermSums {
    double sine = 0.0, cosine = 0.0;            // <r, sin>, <r, cos>
    double tau_sine = 0.0, tau_cosine = 0.0;    // <r, tau sin>, <r, tau cos> (when asked)
    double tau2_sine = 0.0, tau2_cosine = 0.0;  // <r, tau^2 sin>, <r, tau^2 cos> (when asked)
};

struct Projection {
    double chi2 = 0.0;      // <r, r>
    double constant = 0.0;  // <r, 1>
    std::vector<TermSums> terms;
    std::vector<double> baseline;  // <r, x^p> of the segments' baseline columns (project_model), 3 per segment
};

// project: the residuals r = base - constant - sum of the waves, and their
// sums.
//   Given:    tau        t - t_ref, days
//             base       the values (or earlier residuals), one per point
//             weights    1 / sigma per point, or empty for all 1
//             constant, waves  the model
//             powers     the highest power of tau the sums are wanted with
//                        (0, 1 for the gradient, 2 for the curvature)
//             threads    threads to use; the sums do not depend on it
//   Returned: the sums; residuals (when not empty, one per point) gets r
//   Notes: 1. The points are cut into a fixed number of partitions whose
//             sums are added in order, as the direct normal equations are.
//          2. Cost: N K sines and cosines (vectorised), K the waves.
Projection project(std::span<const double> tau, std::span<const double> base, std::span<const double> weights,
                   double constant, std::span<const Wave> waves, int powers, std::span<double> residuals,
                   int threads);

}  // namespace extraction
