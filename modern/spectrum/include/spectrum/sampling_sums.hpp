// The trigonometric sums of a star's sampling,
//
//   S_k(nu) = sum_n w_n^2 tau_n^k exp(2 pi i nu tau_n),   k = 0, 1, 2,
//
// tau_n = t_n - t_ref in days, w_n the point's weight (1 / sigma, or 1).
// Every product of two of the model's basis functions summed over the
// points, tau^p cos or sin of 2 pi f_i tau against tau^q cos or sin of
// 2 pi f_j tau, is half the sum or difference of the real or imaginary
// parts of S_(p+q) at f_i - f_j and f_i + f_j.  The sums depend on the
// times and weights only, so the expensive part of their evaluation
// (spreading the points and the FFTs) is done once per star; a sum at any
// frequency then costs an interpolation of 17 points.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "numerics/large_memory.hpp"

namespace spectrum {

namespace detail {
struct Kernel;
}

inline constexpr int window_orders = 3;  // k = 0, 1, 2

// The three sums at one frequency: s[k] = S_k(nu).
struct WindowSums {
    std::array<std::complex<double>, window_orders> s{};
};

// direct_window_sums: the sums at nu by a plain loop over the points, the
// reference of the fast evaluation.
//   Given:    tau      t - t_ref, days
//             weights  1 / sigma per point, or empty for all 1
//             nu       c/d, any sign
//   Returned: S_0, S_1, S_2 at nu
//   Notes: 1. The phase nu tau is formed as an exact product and reduced
//             to a fraction of a cycle before its sine and cosine.
WindowSums direct_window_sums(std::span<const double> tau, std::span<const double> weights, double nu);

// The sums of one sampling at any frequency up to a highest |nu|.
//
// S_k(nu) = exp(2 pi i nu tau_c) F_k(nu), tau_c the middle of the times
// and F_k the sum over x_n = tau_n - tau_c.  F_k is sampled once on a
// regular grid of frequencies m h, h <= 1 / (4 R) with R the half span
// (twice as fine as the sampling theorem asks), from coefficients divided
// by the Fourier transform of the interpolation kernel phi at each x_n;
// then at any nu
//
//   F_k(nu) = sum_m G_k(m) phi(nu / h - m),
//
// the 17 grid values nearest nu (Dutt & Rokhlin 1993, SIAM J. Sci. Comput.
// 14, 1368; Greengard & Lee 2004, SIAM Rev. 46, 443).  The grid values are
// one type-1 non-uniform FFT per k, on the spectrum's machinery with its
// widest kernel.  The fit's normal equations are assembled from them.
class SamplingSums {
public:
    // Given:    tau, weights  as for direct_window_sums (copied)
    //           highest       the largest |nu| that will be asked, c/d
    //           threads       threads for the set-up; the sums do not
    //                         depend on it
    SamplingSums(std::span<const double> tau, std::span<const double> weights, double highest, int threads);

    // at: S_0, S_1, S_2 at nu.
    //   Notes: 1. At nu = 0 exactly, the moments summed directly.
    //          2. Beyond the highest frequency of the grid the sums are
    //             computed directly (2 N sines and cosines): a fit that
    //             tries a frequency far outside the range still gets the
    //             right numbers.
    //          3. Error below about 1e-12 of sum w^2 |tau|^k (measured in
    //             the tests against direct_window_sums).
    WindowSums at(double nu) const;

    double highest() const { return highest_; }

    // Bytes the sums need for n points over a time span T (days) up to
    // the highest frequency, while being built and after.
    static std::size_t bytes(std::size_t n, double highest, double span);

private:
    std::vector<double> tau_, weights_;
    double highest_ = 0.0;
    double step_ = 1.0;    // h, c/d
    double centre_ = 0.0;  // tau_c, days
    long first_ = 0;       // m of grid_[0]
    std::shared_ptr<const detail::Kernel> kernel_;  // of the interpolation
    numerics::LargeVector<std::array<std::complex<double>, window_orders>> grid_;  // G_k(first + j)
    WindowSums at_zero_;
};

}  // namespace spectrum
