// svdfit, svbksb, svdvar: least squares through the singular value
// decomposition, with small singular values edited out.
#include "cyclefit/svdfit.hpp"

#include "cyclefit/records.hpp"
#include "cyclefit/svdcmp.hpp"

namespace cyclefit {

namespace {

double rhs[maxobs];  // the weighted values, one per observation

}  // namespace

void svdfit(const double* x, const double* y, const double* sig, int nobs, double* coef, int nbasis, double* u,
            double* v, double* sv, int ldu, int ldv, double& chi2, Basis basis)
{
    double p[100];
    // The weighted design matrix, one row per observation.
    for (int i = 0; i < nobs; ++i) {
        basis(x[i], p, nbasis);
        const double weight = 1.0 / sig[i];
        for (int j = 0; j < nbasis; ++j) u[static_cast<long>(j) * ldu + i] = p[j] * weight;
        rhs[i] = y[i] * weight;
    }
    svdcmp(u, nobs, nbasis, ldu, ldv, sv, v);

    // Singular values strictly below svtol times the largest are dropped.
    double svmax = 0.0;
    for (int j = 0; j < nbasis; ++j)
        if (sv[j] > svmax) svmax = sv[j];
    const double thresh = static_cast<double>(svtol) * svmax;
    for (int j = 0; j < nbasis; ++j)
        if (sv[j] < thresh) sv[j] = 0.0;
    svbksb(u, sv, v, nobs, nbasis, ldu, ldv, rhs, coef);

    chi2 = 0.0;
    for (int i = 0; i < nobs; ++i) {
        basis(x[i], p, nbasis);
        double sum = 0.0;
        for (int j = 0; j < nbasis; ++j) sum += coef[j] * p[j];
        const double d = (y[i] - sum) / sig[i];
        chi2 += d * d;
    }
}

void svbksb(const double* u, const double* sv, const double* v, int nrow, int ncol, int ldu, int ldv,
            const double* rhs, double* sol)
{
    double tmp[100];
    for (int j = 0; j < ncol; ++j) {
        double s = 0.0;
        if (sv[j] != 0.0) {
            const double* uj = u + static_cast<long>(j) * ldu;
            for (int i = 0; i < nrow; ++i) s += uj[i] * rhs[i];
            s /= sv[j];
        }
        tmp[j] = s;
    }
    for (int j = 0; j < ncol; ++j) {
        double s = 0.0;
        for (int jj = 0; jj < ncol; ++jj) s += v[static_cast<long>(jj) * ldv + j] * tmp[jj];
        sol[j] = s;
    }
}

void svdvar(const double* v, int nbasis, int ldv, const double* sv, double* cvm, int ldc)
{
    double wti[100];
    for (int i = 0; i < nbasis; ++i) {
        wti[i] = 0.0;
        if (sv[i] != 0.0) wti[i] = 1.0 / (sv[i] * sv[i]);
    }
    auto V = [&](int i, int k) { return v[static_cast<long>(k) * ldv + i]; };
    for (int i = 0; i < nbasis; ++i) {
        for (int j = 0; j <= i; ++j) {
            double sum = 0.0;
            for (int k = 0; k < nbasis; ++k) sum += V(i, k) * V(j, k) * wti[k];
            cvm[static_cast<long>(i) * ldc + j] = sum;
            cvm[static_cast<long>(j) * ldc + i] = sum;
        }
    }
}

}  // namespace cyclefit
