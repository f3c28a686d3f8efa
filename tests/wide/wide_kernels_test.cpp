// The one switch between the wide and the portable forms of the kernels.
#include <gtest/gtest.h>

#include <vector>

#include "wide/wide_kernels.hpp"

namespace {

TEST(WideKernels, ForcedPortableTurnsEveryWideFormOffAndBackOn)
{
    suite::force_portable_kernels(true);
    EXPECT_FALSE(suite::wide_kernels(suite::Wide::avx));
    EXPECT_FALSE(suite::wide_kernels(suite::Wide::avx2));
    suite::force_portable_kernels(false);
#ifdef SUITE_WIDE_KERNELS
    EXPECT_EQ(suite::wide_kernels(suite::Wide::avx), __builtin_cpu_supports("avx") != 0);
    EXPECT_EQ(suite::wide_kernels(suite::Wide::avx2), __builtin_cpu_supports("avx2") != 0);
#else
    EXPECT_FALSE(suite::wide_kernels(suite::Wide::avx));
    EXPECT_FALSE(suite::wide_kernels(suite::Wide::avx2));
#endif
}

TEST(WideKernels, UpToTheThirdLevelRulesOutOnlyTheFourth)
{
    suite::allow_kernel_forms(suite::Forms::up_to_v3);
    const bool v3 = suite::wide_kernels(suite::Wide::x86_64_v3), avx2 = suite::wide_kernels(suite::Wide::avx2);
    EXPECT_FALSE(suite::wide_kernels(suite::Wide::x86_64_v4));
    suite::allow_kernel_forms(suite::Forms::all);
    EXPECT_EQ(suite::wide_kernels(suite::Wide::x86_64_v3), v3);
    EXPECT_EQ(suite::wide_kernels(suite::Wide::avx2), avx2);
#ifdef SUITE_WIDE_LEVELS
    EXPECT_EQ(suite::wide_kernels(suite::Wide::x86_64_v4), __builtin_cpu_supports("x86-64-v4") != 0);
#else
    EXPECT_FALSE(suite::wide_kernels(suite::Wide::x86_64_v4));
#endif
}

// A loop the compiler vectorises: y = a x + y over a length that is not a
// multiple of any vector width.
SUITE_KERNEL_BODY void axpy(double a, const double* x, double* y, int n)
{
    for (int i = 0; i < n; ++i) y[i] = a * x[i] + y[i];
}

TEST(WideKernels, BothFormsOfABodyGiveTheSameBits)
{
    std::vector<double> x(1001), y1(1001), y2(1001);
    for (int i = 0; i < 1001; ++i) {
        x[i] = 1.0 / (i + 3);
        y1[i] = y2[i] = i * 0.1;
    }
    suite::force_portable_kernels(true);
    suite::avx2_or_portable<axpy>(0.3, x.data(), y1.data(), 1001);
    suite::force_portable_kernels(false);
    suite::avx2_or_portable<axpy>(0.3, x.data(), y2.data(), 1001);
    EXPECT_EQ(y1, y2);
    EXPECT_EQ(y1[1000], 0.3 * (1.0 / 1003) + 100.0);
}

// The same body through widest_form, which returns what it returns, with
// each set of forms allowed.
SUITE_KERNEL_BODY double axpy_sum(double a, const double* x, double* y, int n)
{
    axpy(a, x, y, n);
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += y[i];
    return sum;
}

TEST(WideKernels, EveryLevelOfABodyGivesTheSameBits)
{
    std::vector<double> x(1001);
    for (int i = 0; i < 1001; ++i) x[i] = 1.0 / (i + 3);
    std::vector<std::vector<double>> ys;
    std::vector<double> sums;
    for (suite::Forms forms : {suite::Forms::portable, suite::Forms::up_to_v3, suite::Forms::all}) {
        suite::allow_kernel_forms(forms);
        std::vector<double> y(1001);
        for (int i = 0; i < 1001; ++i) y[i] = i * 0.1;
        sums.push_back(suite::widest_form<axpy_sum>(0.3, x.data(), y.data(), 1001));
        ys.push_back(y);
    }
    suite::allow_kernel_forms(suite::Forms::all);
    EXPECT_EQ(ys[1], ys[0]);
    EXPECT_EQ(ys[2], ys[0]);
    EXPECT_EQ(sums[1], sums[0]);
    EXPECT_EQ(sums[2], sums[0]);
}

}  // namespace
