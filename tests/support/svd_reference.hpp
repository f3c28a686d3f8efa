// The straightforward forms of the decomposition and the fit, loop for loop
// as the method is written: the yardstick that the program's faster forms
// must match to the last bit.
#pragma once

#include "cyclefit/records.hpp"
#include "cyclefit/svdfit.hpp"

namespace reference {

void svdcmp(double* mat, int nrow, int ncol, int ldu, int ldv, double* sv, double* v);
void svdfit(const double* x, const double* y, const double* sig, int nobs, double* coef, int nbasis, double* u,
            double* v, double* sv, int ldu, int ldv, double& chi2, cyclefit::Basis basis);

}  // namespace reference
