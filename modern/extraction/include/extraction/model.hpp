// The multi-sinusoid model of a light curve.
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

struct Sinusoid {
    double frequency = 0.0;  // c/d
    double amplitude = 0.0;  // unit of the values
    double phase = 0.0;      // cycles, at t_ref
    // n when the term is the n-th member of a harmonic series locked to
    // one frequency F (frequency = n F, the fit moves F for all of them),
    // 0 for an independent term.
    int harmonic = 0;
};

struct Model {
    double constant = 0.0;
    std::vector<Sinusoid> terms;
    // The segments' baseline polynomials as the fit holds them, three
    // coefficients per segment in the scaled powers of BaselineBasis
    // (fit.hpp); empty without baselines.  evaluate() leaves them out: they
    // need the segment of each point.
    std::vector<double> baseline{};
};

// evaluate: the model at each tau.
//   Given:    model, tau (t - t_ref, days)
//   Returned: out   m(tau), one per tau
void evaluate(const Model& model, std::span<const double> tau, std::span<double> out);

}  // namespace extraction
