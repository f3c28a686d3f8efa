// The loops of the sine and cosine in cycles, in the widest vector form.
#include "numerics/cycles.hpp"

#include <algorithm>

#include "wide/wide_kernels.hpp"

namespace numerics {

namespace {

SUITE_KERNEL_BODY void sincos_loop(const double* cycles, double* sine, double* cosine, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k) {
        const SinCos e = sincos_cycles(cycles[k]);
        sine[k] = e.sin;
        cosine[k] = e.cos;
    }
}

SUITE_KERNEL_BODY void phases_loop(double f, const double* tau, double* cycles, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k) cycles[k] = fraction(product(f, tau[k]));
}

}  // namespace

void sincos_cycles(const double* cycles, double* sine, double* cosine, std::size_t n)
{
    suite::widest_form<sincos_loop>(cycles, sine, cosine, n);
}

void phases_of(double f, std::span<const double> tau, std::span<double> cycles)
{
    suite::widest_form<phases_loop>(f, tau.data(), cycles.data(), std::min(tau.size(), cycles.size()));
}

}  // namespace numerics
