// The decomposition and the fit: the program's forms against the plain
// reference forms bit for bit, and the properties the method guarantees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/io.hpp"
#include "cyclefit/svdcmp.hpp"
#include "cyclefit/svdfit.hpp"
#include "support/kernel_forms.hpp"
#include "support/svd_reference.hpp"

using namespace cyclefit;

namespace {

// The scratch of the program's forms, one for every test as the program
// has one for its run.
Workspace work;

bool same_bits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

enum class Shape {
    random,
    rank_deficient,
    zero_column,
    zero_middle,
    scaled_columns,
    zero_last,       // the last column step is skipped
    zero_pair,       // two neighbouring column steps skipped, left in turn by the accumulation of U
    block_diagonal,  // the first column and the rest share no row: row step 1 meets a zero row
};

// An m x n matrix in an ldu-row array (the rows beyond m hold garbage that
// must not be touched).
std::vector<double> make_matrix(std::mt19937_64& gen, int m, int n, int ldu, Shape shape)
{
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    std::vector<double> a(static_cast<size_t>(ldu) * n);
    for (auto& e : a) e = uni(gen);
    auto A = [&](int i, int j) -> double& { return a[static_cast<size_t>(j) * ldu + i]; };
    if (shape == Shape::rank_deficient && n >= 3) {
        for (int i = 0; i < m; ++i) A(i, n - 1) = 0.5 * A(i, 0) - 2.0 * A(i, 1);
    } else if (shape == Shape::zero_column && n >= 2) {
        for (int i = 0; i < m; ++i) A(i, 0) = 0.0;  // the first Householder step is skipped
    } else if (shape == Shape::zero_middle) {
        for (int i = 0; i < m; ++i) A(i, n / 2) = 0.0;
    } else if (shape == Shape::scaled_columns) {
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) A(i, j) *= std::pow(10.0, j % 7 - 3);
    } else if (shape == Shape::zero_last) {
        for (int i = 0; i < m; ++i) A(i, n - 1) = 0.0;
    } else if (shape == Shape::zero_pair && n >= 3) {
        for (int i = 0; i < m; ++i) A(i, n / 2 - 1) = A(i, n / 2) = 0.0;
    } else if (shape == Shape::block_diagonal && n >= 2) {
        const int top = std::max(1, m - n + 1);  // rows of the first column; the others get the rest
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < n; ++j)
                if ((j == 0) != (i < top)) A(i, j) = 0.0;
    }
    return a;
}

struct Case {
    int m, n;
};

// The bitwise comparisons, on the portable and the wide forms of the loops.
class SvdcmpForms : public kernel_forms::BothForms {};
class SvdfitForms : public kernel_forms::BothForms {};
KERNEL_FORMS_BOTH(SvdcmpForms);
KERNEL_FORMS_BOTH(SvdfitForms);

}  // namespace

// The sizes cross the blockings of the passes: rows by fours, by twenty
// (the rotations) and by 64 (the blocks of a pass), with remainders;
// columns by fours, eights and sixteens (the streams of the reduction, the
// groups of the accumulation of U, the dot products), one column, square
// matrices, and up to the full 100 columns.
TEST_P(SvdcmpForms, MatchesReferenceBitForBitOnManyMatrices)
{
    std::mt19937_64 gen(2024);
    const Case sizes[] = {{1, 1},   {2, 1},   {3, 1},    {65, 1},   {2, 2},   {5, 5},    {7, 3},    {21, 21},
                          {40, 40}, {63, 9},  {64, 17},  {65, 12},  {67, 8},  {83, 15},  {130, 31}, {150, 16},
                          {200, 7}, {129, 24}, {131, 25}, {149, 33}, {129, 99}, {100, 100}, {203, 100}};
    const Shape shapes[] = {Shape::random,         Shape::rank_deficient, Shape::zero_column,
                            Shape::zero_middle,    Shape::scaled_columns, Shape::zero_last,
                            Shape::zero_pair,      Shape::block_diagonal};
    int tried = 0;
    for (const Case& c : sizes) {
        for (Shape shape : shapes) {
            for (int rep = 0; rep < 2; ++rep) {
                const int ldu = c.m + 3 * rep;  // declared rows beyond the used ones
                const int ldv = c.n + rep;
                std::vector<double> a = make_matrix(gen, c.m, c.n, ldu, shape);
                std::vector<double> b = a;
                std::vector<double> sva(c.n), svb(c.n), va(static_cast<size_t>(ldv) * c.n, 7.0), vb = va;
                svdcmp(a.data(), c.m, c.n, ldu, ldv, sva.data(), va.data(), work.svd);
                reference::svdcmp(b.data(), c.m, c.n, ldu, ldv, svb.data(), vb.data());
                ASSERT_TRUE(same_bits(sva, svb)) << c.m << " x " << c.n << " shape " << int(shape);
                ASSERT_TRUE(same_bits(va, vb)) << c.m << " x " << c.n << " shape " << int(shape);
                ASSERT_TRUE(same_bits(a, b)) << c.m << " x " << c.n << " shape " << int(shape);
                ++tried;
            }
        }
    }
    EXPECT_EQ(tried, 23 * 8 * 2);
}

TEST(Svdcmp, ReconstructsTheMatrix)
{
    std::mt19937_64 gen(5);
    const int m = 50, n = 8;
    std::vector<double> a = make_matrix(gen, m, n, m, Shape::random), orig = a;
    std::vector<double> sv(n), v(n * n);
    svdcmp(a.data(), m, n, m, n, sv.data(), v.data(), work.svd);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
            double s = 0.0;
            for (int k = 0; k < n; ++k) s += a[k * m + i] * sv[k] * v[k * n + j];
            EXPECT_NEAR(s, orig[j * m + i], 1e-13);
        }
    for (double s : sv) EXPECT_GE(s, 0.0);
}

// A diagonal matrix: no rotation at all; the signs come from the Householder
// steps alone (U gets -e_i, V gets -e_i for a positive entry, e_i for a
// negative one, e_i for a zero entry).
TEST(Svdcmp, DiagonalMatrixKeepsOrderAndExactSigns)
{
    const int n = 4;
    const double d[n] = {3.0, -2.0, 0.0, 0.5};
    std::vector<double> a(n * n, 0.0), sv(n), v(n * n);
    for (int i = 0; i < n; ++i) a[i * n + i] = d[i];
    svdcmp(a.data(), n, n, n, n, sv.data(), v.data(), work.svd);
    const double usign[n] = {-1.0, -1.0, 1.0, -1.0};
    const double vsign[n] = {-1.0, 1.0, 1.0, -1.0};
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(sv[i], std::fabs(d[i]));
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(a[i * n + k], k == i ? usign[i] : 0.0) << "U(" << k << "," << i << ")";
            EXPECT_EQ(v[i * n + k], k == i ? vsign[i] : 0.0) << "V(" << k << "," << i << ")";
        }
    }
}

TEST(Svdcmp, OneByOne)
{
    for (double alpha : {2.5, -2.5}) {
        double a = alpha, sv = 0.0, v = 0.0;
        svdcmp(&a, 1, 1, 1, 1, &sv, &v, work.svd);
        EXPECT_EQ(a, -1.0);
        EXPECT_EQ(sv, 2.5);
        EXPECT_EQ(v, alpha > 0 ? -1.0 : 1.0);
    }
}

TEST(Svdcmp, ZeroColumnGivesExactZeroAndRankDeficiencyGivesRoundoff)
{
    std::mt19937_64 gen(11);
    const int m = 30, n = 6;
    std::vector<double> a = make_matrix(gen, m, n, m, Shape::zero_column), sv(n), v(n * n);
    svdcmp(a.data(), m, n, m, n, sv.data(), v.data(), work.svd);
    int zeros = 0;
    for (double s : sv) zeros += s == 0.0;
    EXPECT_EQ(zeros, 1);

    std::vector<double> b = make_matrix(gen, m, n, m, Shape::rank_deficient);
    svdcmp(b.data(), m, n, m, n, sv.data(), v.data(), work.svd);
    double smax = 0.0, smin = 1e300;
    for (double s : sv) smax = std::max(smax, s), smin = std::min(smin, s);
    EXPECT_LT(smin, 1e-13 * smax);
    EXPECT_GT(smin, -1.0);
}

namespace {

// A basis of two functions that makes the design matrix diagonal: row 1 is
// (1, 0) and row 2 is (0, d).
double diagonal_entry = 0.0;
void diagonal_basis(double xi, double* p, int)
{
    p[0] = xi == 1.0 ? 1.0 : 0.0;
    p[1] = xi == 2.0 ? diagonal_entry : 0.0;
}

// Two identical columns besides the constant.
void twin_basis(double xi, double* p, int)
{
    p[0] = 1.0;
    p[1] = xi;
    p[2] = xi;
}

}  // namespace

// A singular value equal to svtol times the largest stays; one just below
// it is dropped.
TEST(Svdfit, ThresholdIsStrict)
{
    const double x[2] = {1.0, 2.0}, y[2] = {3.0, 4.0}, sig[2] = {1.0, 1.0};
    double u[4], v[4], sv[2], coef[2], chi2 = 0.0;
    diagonal_entry = static_cast<double>(svtol);
    svdfit(x, y, sig, 2, coef, 2, u, v, sv, 2, 2, chi2, diagonal_basis, work);
    EXPECT_EQ(sv[1], diagonal_entry);
    EXPECT_NEAR(coef[1], 4.0 / diagonal_entry, 1e-6);

    diagonal_entry = std::nextafter(static_cast<double>(svtol), 0.0);
    svdfit(x, y, sig, 2, coef, 2, u, v, sv, 2, 2, chi2, diagonal_basis, work);
    EXPECT_EQ(sv[1], 0.0);
    EXPECT_EQ(coef[1], 0.0);
    EXPECT_EQ(chi2, 16.0);  // the second value is left unexplained
}

TEST(Svdfit, DependentBasisGivesMinimumNormAndFiniteCovariance)
{
    const int n = 20;
    std::vector<double> x(n), y(n), sig(n, 1.0);
    for (int i = 0; i < n; ++i) {
        x[i] = 0.1 * i;
        y[i] = 2.0 + 3.0 * x[i];
    }
    double u[n * 3], v[9], sv[3], coef[3], cvm[9], chi2 = 0.0;
    svdfit(x.data(), y.data(), sig.data(), n, coef, 3, u, v, sv, n, 3, chi2, twin_basis, work);
    int zeros = 0;
    for (double s : sv) zeros += s == 0.0;
    EXPECT_EQ(zeros, 1);
    EXPECT_NEAR(coef[0], 2.0, 1e-12);
    EXPECT_NEAR(coef[1], 1.5, 1e-12);  // the slope shared equally
    EXPECT_NEAR(coef[2], 1.5, 1e-12);
    EXPECT_LT(chi2, 1e-20);
    svdvar(v, 3, 3, sv, cvm, 3);
    for (double c : cvm) EXPECT_TRUE(std::isfinite(c));
    EXPECT_NEAR(cvm[1 * 3 + 1], cvm[2 * 3 + 2], 1e-12);
}

// The fit keeps the basis values in the workspace, grown for the larger
// fits and reused by the smaller ones after them; the design matrix is
// written 64 observations at a time and the back substitution sums four
// columns at once: sizes off those blocks, and columns dropped for their
// zero singular values in among the kept ones.
TEST_P(SvdfitForms, MatchesReferenceBitForBit)
{
    std::mt19937_64 gen(99);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    static double basis_table[300][12];
    for (auto& row : basis_table)
        for (double& e : row) e = uni(gen);
    // Columns 3 and 7 copy column 1 once there are more than 7: two zero
    // singular values.  The routine always fills all twelve values, more
    // than the fit asks for.
    auto table_basis = [](double xi, double* p, int) {
        for (int j = 0; j < 12; ++j) p[j] = basis_table[static_cast<int>(xi)][j];
        p[3] = p[7] = p[1];
    };
    for (int nobs : {12, 64, 65, 300, 129, 9}) {
        for (int nbasis : {1, 5, 9, 12}) {
            if (nbasis > nobs) continue;
            std::vector<double> x(nobs), y(nobs), sig(nobs);
            for (int i = 0; i < nobs; ++i) {
                x[i] = i;
                y[i] = uni(gen);
                sig[i] = 0.5 + 0.5 * (uni(gen) + 1.0);
            }
            std::vector<double> ua(nobs * nbasis), ub = ua, va(nbasis * nbasis), vb = va, sva(nbasis), svb = sva,
                                ca(nbasis), cb = ca;
            double chia = 0.0, chib = 0.0;
            svdfit(x.data(), y.data(), sig.data(), nobs, ca.data(), nbasis, ua.data(), va.data(), sva.data(), nobs,
                   nbasis, chia, table_basis, work);
            reference::svdfit(x.data(), y.data(), sig.data(), nobs, cb.data(), nbasis, ub.data(), vb.data(),
                              svb.data(), nobs, nbasis, chib, table_basis);
            EXPECT_TRUE(same_bits(ca, cb)) << nobs << " x " << nbasis;
            EXPECT_TRUE(same_bits(sva, svb)) << nobs << " x " << nbasis;
            EXPECT_TRUE(same_bits(va, vb)) << nobs << " x " << nbasis;
            EXPECT_TRUE(same_bits(ua, ub)) << nobs << " x " << nbasis;
            EXPECT_EQ(std::memcmp(&chia, &chib, sizeof chia), 0) << nobs << " x " << nbasis;
            if (nbasis > 7) {
                EXPECT_EQ(std::count(sva.begin(), sva.end(), 0.0), 2) << nobs << " x " << nbasis;
            }
        }
    }
}

namespace {

// Answers for the pause, fed through standard input.
char answers_path[] = "/tmp/cyclefit_pause_XXXXXX";

void answer_with(const char* text)
{
    static bool made = false;
    if (!made) made = close(mkstemp(answers_path)) == 0;
    const char* path = answers_path;
    FILE* f = std::fopen(path, "w");
    std::fputs(text, f);
    std::fclose(f);
    ASSERT_NE(std::freopen(path, "r", stdin), nullptr);
    common::reset_channels();
}

}  // namespace

// A matrix with a not-a-number never converges: after 30 sweeps the run
// pauses; "go" resumes and leaves the value as it stands, anything else
// ends the program.  The search for a split must not run below row 1.
TEST(Svdcmp, PausesAfterThirtySweeps)
{
    const int n = 3;
    std::vector<double> a(n * n, 1.0), sv(n), v(n * n);
    a[4] = std::nan("");
    answer_with("go\ngo\n");
    svdcmp(a.data(), n, n, n, n, sv.data(), v.data(), work.svd);  // two pauses, both resumed
    a.assign(n * n, 1.0);
    a[4] = std::nan("");
    answer_with("stop\n");
    try {
        svdcmp(a.data(), n, n, n, n, sv.data(), v.data(), work.svd);
        FAIL() << "the pause should have ended the run";
    } catch (const common::ProgramEnd& end) {
        EXPECT_EQ(end.status, 3);
    }
    answer_with("");
    std::remove(answers_path);
}

// The rotations are recorded and applied to U in batches when the record
// is full; with small batches (cut anywhere in a sweep's chain) U is the
// same to the bit.
TEST_P(SvdcmpForms, RotationsInSmallBatchesMatchTheReference)
{
    std::mt19937_64 gen(77);
    for (int batch : {1, 7, 64}) {
        const int m = 131, n = 25;
        std::vector<double> a = make_matrix(gen, m, n, m, Shape::random), b = a;
        std::vector<double> sva(n), svb(n), va(n * n), vb(n * n);
        work.svd.batch = batch;
        svdcmp(a.data(), m, n, m, n, sva.data(), va.data(), work.svd);
        work.svd.batch = SvdWork::maxrot;
        reference::svdcmp(b.data(), m, n, m, n, svb.data(), vb.data());
        EXPECT_TRUE(same_bits(sva, svb)) << batch;
        EXPECT_TRUE(same_bits(va, vb)) << batch;
        EXPECT_TRUE(same_bits(a, b)) << batch;
    }
}

// At its full capacity of 100 columns the decomposition still matches the
// reference (its work vectors are filled to the last entry).
TEST(Svdcmp, FullCapacityMatchesReference)
{
    std::mt19937_64 gen(100);
    const int m = 103, n = svdcolumns;
    std::vector<double> a = make_matrix(gen, m, n, m, Shape::random), b = a;
    std::vector<double> sva(n), svb(n), va(n * n), vb(n * n);
    svdcmp(a.data(), m, n, m, n, sva.data(), va.data(), work.svd);
    reference::svdcmp(b.data(), m, n, m, n, svb.data(), vb.data());
    EXPECT_TRUE(same_bits(sva, svb));
    EXPECT_TRUE(same_bits(va, vb));
    EXPECT_TRUE(same_bits(a, b));
}

// Sizes beyond a routine's capacity end the run with one stop message
// before any array is touched (the arrays handed in here are far too small
// for the sizes claimed, so a check that let them through would write out
// of bounds).
TEST(Capacity, SizesBeyondARoutineEndTheRunUntouched)
{
    double a[4] = {1.0, 2.0, 3.0, 4.0}, b[4] = {}, c[4] = {}, d[4] = {}, chi2 = 0.0;
    auto basis = [](double, double* p, int) { p[0] = 1.0; };
    struct Case {
        const char* what;
        std::function<void()> call;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"svdcmp, 101 columns", [&] { svdcmp(a, 101, 101, 101, 101, b, c, work.svd); },
         "svdcmp: nrow 101, ncol 101, ldu 101, ldv 101 beyond its capacity "
         "(ncol <= 100, ncol <= nrow <= ldu, ncol <= ldv)"},
        {"svdcmp, more columns than rows", [&] { svdcmp(a, 2, 3, 2, 3, b, c, work.svd); }, "svdcmp: nrow 2, ncol 3"},
        {"svdcmp, rows beyond ldu", [&] { svdcmp(a, 5, 2, 4, 2, b, c, work.svd); }, "svdcmp: nrow 5, ncol 2, ldu 4"},
        {"svdcmp, columns beyond ldv", [&] { svdcmp(a, 4, 2, 4, 1, b, c, work.svd); }, "svdcmp: nrow 4"},
        {"svdcmp, negative columns", [&] { svdcmp(a, 4, -1, 4, 4, b, c, work.svd); }, "svdcmp: nrow 4, ncol -1"},
        {"svdfit, observations beyond ldu", [&] { svdfit(a, a, a, 5, b, 1, c, d, d, 4, 1, chi2, basis, work); },
         "svdfit: nobs 5, nbasis 1, ldu 4, ldv 1 beyond its capacity "
         "(nbasis <= 100, nbasis <= nobs <= ldu, nobs <= 75000, nbasis <= ldv)"},
        {"svdfit, observations beyond the workspace",
         [&] { svdfit(a, a, a, 75001, b, 1, c, d, d, 75001, 1, chi2, basis, work); }, "svdfit: nobs 75001"},
        {"svdfit, fewer observations than coefficients",
         [&] { svdfit(a, a, a, 2, b, 3, c, d, d, 2, 3, chi2, basis, work); }, "svdfit: nobs 2, nbasis 3"},
        {"svdfit, 101 coefficients", [&] { svdfit(a, a, a, 200, b, 101, c, d, d, 200, 101, chi2, basis, work); },
         "svdfit: nobs 200, nbasis 101"},
        {"svbksb, 101 columns", [&] { svbksb(a, a, a, 200, 101, 200, 101, a, b); }, "svbksb: nrow 200, ncol 101"},
        {"svbksb, rows beyond ldu", [&] { svbksb(a, a, a, 3, 1, 2, 1, a, b); }, "svbksb: nrow 3, ncol 1, ldu 2"},
        {"svdvar, covariance rows beyond ldc", [&] { svdvar(a, 2, 2, a, b, 1); },
         "svdvar: nbasis 2, ldv 2, ldc 1 beyond its capacity (nbasis <= 100, nbasis <= ldv, nbasis <= ldc)"},
        {"svdvar, 101 coefficients", [&] { svdvar(a, 101, 101, a, b, 101); }, "svdvar: nbasis 101"},
    };
    for (const Case& k : cases) {
        try {
            k.call();
            ADD_FAILURE() << k.what << ": accepted";
        } catch (const common::ProgramEnd& end) {
            EXPECT_EQ(end.status, 1) << k.what;
            EXPECT_EQ(end.message.rfind(k.message, 0), 0u) << k.what << ": " << end.message;
        }
        EXPECT_EQ(a[0], 1.0) << k.what;
        EXPECT_EQ(a[3], 4.0) << k.what;
        EXPECT_EQ(b[0], 0.0) << k.what;
        EXPECT_EQ(c[0], 0.0) << k.what;
    }
}
