// Singular value decomposition of a real m x n matrix (m >= n) in place:
// A = U diag(sv) V^T, by Householder bidiagonalisation and implicitly
// shifted QR sweeps with Givens rotations.
#pragma once

namespace cyclefit {

// svdcmp: decomposes the nrow x ncol part of mat.
//   Given:    mat    the matrix, column by column, ldu rows declared
//             nrow, ncol  rows and columns used (nrow >= ncol, ncol <= 100)
//             ldu, ldv    declared row counts of mat and v
//   Returned: mat    U (nrow x ncol, orthonormal columns)
//             sv     the ncol singular values, unsorted, non-negative
//             v      V (not its transpose), ldv rows declared
//   Notes: 1. Every negligibility test is relative to the largest
//             |sv(i)| + |r(i)| of the reduction; hypotenuses are formed
//             directly from the squares, without scaling.
//          2. After 30 sweeps on one value the run pauses with
//             "No convergence in 30 iterations"; on "go" the 30th sweep is
//             completed and the value is left as it stands.
//          3. The loops are arranged for speed (several columns per pass,
//             rows in blocks, rotations of U deferred and applied per block
//             of rows) while every element sees the same operations in the
//             same order as in the plain column-by-column form: the results
//             are bit for bit those of that form.
void svdcmp(double* mat, int nrow, int ncol, int ldu, int ldv, double* sv, double* v);

}  // namespace cyclefit
