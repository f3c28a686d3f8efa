// The multi-sinusoid model of a light curve and the trigonometry it runs on.
//
//   m(t) = c + sum_i A_i sin(2 pi (f_i (t - t_ref) + phi_i))
//
// with f in cycles per day, A in the unit of the values and phi in cycles.
// Times enter as tau = t - t_ref, t_ref the mean time, which decorrelates
// each frequency from its phase.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace extraction {

// Two pi: the double nearest to it.  Every angle of the extraction is
// 2 pi times a number of cycles.
constexpr double two_pi = 6.283185307179586;

struct Sinusoid {
    double frequency = 0.0;  // c/d
    double amplitude = 0.0;  // unit of the values
    double phase = 0.0;      // cycles, at t_ref
};

struct Model {
    double constant = 0.0;
    std::vector<Sinusoid> terms;
};

// sin_cos_cycles: sine and cosine of 2 pi x for n arguments x in cycles.
//   Given:    x     n arguments, cycles, |x| < 2^49
//   Returned: s, c  sin(2 pi x), cos(2 pi x)
//   Notes: 1. x is reduced to the nearest quarter cycle exactly (x - q/4
//             with q an integer is exact in binary), so the error does not
//             grow with |x| beyond the rounding of x itself.
//          2. The remainder, within an eighth of a cycle, goes through
//             fixed polynomials; the quarter turns are applied with
//             multipliers 0 and +-1, so the loop has no branch and the
//             compiler can vectorise it.  Error below 2e-16.
void sin_cos_cycles(const double* x, double* s, double* c, std::size_t n);

// evaluate: the model at each tau.
//   Given:    model, tau (t - t_ref, days)
//   Returned: out   m(tau), one per tau
void evaluate(const Model& model, std::span<const double> tau, std::span<double> out);

}  // namespace extraction
