// Singular value decomposition of a real m x n matrix (m >= n) in place:
// A = U diag(sv) V^T, by Householder bidiagonalisation and implicitly
// shifted QR sweeps with Givens rotations.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cyclefit {

// Columns the decomposition, and so the fit, can take: the work vectors of
// the routines (the superdiagonal of the bidiagonal form, the basis values
// at one abscissa, the back substitution's intermediate vector) hold 100
// entries.
constexpr int svdcolumns = 100;

// One Givens rotation of columns a and b of U, recorded for later: the
// columns by their offsets in the matrix, (a - 1) ldu and (b - 1) ldu.
struct Rotation {
    long a, b;
    double c, s;
};

// The scratch of svdcmp: the rotations of the QR sweeps, recorded until
// they are applied to U a block of rows at a time (a full list is applied
// at once and started afresh, so any number of sweeps fits); the bidiagonal
// form's superdiagonal and norm, handed from phase to phase; and the dot
// products of one row transformation, one per row (grown to the largest
// matrix).
struct SvdWork {
    static constexpr int maxrot = 16384;
    Rotation pending[maxrot];
    int npending = 0;
    int batch = maxrot;  // rotations recorded before they are applied (1..maxrot; the tests lower it)
    double superdiag[svdcolumns + 1];  // r(i) at [i], r(1) = 0
    double norm = 0.0;                 // the largest |sv(i)| + |r(i)| of the reduction
    std::vector<double> rowsums;       // a row transformation's dot products, one per row
};

// svdcmp: decomposes the nrow x ncol part of mat.
//   Given:    mat    the matrix, column by column, ldu rows declared
//             nrow, ncol  rows and columns used
//             ldu, ldv    declared row counts of mat and v
//             work   scratch; holds nothing between calls
//   Returned: mat    U (nrow x ncol, orthonormal columns)
//             sv     the ncol singular values, unsorted, non-negative
//             v      V (not its transpose), ldv rows declared
//   Notes: 1. Every negligibility test is relative to the largest
//             |sv(i)| + |r(i)| of the reduction; hypotenuses are formed
//             directly from the squares, without scaling.
//          2. After 30 sweeps on one value the run pauses with
//             "No convergence in 30 iterations"; on "go" the 30th sweep is
//             completed and the value is left as it stands.
//          3. The loops are arranged for speed (a few columns per pass down
//             all the rows, two passes per reduction step, U accumulated a
//             group of columns at a time, rotations of U recorded and
//             applied twenty rows at a time) while every element sees the
//             same operations in the same order, and every sum takes its
//             terms in the same order, as in the plain column-by-column
//             form: the results are bit for bit those of that form.
//          4. Capacity: 0 <= ncol <= svdcolumns, ncol <= nrow <= ldu,
//             ncol <= ldv.  Other sizes end the run before anything is
//             touched (see refuse_sizes).
void svdcmp(double* mat, int nrow, int ncol, int ldu, int ldv, double* sv, double* v, SvdWork& work);

// The phases of svdcmp, in the order it runs them (svdcmp checks the sizes
// first; these do not): public so that the benchmark can time each one.
namespace svdphase {
// Reduction to bidiagonal form: sv and work.superdiag, work.norm; mat
// keeps the Householder vectors.
void bidiagonalise(double* mat, int m, int n, int ldu, double* sv, SvdWork& work);
// V from the right-hand Householder vectors.
void accumulate_right(const double* mat, int n, int ldu, int ldv, double* v, const SvdWork& work);
// U, in the storage of mat, from the left-hand Householder vectors.
void accumulate_left(double* mat, int m, int n, int ldu, const double* sv);
// The QR sweeps on the bidiagonal form and V; the rotations of U are
// recorded in work (and applied to U whenever the record is full).
void diagonalise(double* mat, int m, int n, int ldu, int ldv, double* sv, double* v, SvdWork& work);
// Applies the recorded rotations to U.
void rotate_left(double* mat, int m, SvdWork& work);
}  // namespace svdphase

// Ends the run with a stop message when a routine of the fit is handed
// sizes beyond its capacity: a fault of the calling code, stopped before
// any array is read or written out of bounds.  The message names the
// routine, the sizes it was given and what it can take.
using Sizes = std::initializer_list<std::pair<const char*, int>>;
[[noreturn]] void refuse_sizes(std::string_view routine, Sizes given, const std::string& capacity);

}  // namespace cyclefit
