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

}  // namespace
