// svdcmp: the Golub-Reinsch singular value decomposition.
//
// The method runs in four phases: Householder reduction of A to upper
// bidiagonal form (sv on the diagonal, r above it), accumulation of the
// right-hand transformations into V, accumulation of the left-hand ones into
// the storage of A (which becomes U), and diagonalisation of the bidiagonal
// form by implicitly shifted QR sweeps.
//
// With a design matrix of 75000 rows the cost lies in the passes over the
// long columns.  These arrangements make the passes fewer and cheaper
// without changing a single bit of any result, since every element still
// sees the same operations in the same order:
//   - the dot products of a Householder step with the columns to its right
//     do not depend on one another (each column is updated only after its
//     own dot product), so eight are summed in one pass, each in its own
//     accumulator and in its own order k = first..m;
//   - in the reduction, the update of a column step, the rescaling of its
//     column and the row step that follows are independent from row to
//     row: they share one pass over blocks of rows, the rows being the
//     inner, contiguous and vectorisable dimension;
//   - in the left-hand accumulation, step i-1 reads what step i leaves in
//     rows k >= i, in the order k = i..m: its dot products are summed in
//     the pass of step i, block by block, just after step i is done with
//     the block;
//   - the rotations of the QR sweeps are computed from the bidiagonal form
//     alone and never read U: their (c, s) are recorded and applied to U
//     later, block of rows by block of rows, each row taking them in order.
#include "cyclefit/svdcmp.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/io.hpp"
#include "common/wide_kernels.hpp"

namespace cyclefit {

namespace {

// sign(p, q): |p| with the sign of q, q = 0 counting as positive.
double sign(double p, double q) { return q >= 0.0 ? std::fabs(p) : -std::fabs(p); }

constexpr int rowblock = 64;  // rows of A handled together in the reduction

// The long loops are compiled twice, for the wider vectors (AVX2) where the
// processor has them and portably, and called through
// suite::avx2_or_portable; without fused multiply-adds both give the same
// bits.
#define CYCLEFIT_WIDE SUITE_KERNEL_BODY

// Four doubles of consecutive rows, operated on element by element: each
// lane does exactly what the plain loop does to its row.
typedef double v4d __attribute__((vector_size(32), aligned(8), may_alias));
constexpr int group = 16;  // rows held in registers: four vectors

// Applies the recorded rotations to rows 1..m of U, in their order.  A
// sweep is a chain of rotations (j, j+1), (j+1, j+2), ...: the column that
// one rotation hands to the next stays in registers.
CYCLEFIT_WIDE void apply_rotations(double* mat, int m, int ldu, SvdWork& work)
{
    const Rotation* pending = work.pending;
    const int npending = work.npending;
    auto col = [&](int j) { return mat + static_cast<long>(j - 1) * ldu; };
    int r0 = 0;
    for (; r0 + group <= m; r0 += group) {
        int t = 0;
        while (t < npending) {
            v4d* pa = reinterpret_cast<v4d*>(col(pending[t].a) + r0);
            v4d p0 = pa[0], p1 = pa[1], p2 = pa[2], p3 = pa[3];
            for (;;) {
                const Rotation& rt = pending[t];
                v4d* pb = reinterpret_cast<v4d*>(col(rt.b) + r0);
                const v4d q0 = pb[0], q1 = pb[1], q2 = pb[2], q3 = pb[3];
                const double c = rt.c, s = rt.s;
                pa[0] = p0 * c + q0 * s;
                pa[1] = p1 * c + q1 * s;
                pa[2] = p2 * c + q2 * s;
                pa[3] = p3 * c + q3 * s;
                p0 = q0 * c - p0 * s;
                p1 = q1 * c - p1 * s;
                p2 = q2 * c - p2 * s;
                p3 = q3 * c - p3 * s;
                pa = pb;
                ++t;
                if (t == npending || pending[t].a != rt.b) break;
            }
            pa[0] = p0;
            pa[1] = p1;
            pa[2] = p2;
            pa[3] = p3;
        }
    }
    for (; r0 < m; ++r0) {
        for (int t = 0; t < npending; ++t) {
            double* pa = col(pending[t].a) + r0;
            double* pb = col(pending[t].b) + r0;
            const double p = *pa, q = *pb, c = pending[t].c, s = pending[t].s;
            *pa = p * c + q * s;
            *pb = q * c - p * s;
        }
    }
    work.npending = 0;
}

void rotate_later(double* mat, int m, int ldu, int a, int b, double c, double s, SvdWork& work)
{
    if (work.npending == SvdWork::maxrot) suite::avx2_or_portable<apply_rotations>(mat, m, ldu, work);
    work.pending[work.npending++] = Rotation{a, b, c, s};
}

// G dot products in one pass, each in its own accumulator and its own
// order: s[q] = sum over k = from..m of A(k, i) A(k, j + q).
template <int G>
inline void dots(const double* __restrict ci, const double* const* cols, int from, int m, double* s)
{
    double acc[G];
    for (int q = 0; q < G; ++q) acc[q] = 0.0;
    for (int k = from; k <= m; ++k) {
        const double a = ci[k];
        for (int q = 0; q < G; ++q) acc[q] += a * cols[q][k];
    }
    for (int q = 0; q < G; ++q) s[q] = acc[q];
}

// The dot products of column i with the columns j = first..n to its right,
// s[j] = sum over k = from..m of A(k, i) A(k, j).  They do not depend on
// one another, so eight columns share one pass over column i.
CYCLEFIT_WIDE void column_dots(const double* mat, int ldu, int i, int first, int n, int from, int m, double* s)
{
    auto col = [&](int j) { return mat + static_cast<long>(j - 1) * ldu - 1; };  // col(j)[k] = A(k, j)
    const double* __restrict ci = col(i);
    int j = first;
    while (j <= n) {
        const int g = n - j + 1 >= 8 ? 8 : n - j + 1 >= 4 ? 4 : 1;
        const double* cols[8];
        for (int q = 0; q < g; ++q) cols[q] = col(j + q);
        if (g == 8)
            dots<8>(ci, cols, from, m, s + j);
        else if (g == 4)
            dots<4>(ci, cols, from, m, s + j);
        else
            dots<1>(ci, cols, from, m, s + j);
        j += g;
    }
}

// Rows l..m of reduction step i, a block of rows at a time and in one pass
// over the matrix: the update of the column transformation (when fcol is
// given: A(j, k) += fcol(k) A(j, i)), the rescaling of column i by cscale
// (when not 0), then the row transformation (when rv is given:
// s_j = sum over k = l..n of A(j, k) A(i, k), A(j, k) += s_j r(k)).
CYCLEFIT_WIDE void reduce_rows(double* mat, int ldu, int i, int l, int n, int m, const double* fcol, double cscale,
                               const double* rv)
{
    auto at = [&](int row, int k) { return mat + static_cast<long>(k - 1) * ldu + (row - 1); };
    double arow[svdcolumns + 1];
    if (rv)
        for (int k = l; k <= n; ++k) arow[k] = *at(i, k);
    double s[rowblock];
    for (int j0 = l; j0 <= m; j0 += rowblock) {
        const int nr = std::min(rowblock, m - j0 + 1);
        double* __restrict ci = at(j0, i);
        if (fcol) {
            for (int k = l; k <= n; ++k) {
                double* __restrict ck = at(j0, k);
                const double fk = fcol[k];
                for (int r = 0; r < nr; ++r) ck[r] += fk * ci[r];
            }
        }
        if (cscale != 0.0)
            for (int r = 0; r < nr; ++r) ci[r] *= cscale;
        if (!rv) continue;
        for (int r = 0; r < nr; ++r) s[r] = 0.0;
        for (int k = l; k <= n; ++k) {
            const double* __restrict ck = at(j0, k);
            const double aik = arow[k];
            for (int r = 0; r < nr; ++r) s[r] += ck[r] * aik;
        }
        for (int k = l; k <= n; ++k) {
            double* __restrict ck = at(j0, k);
            const double rk = rv[k];
            for (int r = 0; r < nr; ++r) ck[r] += s[r] * rk;
        }
    }
}

// Step i of the left-hand accumulation over rows k = i..m, a block of rows
// at a time, together with the dot products that step i-1 will need.
// Step i: A(k, j) += f(j) A(k, i) for j = i+1..n (when f is given), then
// column i scaled by gscale (or zeroed), then A(i, i) += 1.  Step i-1 only
// reads column i-1, which step i leaves alone, and the columns j >= i as
// step i leaves them, over the rows k >= i: each block adds its rows to
// dots(j) once step i is done with them, in the order k = i..m.
CYCLEFIT_WIDE void accumulate_left(double* mat, int ldu, int i, int n, int m, const double* f, double gscale,
                                   bool zero, int dcol, double* dots)
{
    auto at = [&](int row, int k) { return mat + static_cast<long>(k - 1) * ldu + (row - 1); };
    if (i > m) *at(i, i) += 1.0;
    for (int k0 = i; k0 <= m; k0 += rowblock) {
        const int nr = std::min(rowblock, m - k0 + 1);
        double* __restrict ci = at(k0, i);
        if (f) {
            for (int j = i + 1; j <= n; ++j) {
                double* __restrict cj = at(k0, j);
                const double fj = f[j];
                for (int r = 0; r < nr; ++r) cj[r] += fj * ci[r];
            }
        }
        if (zero)
            for (int r = 0; r < nr; ++r) ci[r] = 0.0;
        else
            for (int r = 0; r < nr; ++r) ci[r] *= gscale;
        if (k0 == i) ci[0] += 1.0;
        if (dcol == 0) continue;
        const double* __restrict cd = at(k0, dcol);
        int j = i;
        for (; j + 7 <= n; j += 8) {
            const double* cols[8];
            double acc[8];
            for (int q = 0; q < 8; ++q) {
                cols[q] = at(k0, j + q);
                acc[q] = dots[j + q];
            }
            for (int r = 0; r < nr; ++r) {
                const double a = cd[r];
                for (int q = 0; q < 8; ++q) acc[q] += a * cols[q][r];
            }
            for (int q = 0; q < 8; ++q) dots[j + q] = acc[q];
        }
        for (; j <= n; ++j) {
            const double* __restrict cj = at(k0, j);
            double acc = dots[j];
            for (int r = 0; r < nr; ++r) acc += cd[r] * cj[r];
            dots[j] = acc;
        }
    }
}

}  // namespace

void refuse_sizes(std::string_view routine, Sizes given, const std::string& capacity)
{
    std::string message(routine);
    const char* separator = ": ";
    for (const auto& [name, value] : given) {
        message += separator + std::string(name) + " " + std::to_string(value);
        separator = ", ";
    }
    common::stop(message + " beyond its capacity (" + capacity + ")");
}

void svdcmp(double* mat, int nrow, int ncol, int ldu, int ldv, double* sv, double* v, SvdWork& work)
{
    if (ncol < 0 || ncol > svdcolumns || nrow < ncol || ldu < nrow || ldv < ncol)
        refuse_sizes("svdcmp", {{"nrow", nrow}, {"ncol", ncol}, {"ldu", ldu}, {"ldv", ldv}},
                     "ncol <= " + std::to_string(svdcolumns) + ", ncol <= nrow <= ldu, ncol <= ldv");
    const int m = nrow;
    const int n = ncol;
    auto A = [&](int i, int j) -> double& { return mat[static_cast<long>(j - 1) * ldu + (i - 1)]; };
    auto V = [&](int i, int j) -> double& { return v[static_cast<long>(j - 1) * ldv + (i - 1)]; };
    auto W = [&](int i) -> double& { return sv[i - 1]; };
    double rv[svdcolumns + 1];
    auto R = [&](int i) -> double& { return rv[i]; };

    double g = 0.0, scale = 0.0, norm = 0.0, s = 0.0, f = 0.0, h = 0.0;
    double c = 0.0, x = 0.0, y = 0.0, z = 0.0;
    int l = 0, nm = 0;
    work.npending = 0;

    // Phase 1: Householder reduction to bidiagonal form.  The column step
    // only forms its dot products here; its update of rows i+1..m, the
    // rescaling of column i and the row step then share one pass.
    double dot[svdcolumns + 1], fcol[svdcolumns + 1];
    for (int i = 1; i <= n; ++i) {
        l = i + 1;
        R(i) = scale * g;
        g = s = scale = 0.0;
        bool colstep = false;
        double cscale = 0.0;
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
                    suite::avx2_or_portable<column_dots>(mat, ldu, i, l, n, i, m, dot);
                    for (int j = l; j <= n; ++j) fcol[j] = dot[j] / h;
                    colstep = true;
                    for (int j = l; j <= n; ++j) A(i, j) += fcol[j] * A(i, i);
                }
                cscale = scale;
                A(i, i) *= scale;
            }
        }
        W(i) = scale * g;
        g = s = scale = 0.0;
        bool rowstep = false;
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
                rowstep = i != m;
            }
        }
        if (colstep || cscale != 0.0 || rowstep)
            suite::avx2_or_portable<reduce_rows>(mat, ldu, i, l, n, m, colstep ? fcol : nullptr, cscale,
                                                 rowstep ? rv : nullptr);
        if (scale != 0.0)
            for (int k = l; k <= n; ++k) A(i, k) *= scale;
        norm = std::fmax(norm, std::fabs(W(i)) + std::fabs(R(i)));
    }

    // Phase 2: accumulation of the right-hand transformations.
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

    // Phase 3: accumulation of the left-hand transformations.  The dot
    // products of step i are summed during the pass of step i+1.
    double nextdot[svdcolumns + 1];
    for (int i = n; i >= 1; --i) {
        l = i + 1;
        g = W(i);
        if (i < n)
            for (int j = l; j <= n; ++j) A(i, j) = 0.0;
        const double* fleft = nullptr;
        double gscale = 0.0;
        const bool zero = g == 0.0;
        if (!zero) {
            g = 1.0 / g;
            if (i != n) {
                for (int j = l; j <= n; ++j) fcol[j] = (dot[j] / A(i, i)) * g;
                fleft = fcol;
            }
            gscale = g;
        }
        for (int j = i; j <= n; ++j) nextdot[j] = 0.0;
        suite::avx2_or_portable<accumulate_left>(mat, ldu, i, n, m, fleft, gscale, zero, i - 1, nextdot);
        for (int j = i; j <= n; ++j) dot[j] = nextdot[j];
    }

    // Phase 4: diagonalisation of the bidiagonal form, one value at a time
    // from the bottom.
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
                // sv(nm) is negligible: cancel r(l) by rotations from the left.
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
                        rotate_later(mat, m, ldu, nm, i, c, s, work);
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
            // Shift from the bottom 2 x 2 minor.
            x = W(l);
            nm = k - 1;
            y = W(nm);
            g = R(nm);
            h = R(k);
            f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
            g = std::sqrt(f * f + 1.0);
            f = ((x - z) * (x + z) + h * ((y / (f + sign(g, f))) - h)) / x;
            // The QR sweep.
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
                rotate_later(mat, m, ldu, j, i, c, s, work);
            }
            R(l) = 0.0;
            R(k) = f;
            W(k) = x;
        }
    }
    suite::avx2_or_portable<apply_rotations>(mat, m, ldu, work);
}

}  // namespace cyclefit
