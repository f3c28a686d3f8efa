// svdcmp: the Golub-Reinsch singular value decomposition.
//
// The method runs in four phases: Householder reduction of A to upper
// bidiagonal form (sv on the diagonal, r above it), accumulation of the
// right-hand transformations into V, accumulation of the left-hand ones into
// the storage of A (which becomes U), and diagonalisation of the bidiagonal
// form by implicitly shifted QR sweeps.
//
// With a design matrix of 75000 rows (59 MB) the cost lies in the passes
// over the long columns: memory traffic far more than arithmetic.  These
// arrangements make the passes fewer and cheaper without changing a single
// bit of any result: every element sees the same operations in the same
// order, and every sum adds its terms in the same order.
//   - Passes run down a few columns at a time (eight), through all the rows
//     of each: a handful of long streams, which the processor fetches ahead
//     far better than blocks of rows across all the columns.
//   - Reduction step i has two sums that need all of the columns to its
//     right: the column transformation's dot products (down the columns,
//     before they change) and the row transformation's (across each row,
//     after the column transformation).  So it takes two passes: the first
//     only reads, summing the row products from the elements as the column
//     transformation would leave them; the second applies both
//     transformations and, row after row, sums the next step's column dot
//     products.  These need the next column complete and scaled first: that
//     column takes step i ahead of the others (look-ahead), at the end of
//     the first pass.
//   - The left-hand accumulation changes column j only through its own dot
//     products with the Householder vectors i < j, which are not touched
//     before their own step: each column's steps are independent of the
//     other columns'.  Eight columns (4.8 MB at 75000 rows) go through all
//     their steps together, staying in cache; within a group the dot
//     products of step i-1 are summed in the pass of step i.
//   - Dot products of several columns are summed four at a time: four rows
//     of four columns loaded as they lie and transposed, each vector lane
//     holding one column's sum in its own order.
//   - The rotations of the QR sweeps are computed from the bidiagonal form
//     alone and never read U: they are recorded and applied later, twenty
//     rows at a time held in registers, each row taking them in order.
#include "cyclefit/svdcmp.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/io.hpp"
#include "wide/wide_kernels.hpp"

namespace cyclefit {

namespace {

// sign(p, q): |p| with the sign of q, q = 0 counting as positive.
double sign(double p, double q) { return q >= 0.0 ? std::fabs(p) : -std::fabs(p); }

// The sizes below were chosen by timing the 75000 x 99 fit: with sixteen
// columns per pass, or blocks of 128 rows, the passes were markedly slower.
constexpr int rowblock = 64;    // rows a pass handles together before its dot products
constexpr int rowsumgroup = 8;  // columns per pass of the row sums
constexpr int updategroup = 8;  // columns per pass of the update
constexpr int leftgroup = 8;    // columns of U accumulated together

// The long loops are compiled twice, for the wider vectors (AVX2) where the
// processor has them and portably, and called through
// suite::avx2_or_portable; without fused multiply-adds both give the same
// bits.
#define CYCLEFIT_WIDE SUITE_KERNEL_BODY

// Four doubles of consecutive rows, operated on element by element: each
// lane does exactly what the plain loop does to its row.
typedef double v4d __attribute__((vector_size(32), aligned(8), may_alias));
constexpr int rotvectors = 5;  // vectors of rows held in registers by the rotations

// Applies the recorded rotations to 4 V rows of U from row r0 + 1, in their
// order.  A sweep is a chain of rotations (j, j+1), (j+1, j+2), ...: the
// column that one rotation hands to the next stays in registers.
template <int V>
SUITE_KERNEL_BODY void rotate_rows(double* mat, int r0, const Rotation* pending, int npending)
{
    auto col = [&](long offset) { return mat + offset + r0; };
    int t = 0;
    while (t < npending) {
        v4d* pa = reinterpret_cast<v4d*>(col(pending[t].a));
        v4d p[V];
        for (int v = 0; v < V; ++v) p[v] = pa[v];
        for (;;) {
            const Rotation& rt = pending[t];
            v4d* pb = reinterpret_cast<v4d*>(col(rt.b));
            v4d q[V];
            for (int v = 0; v < V; ++v) q[v] = pb[v];
            const double c = rt.c, s = rt.s;
            for (int v = 0; v < V; ++v) pa[v] = p[v] * c + q[v] * s;
            for (int v = 0; v < V; ++v) p[v] = q[v] * c - p[v] * s;
            pa = pb;
            ++t;
            if (t == npending || pending[t].a != rt.b) break;
        }
        for (int v = 0; v < V; ++v) pa[v] = p[v];
    }
}

// Applies the recorded rotations to rows 1..m of U, in their order, and
// empties the record.
CYCLEFIT_WIDE void apply_rotations(double* mat, int m, SvdWork& work)
{
    const Rotation* pending = work.pending;
    const int npending = work.npending;
    int r0 = 0;
    for (; r0 + 4 * rotvectors <= m; r0 += 4 * rotvectors) rotate_rows<rotvectors>(mat, r0, pending, npending);
    for (; r0 < m; ++r0) {
        for (int t = 0; t < npending; ++t) {
            double* pa = mat + pending[t].a + r0;
            double* pb = mat + pending[t].b + r0;
            const double p = *pa, q = *pb, c = pending[t].c, s = pending[t].s;
            *pa = p * c + q * s;
            *pb = q * c - p * s;
        }
    }
    work.npending = 0;
}

void rotate_later(double* mat, int m, int ldu, int a, int b, double c, double s, SvdWork& work)
{
    if (work.npending >= std::min(work.batch, SvdWork::maxrot))
        suite::avx2_or_portable<apply_rotations>(mat, m, work);
    work.pending[work.npending++] = Rotation{static_cast<long>(a - 1) * ldu, static_cast<long>(b - 1) * ldu, c, s};
}

// Dot products of four columns at once: the lanes of acc hold four running
// sums, each taking the products a[r] * c_q[r] in its own order r = 0, 1,
// ...  Four rows of the four columns are loaded as they lie (a column's
// rows are contiguous) and transposed so that each lane sees its column.
SUITE_KERNEL_BODY void add_four_rows(v4d& acc, const double* a, const double* const* c, int r)
{
    const v4d x0 = *reinterpret_cast<const v4d*>(c[0] + r), x1 = *reinterpret_cast<const v4d*>(c[1] + r);
    const v4d x2 = *reinterpret_cast<const v4d*>(c[2] + r), x3 = *reinterpret_cast<const v4d*>(c[3] + r);
    const v4d even01 = __builtin_shufflevector(x0, x1, 0, 4, 2, 6);
    const v4d odd01 = __builtin_shufflevector(x0, x1, 1, 5, 3, 7);
    const v4d even23 = __builtin_shufflevector(x2, x3, 0, 4, 2, 6);
    const v4d odd23 = __builtin_shufflevector(x2, x3, 1, 5, 3, 7);
    a += r;
    acc += a[0] * __builtin_shufflevector(even01, even23, 0, 1, 4, 5);
    acc += a[1] * __builtin_shufflevector(odd01, odd23, 0, 1, 4, 5);
    acc += a[2] * __builtin_shufflevector(even01, even23, 2, 3, 6, 7);
    acc += a[3] * __builtin_shufflevector(odd01, odd23, 2, 3, 6, 7);
}

// dots[q] += sum over r = 0..nr-1 of a[r] cols[q][r] for 4 NG columns,
// each sum in its own order r = 0, 1, ...: NG independent chains.
template <int NG>
SUITE_KERNEL_BODY void dots_of_columns(const double* a, const double* const* cols, int nr, double* dots)
{
    v4d acc[NG];
    for (int g = 0; g < NG; ++g) acc[g] = *reinterpret_cast<const v4d*>(dots + 4 * g);
    int r = 0;
    for (; r + 4 <= nr; r += 4)
        for (int g = 0; g < NG; ++g) add_four_rows(acc[g], a, cols + 4 * g, r);
    for (; r < nr; ++r)
        for (int g = 0; g < NG; ++g) {
            const double* const* c = cols + 4 * g;
            acc[g] += a[r] * v4d{c[0][r], c[1][r], c[2][r], c[3][r]};
        }
    for (int g = 0; g < NG; ++g) *reinterpret_cast<v4d*>(dots + 4 * g) = acc[g];
}

// dots[q] += sum over r = 0..nr-1 of a[r] cols[q][r], q = 0..nc-1, each
// in its own order.
SUITE_KERNEL_BODY void block_dots(const double* a, const double* const* cols, int nc, int nr, double* dots)
{
    int q = 0;
    for (; q + 16 <= nc; q += 16) dots_of_columns<4>(a, cols + q, nr, dots + q);
    if (q + 8 <= nc) {
        dots_of_columns<2>(a, cols + q, nr, dots + q);
        q += 8;
    }
    if (q + 4 <= nc) {
        dots_of_columns<1>(a, cols + q, nr, dots + q);
        q += 4;
    }
    for (; q < nc; ++q) {
        double acc = dots[q];
        for (int r = 0; r < nr; ++r) acc += a[r] * cols[q][r];
        dots[q] = acc;
    }
}

// The dot products of column i with the columns j = first..n to its right,
// dots[j] = sum over k = from..m of A(k, i) A(k, j), eight columns at a
// time down all the rows.
CYCLEFIT_WIDE void column_dots(const double* mat, int ldu, int i, int first, int n, int from, int m, double* dots)
{
    auto at = [&](int row, int k) { return mat + static_cast<long>(k - 1) * ldu + (row - 1); };
    for (int j = first; j <= n; ++j) dots[j] = 0.0;
    for (int j0 = first; j0 <= n; j0 += updategroup) {
        const int g = std::min(updategroup, n - j0 + 1);
        for (int k0 = from; k0 <= m; k0 += rowblock) {
            const int nr = std::min(rowblock, m - k0 + 1);
            const double* cols[updategroup];
            for (int q = 0; q < g; ++q) cols[q] = at(k0, j0 + q);
            block_dots(at(k0, i), cols, g, nr, dots + j0);
        }
    }
}

// One pass of the left-hand accumulation over rows k = i..m of the
// columns lo..hi, a block of rows at a time.  Step i: A(k, j) += f(j)
// A(k, i) for j = max(i+1, lo)..hi (when f is given); when column i is
// one of lo..hi, its own step: scaled by gscale (or zeroed), then
// A(i, i) += 1.  Then, once step i is done with the block, its rows are
// added to the dot products of step i-1 (column i-1 with the columns
// j = max(i, lo)..hi), which run over the rows k >= i in the order k = i..m.
CYCLEFIT_WIDE void accumulate_left_pass(double* mat, int ldu, int i, int m, int lo, int hi, const double* f,
                                        bool own, double gscale, bool zero, double* dots)
{
    auto at = [&](int row, int k) { return mat + static_cast<long>(k - 1) * ldu + (row - 1); };
    const int first = std::max(i + 1, lo), dfirst = std::max(i, lo);
    for (int k0 = i; k0 <= m; k0 += rowblock) {
        const int nr = std::min(rowblock, m - k0 + 1);
        double* __restrict ci = at(k0, i);
        if (f) {
            for (int j = first; j <= hi; ++j) {
                double* __restrict cj = at(k0, j);
                const double fj = f[j];
                for (int r = 0; r < nr; ++r) cj[r] += fj * ci[r];
            }
        }
        if (own) {
            if (zero)
                for (int r = 0; r < nr; ++r) ci[r] = 0.0;
            else
                for (int r = 0; r < nr; ++r) ci[r] *= gscale;
            if (k0 == i) ci[0] += 1.0;
        }
        if (i == 1) continue;
        const double* cols[svdcolumns];
        for (int j = dfirst; j <= hi; ++j) cols[j - dfirst] = at(k0, j);
        block_dots(at(k0, i - 1), cols, hi - dfirst + 1, nr, dots + dfirst);
    }
}

SUITE_KERNEL_BODY v4d& vec(double* p) { return *reinterpret_cast<v4d*>(p); }
SUITE_KERNEL_BODY const v4d& vec(const double* p) { return *reinterpret_cast<const v4d*>(p); }

// The look-ahead of one column, fused into the last stream of the row sums:
// the column l takes the rest of step i, A(k, l) = A'(k, l) + e(k) R(l),
// as soon as e(k) is complete, and scale gathers |A(k, l)| in the order
// k = l..m for the next column step.
struct LookAhead {
    double* col;  // column l, rows l..m
    double f, r;  // fcol(l) and R(l)
    double scale;
};

// e[r] += sum over q = 0..G-1 of x_q[r] a[q], in the order q = 0..G-1, for
// every row r, where x_q[r] = cols[q][r] + f[q] u[r] when Col is set (the
// element as a column transformation leaves it) and cols[q][r] otherwise.
// The sums start from 0.0 when first is set.  With Ahead, these are the
// last columns and the look-ahead follows.
template <int G, bool Col, bool Ahead>
SUITE_KERNEL_BODY void add_row_sums(const double* const* cols, const double* u, const double* f, const double* a,
                                    int nr, bool first, double* e, LookAhead& ahead)
{
    double scale = ahead.scale;
    int r = 0;
    for (; r + 4 <= nr; r += 4) {
        v4d acc{};
        if (!first) acc = vec(e + r);
        v4d ur{};
        if (Col) ur = vec(u + r);
        for (int q = 0; q < G; ++q) {
            v4d x = vec(cols[q] + r);
            if (Col) x += f[q] * ur;
            acc += x * a[q];
        }
        vec(e + r) = acc;
        if (Ahead) {
            v4d x = vec(ahead.col + r);
            if (Col) x += ahead.f * ur;
            x += acc * ahead.r;
            vec(ahead.col + r) = x;
            for (int q = 0; q < 4; ++q) scale += std::fabs(x[q]);
        }
    }
    for (; r < nr; ++r) {
        double acc = first ? 0.0 : e[r];
        for (int q = 0; q < G; ++q) {
            double x = cols[q][r];
            if (Col) x += f[q] * u[r];
            acc += x * a[q];
        }
        e[r] = acc;
        if (Ahead) {
            double x = ahead.col[r];
            if (Col) x += ahead.f * u[r];
            x += acc * ahead.r;
            ahead.col[r] = x;
            scale += std::fabs(x);
        }
    }
    ahead.scale = scale;
}

// The first pass of reduction step i over the rows k = l..m (l = i+1),
// which only reads A: the dot products of the row transformation,
// e(k) = sum over j = l..n of A'(k, j) a(j) in the order j = l..n, where
// A'(k, j) = A(k, j) + fcol(j) A(k, i) is the element as the column
// transformation leaves it (A(k, j) itself when fcol is null) and a the
// transformation's row.  e(k) goes to e[k - l].  The columns are taken a
// few at a time down all the rows: long streams that the processor fetches
// well ahead, where blocks of rows across all the columns are not.  The
// last few columns come with the look-ahead of column l.
CYCLEFIT_WIDE void row_sums(double* mat, int ldu, int i, int l, int n, int m, const double* fcol,
                            const double* arow, const double* rv, double* e, LookAhead& ahead)
{
    auto at = [&](int row, int k) { return mat + static_cast<long>(k - 1) * ldu + (row - 1); };
    const int nr = m - l + 1;
    const double* u = at(l, i);
    const double zero[rowsumgroup] = {};
    ahead = LookAhead{at(l, l), fcol ? fcol[l] : 0.0, rv[l], 0.0};
    // Single columns first, so that the last stream is a full one.
    int j0 = l;
    const int singles = (n - l + 1) % rowsumgroup;
    for (; j0 < l + singles; ++j0) {
        const double* cols[1] = {at(l, j0)};
        const double* f = fcol ? fcol + j0 : zero;
        const bool last = j0 == n;
        if (fcol && last)
            add_row_sums<1, true, true>(cols, u, f, arow + j0, nr, j0 == l, e, ahead);
        else if (fcol)
            add_row_sums<1, true, false>(cols, u, f, arow + j0, nr, j0 == l, e, ahead);
        else if (last)
            add_row_sums<1, false, true>(cols, u, f, arow + j0, nr, j0 == l, e, ahead);
        else
            add_row_sums<1, false, false>(cols, u, f, arow + j0, nr, j0 == l, e, ahead);
    }
    for (; j0 <= n; j0 += rowsumgroup) {
        const double* cols[rowsumgroup];
        for (int q = 0; q < rowsumgroup; ++q) cols[q] = at(l, j0 + q);
        const double* f = fcol ? fcol + j0 : zero;
        const bool last = j0 + rowsumgroup > n;
        if (fcol && last)
            add_row_sums<rowsumgroup, true, true>(cols, u, f, arow + j0, nr, j0 == l, e, ahead);
        else if (fcol)
            add_row_sums<rowsumgroup, true, false>(cols, u, f, arow + j0, nr, j0 == l, e, ahead);
        else if (last)
            add_row_sums<rowsumgroup, false, true>(cols, u, f, arow + j0, nr, j0 == l, e, ahead);
        else
            add_row_sums<rowsumgroup, false, false>(cols, u, f, arow + j0, nr, j0 == l, e, ahead);
    }
}

// The second pass of reduction step i over the rows k = l..m: the columns
// j = l+1..n take the rest of the step, A(k, j) += fcol(j) A(k, i) (when
// fcol is given) and then A(k, j) += e(k) R(j) (when e is given, e(k) at
// e[k - l]).  When next is set, the rows of each block, once done, are
// added to the dot products of the next column step, dots(j) = sum over
// k = l..m of A(k, l) A(k, j) in the order k = l..m.  A few columns at a
// time down all the rows, as in the first pass.
CYCLEFIT_WIDE void update_and_dots(double* mat, int ldu, int i, int l, int n, int m, const double* fcol,
                                   const double* e, const double* rv, bool next, double* dots)
{
    auto at = [&](int row, int k) { return mat + static_cast<long>(k - 1) * ldu + (row - 1); };
    if (next)
        for (int j = l + 1; j <= n; ++j) dots[j] = 0.0;
    for (int j0 = l + 1; j0 <= n; j0 += updategroup) {
        const int g = std::min(updategroup, n - j0 + 1);
        for (int k0 = l; k0 <= m; k0 += rowblock) {
            const int nr = std::min(rowblock, m - k0 + 1);
            const double* __restrict u = at(k0, i);
            const double* __restrict ek = e ? e + (k0 - l) : nullptr;
            double* cols[updategroup];
            for (int q = 0; q < g; ++q) {
                double* __restrict c = at(k0, j0 + q);
                cols[q] = c;
                if (fcol && e) {
                    const double f = fcol[j0 + q], rj = rv[j0 + q];
                    for (int r = 0; r < nr; ++r) {
                        const double x = c[r] + f * u[r];
                        c[r] = x + ek[r] * rj;
                    }
                } else if (fcol) {
                    const double f = fcol[j0 + q];
                    for (int r = 0; r < nr; ++r) c[r] += f * u[r];
                } else if (e) {
                    const double rj = rv[j0 + q];
                    for (int r = 0; r < nr; ++r) c[r] += ek[r] * rj;
                }
            }
            if (next) block_dots(at(k0, l), cols, g, nr, dots + j0);
        }
    }
}

// The first half of column step i on column i (rows i..m at c[0..nr-1],
// as the previous step left them, scale the sum of their magnitudes):
// the column divided by scale and the Householder vector formed in it.
struct ColumnStep {
    double scale = 0.0, g = 0.0, h = 0.0;
};

ColumnStep column_step(double* c, int nr, double scale)
{
    ColumnStep step;
    step.scale = scale;
    if (scale == 0.0) return step;
    double s = 0.0;
    for (int r = 0; r < nr; ++r) {
        c[r] /= scale;
        s += c[r] * c[r];
    }
    const double f = c[0];
    step.g = -sign(std::sqrt(s), f);
    step.h = f * step.g - s;
    c[0] = f - step.g;
    return step;
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

namespace svdphase {

// Phase 1: Householder reduction to bidiagonal form.  Step i takes two
// passes over the columns to its right, both down all the rows:
//   1. (read only) the row transformation's dot products e(k), from the
//      elements as the column transformation leaves them;
//   2. the column and row transformations applied, A(k, j) += fcol(j)
//      A(k, i), then A(k, j) += e(k) R(j); and in the same pass, row after
//      row, the dot products of the next column step.
// The next column step needs its column complete and scaled before its dot
// products can start: so that column alone takes step i first (look-ahead),
// and the first half of the next column step is done before the second pass.
void bidiagonalise(double* mat, int m, int n, int ldu, double* sv, SvdWork& work)
{
    auto A = [&](int i, int j) -> double& { return mat[static_cast<long>(j - 1) * ldu + (i - 1)]; };
    auto W = [&](int i) -> double& { return sv[i - 1]; };
    double* rv = work.superdiag;
    auto R = [&](int i) -> double& { return rv[i]; };
    work.norm = 0.0;
    if (n == 0) return;
    if (work.rowsums.size() < static_cast<size_t>(m)) work.rowsums.resize(static_cast<size_t>(m));
    double* e = work.rowsums.data();
    double norm = 0.0, rscale = 0.0, rg = 0.0;
    double dot[svdcolumns + 1], fcol[svdcolumns + 1], arow[svdcolumns + 1];
    bool havedots = false;
    double scale = 0.0;
    for (int k = 1; k <= m; ++k) scale += std::fabs(A(k, 1));
    ColumnStep col = column_step(&A(1, 1), m, scale);
    for (int i = 1; i <= n; ++i) {
        const int l = i + 1;
        R(i) = rscale * rg;
        // The column step: its transformation of row i here, of the rows
        // below in the passes.
        const bool colstep = col.scale != 0.0 && i != n;
        if (colstep) {
            if (!havedots) suite::avx2_or_portable<column_dots>(mat, ldu, i, l, n, i, m, dot);
            for (int j = l; j <= n; ++j) fcol[j] = dot[j] / col.h;
            for (int j = l; j <= n; ++j) A(i, j) += fcol[j] * A(i, i);
        }
        const double cscale = col.scale;
        if (cscale != 0.0) A(i, i) *= cscale;
        W(i) = col.scale * col.g;
        // The row step.
        rscale = rg = 0.0;
        bool rowstep = false;
        if (i != n) {
            for (int k = l; k <= n; ++k) rscale += std::fabs(A(i, k));
            if (rscale != 0.0) {
                double s = 0.0;
                for (int k = l; k <= n; ++k) {
                    A(i, k) /= rscale;
                    s += A(i, k) * A(i, k);
                }
                const double f = A(i, l);
                rg = -sign(std::sqrt(s), f);
                const double h = f * rg - s;
                A(i, l) = f - rg;
                for (int k = l; k <= n; ++k) R(k) = A(i, k) / h;
                rowstep = i != m;
            }
        }
        // Look-ahead: column l takes all of step i (in the first pass
        // when there is one), then the first half of its own column step.
        scale = 0.0;
        if (rowstep) {
            for (int k = l; k <= n; ++k) arow[k] = A(i, k);
            LookAhead ahead;
            suite::avx2_or_portable<row_sums>(mat, ldu, i, l, n, m, colstep ? fcol : nullptr, arow, rv, e, ahead);
            scale = ahead.scale;
        } else if (l <= n) {
            for (int k = l; k <= m; ++k) {
                if (colstep) A(k, l) += fcol[l] * A(k, i);
                scale += std::fabs(A(k, l));
            }
        }
        havedots = false;
        if (l <= n) {
            col = column_step(&A(l, l), m - l + 1, scale);
            const bool nextdots = col.scale != 0.0 && l != n;
            if (colstep || rowstep || nextdots)
                suite::avx2_or_portable<update_and_dots>(mat, ldu, i, l, n, m, colstep ? fcol : nullptr,
                                                         rowstep ? e : nullptr, rv, nextdots, dot);
            havedots = nextdots;
        }
        if (cscale != 0.0)
            for (int k = l; k <= m; ++k) A(k, i) *= cscale;
        if (rscale != 0.0)
            for (int k = l; k <= n; ++k) A(i, k) *= rscale;
        norm = std::fmax(norm, std::fabs(W(i)) + std::fabs(R(i)));
    }
    work.norm = norm;
}

// Phase 2: accumulation of the right-hand transformations into V.
void accumulate_right(const double* mat, int n, int ldu, int ldv, double* v, const SvdWork& work)
{
    auto A = [&](int i, int j) { return mat[static_cast<long>(j - 1) * ldu + (i - 1)]; };
    auto V = [&](int i, int j) -> double& { return v[static_cast<long>(j - 1) * ldv + (i - 1)]; };
    const double* rv = work.superdiag;
    double g = 0.0;
    int l = 0;
    for (int i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0) {
                for (int j = l; j <= n; ++j) V(j, i) = (A(i, j) / A(i, l)) / g;
                for (int j = l; j <= n; ++j) {
                    double s = 0.0;
                    for (int k = l; k <= n; ++k) s += A(i, k) * V(k, j);
                    for (int k = l; k <= n; ++k) V(k, j) += s * V(k, i);
                }
            }
            for (int j = l; j <= n; ++j) V(i, j) = V(j, i) = 0.0;
        }
        V(i, i) = 1.0;
        g = rv[i];
        l = i;
    }
}

// Phase 3: accumulation of the left-hand transformations into the storage
// of A, which becomes U.  Step i (i = n..1) changes the columns j > i only
// through their own dot products with column i, and column i is not
// touched before its own step: so each column's sequence of steps is
// independent of the other columns', and a group of columns can go through
// all its steps while it stays in cache, the groups taken from the right.
// Within a group, the dot products of step i-1 are summed during the pass
// of step i.
void accumulate_left(double* mat, int m, int n, int ldu, const double* sv)
{
    auto A = [&](int i, int j) -> double& { return mat[static_cast<long>(j - 1) * ldu + (i - 1)]; };
    double dot[svdcolumns + 1], fcol[svdcolumns + 1];
    for (int hi = n; hi >= 1; hi -= leftgroup) {
        const int lo = std::max(1, hi - leftgroup + 1);
        for (int i = hi; i >= 1; --i) {
            const int first = std::max(i + 1, lo);
            for (int j = first; j <= hi; ++j) A(i, j) = 0.0;
            const double w = sv[i - 1];
            const bool zero = w == 0.0;
            const double g = zero ? 0.0 : 1.0 / w;
            const double* f = nullptr;
            if (!zero && first <= hi) {
                for (int j = first; j <= hi; ++j) fcol[j] = (dot[j] / A(i, i)) * g;
                f = fcol;
            }
            for (int j = std::max(i, lo); j <= hi; ++j) dot[j] = 0.0;
            suite::avx2_or_portable<accumulate_left_pass>(mat, ldu, i, m, lo, hi, f, i >= lo, g, zero, dot);
        }
    }
}

// Phase 4: diagonalisation of the bidiagonal form, one value at a time
// from the bottom.  The rotations of U are recorded for rotate_left.
void diagonalise(double* mat, int m, int n, int ldu, int ldv, double* sv, double* v, SvdWork& work)
{
    auto V = [&](int i, int j) -> double& { return v[static_cast<long>(j - 1) * ldv + (i - 1)]; };
    auto W = [&](int i) -> double& { return sv[i - 1]; };
    double* rv = work.superdiag;
    auto R = [&](int i) -> double& { return rv[i]; };
    const double norm = work.norm;
    double g = 0.0, s = 0.0, f = 0.0, h = 0.0, c = 0.0, x = 0.0, y = 0.0, z = 0.0;
    int l = 0, nm = 0;
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
}

void rotate_left(double* mat, int m, SvdWork& work)
{
    suite::avx2_or_portable<apply_rotations>(mat, m, work);
}

}  // namespace svdphase

void svdcmp(double* mat, int nrow, int ncol, int ldu, int ldv, double* sv, double* v, SvdWork& work)
{
    if (ncol < 0 || ncol > svdcolumns || nrow < ncol || ldu < nrow || ldv < ncol)
        refuse_sizes("svdcmp", {{"nrow", nrow}, {"ncol", ncol}, {"ldu", ldu}, {"ldv", ldv}},
                     "ncol <= " + std::to_string(svdcolumns) + ", ncol <= nrow <= ldu, ncol <= ldv");
    work.npending = 0;
    svdphase::bidiagonalise(mat, nrow, ncol, ldu, sv, work);
    svdphase::accumulate_right(mat, ncol, ldu, ldv, v, work);
    svdphase::accumulate_left(mat, nrow, ncol, ldu, sv);
    svdphase::diagonalise(mat, nrow, ncol, ldu, ldv, sv, v, work);
    svdphase::rotate_left(mat, nrow, work);
}

}  // namespace cyclefit
