// svdfit, svbksb, svdvar: least squares through the singular value
// decomposition, with small singular values edited out.
#include "cyclefit/svdfit.hpp"

#include <algorithm>
#include <new>
#include <string>

namespace cyclefit {

namespace {

// Makes room in the workspace for nvalues basis values; false when the
// memory cannot be had (the fit then evaluates the basis again).
bool room_for_basis_values(Workspace& work, size_t nvalues)
{
    if (work.basiscapacity >= nvalues) return true;
    work.basisvalues.reset(new (std::nothrow) double[nvalues]);
    work.basiscapacity = work.basisvalues ? nvalues : 0;
    return work.basisvalues != nullptr;
}

// The weighted design matrix and right-hand side, 64 observations at a
// time: their basis values first (the basis routine writes into a buffer
// of full capacity, as it may fill more than nbasis values), then the
// block's rows of each column in one stretch.  The basis values are kept
// in keep, when it is given.
void design_matrix(const double* x, const double* y, const double* sig, int nobs, int nbasis, double* u, int ldu,
                   Basis basis, double* rhs, double* keep)
{
    constexpr int block = 64;
    double p[svdcolumns], blockvalues[block * svdcolumns], weight[block];
    for (int i0 = 0; i0 < nobs; i0 += block) {
        const int nr = std::min(block, nobs - i0);
        double* values = keep ? keep + static_cast<size_t>(i0) * nbasis : blockvalues;
        for (int r = 0; r < nr; ++r) {
            const int i = i0 + r;
            basis(x[i], p, nbasis);
            std::copy(p, p + nbasis, values + r * nbasis);
            weight[r] = 1.0 / sig[i];
            rhs[i] = y[i] * weight[r];
        }
        for (int j = 0; j < nbasis; ++j) {
            double* uj = u + static_cast<long>(j) * ldu + i0;
            for (int r = 0; r < nr; ++r) uj[r] = values[r * nbasis + j] * weight[r];
        }
    }
}

}  // namespace

void svdfit(const double* x, const double* y, const double* sig, int nobs, double* coef, int nbasis, double* u,
            double* v, double* sv, int ldu, int ldv, double& chi2, Basis basis, Workspace& work)
{
    if (nbasis < 0 || nbasis > svdcolumns || nobs < nbasis || nobs > ldu || nobs > Workspace::maxrows ||
        ldv < nbasis)
        refuse_sizes("svdfit", {{"nobs", nobs}, {"nbasis", nbasis}, {"ldu", ldu}, {"ldv", ldv}},
                     "nbasis <= " + std::to_string(svdcolumns) + ", nbasis <= nobs <= ldu, nobs <= " +
                         std::to_string(Workspace::maxrows) + ", nbasis <= ldv");
    double* rhs = work.rhs;
    const bool kept = room_for_basis_values(work, static_cast<size_t>(nobs) * static_cast<size_t>(nbasis));
    design_matrix(x, y, sig, nobs, nbasis, u, ldu, basis, rhs, kept ? work.basisvalues.get() : nullptr);
    svdcmp(u, nobs, nbasis, ldu, ldv, sv, v, work.svd);

    // Singular values strictly below svtol times the largest are dropped.
    double svmax = 0.0;
    for (int j = 0; j < nbasis; ++j)
        if (sv[j] > svmax) svmax = sv[j];
    const double thresh = static_cast<double>(svtol) * svmax;
    for (int j = 0; j < nbasis; ++j)
        if (sv[j] < thresh) sv[j] = 0.0;
    svbksb(u, sv, v, nobs, nbasis, ldu, ldv, rhs, coef);

    chi2 = 0.0;
    double p[svdcolumns];
    for (int i = 0; i < nobs; ++i) {
        const double* pi = p;
        if (kept)
            pi = work.basisvalues.get() + static_cast<size_t>(i) * nbasis;
        else
            basis(x[i], p, nbasis);
        double sum = 0.0;
        for (int j = 0; j < nbasis; ++j) sum += coef[j] * pi[j];
        const double d = (y[i] - sum) / sig[i];
        chi2 += d * d;
    }
}

void svbksb(const double* u, const double* sv, const double* v, int nrow, int ncol, int ldu, int ldv,
            const double* rhs, double* sol)
{
    if (ncol < 0 || ncol > svdcolumns || nrow < 0 || nrow > ldu || ldv < ncol)
        refuse_sizes("svbksb", {{"nrow", nrow}, {"ncol", ncol}, {"ldu", ldu}, {"ldv", ldv}},
                     "ncol <= " + std::to_string(svdcolumns) + ", nrow <= ldu, ncol <= ldv");
    // tmp(j) = (column j of U) . rhs / sv(j), each sum in the order
    // i = 1..nrow; four columns share one pass, their sums being independent.
    double tmp[svdcolumns];
    int kept[svdcolumns], nkept = 0;
    for (int j = 0; j < ncol; ++j) {
        tmp[j] = 0.0;
        if (sv[j] != 0.0) kept[nkept++] = j;
    }
    auto column = [&](int j) { return u + static_cast<long>(j) * ldu; };
    int q = 0;
    for (; q + 4 <= nkept; q += 4) {
        const double *u0 = column(kept[q]), *u1 = column(kept[q + 1]), *u2 = column(kept[q + 2]),
                     *u3 = column(kept[q + 3]);
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (int i = 0; i < nrow; ++i) {
            const double r = rhs[i];
            s0 += u0[i] * r;
            s1 += u1[i] * r;
            s2 += u2[i] * r;
            s3 += u3[i] * r;
        }
        tmp[kept[q]] = s0 / sv[kept[q]];
        tmp[kept[q + 1]] = s1 / sv[kept[q + 1]];
        tmp[kept[q + 2]] = s2 / sv[kept[q + 2]];
        tmp[kept[q + 3]] = s3 / sv[kept[q + 3]];
    }
    for (; q < nkept; ++q) {
        const double* uj = column(kept[q]);
        double s = 0.0;
        for (int i = 0; i < nrow; ++i) s += uj[i] * rhs[i];
        tmp[kept[q]] = s / sv[kept[q]];
    }
    for (int j = 0; j < ncol; ++j) {
        double s = 0.0;
        for (int jj = 0; jj < ncol; ++jj) s += v[static_cast<long>(jj) * ldv + j] * tmp[jj];
        sol[j] = s;
    }
}

void svdvar(const double* v, int nbasis, int ldv, const double* sv, double* cvm, int ldc)
{
    if (nbasis < 0 || nbasis > svdcolumns || ldv < nbasis || ldc < nbasis)
        refuse_sizes("svdvar", {{"nbasis", nbasis}, {"ldv", ldv}, {"ldc", ldc}},
                     "nbasis <= " + std::to_string(svdcolumns) + ", nbasis <= ldv, nbasis <= ldc");
    double wti[svdcolumns];
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
