// Linear least squares through the singular value decomposition: the fit
// itself (svdfit), the back substitution (svbksb) and the covariance of the
// coefficients (svdvar).  Matrices are column by column with their declared
// row counts beside the used sizes; element 1 of an array is at index 0.
#pragma once

#include "cyclefit/records.hpp"
#include "cyclefit/svdcmp.hpp"

#include <cstddef>
#include <memory>

namespace cyclefit {

// Relative threshold below which a singular value is dropped: 1.0E-5 held
// in single precision, so as a double it is 9.999999747378752E-06.
constexpr float svtol = 1.0E-5f;

// A basis routine: fills p(1..nbasis) with the basis functions at xi.
using Basis = void (*)(double xi, double* p, int nbasis);

// The scratch of the fit, one for the program, handed to svdfit: the
// weighted right-hand side, one entry per observation; the basis values of
// every observation, kept from the design matrix for the chi-square (grown
// to the largest fit, nobs x nbasis doubles: 59 MB at 75000 x 99; this
// spares the second evaluation of the basis, about a tenth of the whole
// fit, and where the memory cannot be had the basis is evaluated again);
// and the scratch of the decomposition.  It holds nothing from one fit to
// the next.
struct Workspace {
    static constexpr int maxrows = maxobs;  // observations a fit can take
    double rhs[maxrows];
    std::unique_ptr<double[]> basisvalues;  // observation i's at [i nbasis, (i + 1) nbasis)
    size_t basiscapacity = 0;               // doubles allocated there
    SvdWork svd;
};

// svdfit: weighted least-squares fit of y(x) by the nbasis basis functions.
//   Given:    x, y, sig  abscissae, values and their standard errors (nobs)
//             nbasis     number of coefficients
//             ldu, ldv   declared row counts of u and v
//             basis      the basis routine, called once per observation
//                        (twice when the workspace cannot keep the values)
//             work       scratch
//   Returned: coef       the coefficients
//             u, v, sv   the decomposition of the weighted design matrix,
//                        singular values below svtol * max set to 0.0
//             chi2       weighted sum of squared residuals
//   Notes: 1. Capacity: 0 <= nbasis <= svdcolumns, nbasis <= nobs,
//             nobs <= ldu and nobs <= Workspace::maxrows, nbasis <= ldv;
//             other sizes end the run before anything is touched.  With
//             fewer observations than coefficients there is no fit: the
//             caller refuses it first.
void svdfit(const double* x, const double* y, const double* sig, int nobs, double* coef, int nbasis, double* u,
            double* v, double* sv, int ldu, int ldv, double& chi2, Basis basis, Workspace& work);

// svbksb: least-squares solution of A sol = rhs from A = U diag(sv) V^T;
// a zero sv(j) drops component j.  Capacity: 0 <= ncol <= svdcolumns,
// 0 <= nrow <= ldu, ncol <= ldv.
void svbksb(const double* u, const double* sv, const double* v, int nrow, int ncol, int ldu, int ldv,
            const double* rhs, double* sol);

// svdvar: covariance matrix of the coefficients, cvm = V diag(1/sv^2) V^T,
// with a zero sv(k) left out.  Capacity: 0 <= nbasis <= svdcolumns,
// nbasis <= ldv, nbasis <= ldc.
void svdvar(const double* v, int nbasis, int ldv, const double* sv, double* cvm, int ldc);

}  // namespace cyclefit
