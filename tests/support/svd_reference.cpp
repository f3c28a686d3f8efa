// Reference forms of svdcmp and svdfit: every loop in its plain order, one
// element at a time, the Givens rotations applied to whole columns at once.
#include "support/svd_reference.hpp"

#include <cmath>

#include "common/io.hpp"

namespace reference {

namespace {

double sign(double p, double q) { return q >= 0.0 ? std::fabs(p) : -std::fabs(p); }

}  // namespace

void svdcmp(double* mat, int nrow, int ncol, int ldu, int ldv, double* sv, double* v)
{
    const int m = nrow;
    const int n = ncol;
    auto A = [&](int i, int j) -> double& { return mat[static_cast<long>(j - 1) * ldu + (i - 1)]; };
    auto V = [&](int i, int j) -> double& { return v[static_cast<long>(j - 1) * ldv + (i - 1)]; };
    auto W = [&](int i) -> double& { return sv[i - 1]; };
    double rv[101];
    auto R = [&](int i) -> double& { return rv[i]; };

    double g = 0.0, scale = 0.0, norm = 0.0, s = 0.0, f = 0.0, h = 0.0;
    double c = 0.0, x = 0.0, y = 0.0, z = 0.0;
    int l = 0, nm = 0;

    for (int i = 1; i <= n; ++i) {
        l = i + 1;
        R(i) = scale * g;
        g = s = scale = 0.0;
        if (i <= m) {
            for (int k = i; k <= m; ++k) scale += std::fabs(A(k, i));
            if (scale != 0.0) {
                for (int k = i; k <= m; ++k) {
                    A(k, i) /= scale;
                    s += A(k, i) * A(k, i);
                }
                f = A(i, i);
                g = -sign(std::sqrt(s), f);
                h = f * g - s;
                A(i, i) = f - g;
                if (i != n) {
                    for (int j = l; j <= n; ++j) {
                        s = 0.0;
                        for (int k = i; k <= m; ++k) s += A(k, i) * A(k, j);
                        f = s / h;
                        for (int k = i; k <= m; ++k) A(k, j) += f * A(k, i);
                    }
                }
                for (int k = i; k <= m; ++k) A(k, i) *= scale;
            }
        }
        W(i) = scale * g;
        g = s = scale = 0.0;
        if (i <= m && i != n) {
            for (int k = l; k <= n; ++k) scale += std::fabs(A(i, k));
            if (scale != 0.0) {
                for (int k = l; k <= n; ++k) {
                    A(i, k) /= scale;
                    s += A(i, k) * A(i, k);
                }
                f = A(i, l);
                g = -sign(std::sqrt(s), f);
                h = f * g - s;
                A(i, l) = f - g;
                for (int k = l; k <= n; ++k) R(k) = A(i, k) / h;
                if (i != m) {
                    for (int j = l; j <= m; ++j) {
                        s = 0.0;
                        for (int k = l; k <= n; ++k) s += A(j, k) * A(i, k);
                        for (int k = l; k <= n; ++k) A(j, k) += s * R(k);
                    }
                }
                for (int k = l; k <= n; ++k) A(i, k) *= scale;
            }
        }
        norm = std::fmax(norm, std::fabs(W(i)) + std::fabs(R(i)));
    }

    for (int i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0) {
                for (int j = l; j <= n; ++j) V(j, i) = (A(i, j) / A(i, l)) / g;
                for (int j = l; j <= n; ++j) {
                    s = 0.0;
                    for (int k = l; k <= n; ++k) s += A(i, k) * V(k, j);
                    for (int k = l; k <= n; ++k) V(k, j) += s * V(k, i);
                }
            }
            for (int j = l; j <= n; ++j) V(i, j) = V(j, i) = 0.0;
        }
        V(i, i) = 1.0;
        g = R(i);
        l = i;
    }

    for (int i = n; i >= 1; --i) {
        l = i + 1;
        g = W(i);
        if (i < n)
            for (int j = l; j <= n; ++j) A(i, j) = 0.0;
        if (g != 0.0) {
            g = 1.0 / g;
            if (i != n) {
                for (int j = l; j <= n; ++j) {
                    s = 0.0;
                    for (int k = l; k <= m; ++k) s += A(k, i) * A(k, j);
                    f = (s / A(i, i)) * g;
                    for (int k = i; k <= m; ++k) A(k, j) += f * A(k, i);
                }
            }
            for (int j = i; j <= m; ++j) A(j, i) *= g;
        } else {
            for (int j = i; j <= m; ++j) A(j, i) = 0.0;
        }
        A(i, i) += 1.0;
    }

    for (int k = n; k >= 1; --k) {
        for (int its = 1; its <= 30; ++its) {
            bool flag = true;
            for (l = k; l >= 1; --l) {
                nm = l - 1;
                // r(1) is always 0; testing l = 1 directly also keeps a
                // not-a-number norm from reaching sv(0).
                if (l == 1 || std::fabs(R(l)) + norm == norm) {
                    flag = false;
                    break;
                }
                if (std::fabs(W(nm)) + norm == norm) break;
            }
            if (flag) {
                c = 0.0;
                s = 1.0;
                for (int i = l; i <= k; ++i) {
                    f = s * R(i);
                    if (std::fabs(f) + norm != norm) {
                        g = W(i);
                        h = std::sqrt(f * f + g * g);
                        W(i) = h;
                        h = 1.0 / h;
                        c = g * h;
                        s = -(f * h);
                        for (int j = 1; j <= m; ++j) {
                            double p = A(j, nm), q = A(j, i);
                            A(j, nm) = p * c + q * s;
                            A(j, i) = q * c - p * s;
                        }
                    }
                }
            }
            z = W(k);
            if (l == k) {
                if (z < 0.0) {
                    W(k) = -z;
                    for (int j = 1; j <= n; ++j) V(j, k) = -V(j, k);
                }
                break;
            }
            if (its == 30) common::pause("No convergence in 30 iterations");
            x = W(l);
            nm = k - 1;
            y = W(nm);
            g = R(nm);
            h = R(k);
            f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
            g = std::sqrt(f * f + 1.0);
            f = ((x - z) * (x + z) + h * ((y / (f + sign(g, f))) - h)) / x;
            c = s = 1.0;
            for (int j = l; j <= nm; ++j) {
                int i = j + 1;
                g = R(i);
                y = W(i);
                h = s * g;
                g = c * g;
                z = std::sqrt(f * f + h * h);
                R(j) = z;
                c = f / z;
                s = h / z;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y = y * c;
                for (int jj = 1; jj <= n; ++jj) {
                    double p = V(jj, j), q = V(jj, i);
                    V(jj, j) = p * c + q * s;
                    V(jj, i) = q * c - p * s;
                }
                z = std::sqrt(f * f + h * h);
                W(j) = z;
                if (z != 0.0) {
                    z = 1.0 / z;
                    c = f * z;
                    s = h * z;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                for (int jj = 1; jj <= m; ++jj) {
                    double p = A(jj, j), q = A(jj, i);
                    A(jj, j) = p * c + q * s;
                    A(jj, i) = q * c - p * s;
                }
            }
            R(l) = 0.0;
            R(k) = f;
            W(k) = x;
        }
    }
}

void svdfit(const double* x, const double* y, const double* sig, int nobs, double* coef, int nbasis, double* u,
            double* v, double* sv, int ldu, int ldv, double& chi2, cyclefit::Basis basis)
{
    static double rhs[cyclefit::maxobs];
    double p[100];
    auto U = [&](int i, int j) -> double& { return u[static_cast<long>(j - 1) * ldu + (i - 1)]; };
    for (int i = 1; i <= nobs; ++i) {
        double xi = x[i - 1];
        basis(xi, p, nbasis);
        double weight = 1.0 / sig[i - 1];
        for (int j = 1; j <= nbasis; ++j) U(i, j) = p[j - 1] * weight;
        rhs[i - 1] = y[i - 1] * weight;
    }
    svdcmp(u, nobs, nbasis, ldu, ldv, sv, v);
    double svmax = 0.0;
    for (int j = 0; j < nbasis; ++j)
        if (sv[j] > svmax) svmax = sv[j];
    double thresh = static_cast<double>(cyclefit::svtol) * svmax;
    for (int j = 0; j < nbasis; ++j)
        if (sv[j] < thresh) sv[j] = 0.0;
    cyclefit::svbksb(u, sv, v, nobs, nbasis, ldu, ldv, rhs, coef);
    chi2 = 0.0;
    for (int i = 1; i <= nobs; ++i) {
        double xi = x[i - 1];
        basis(xi, p, nbasis);
        double sum = 0.0;
        for (int j = 0; j < nbasis; ++j) sum += coef[j] * p[j];
        double d = (y[i - 1] - sum) / sig[i - 1];
        chi2 += d * d;
    }
}

}  // namespace reference
