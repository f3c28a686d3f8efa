// How each frequency changes over the windows: its amplitude's mean,
// scatter and trend, and the rate of change of its frequency from the
// curvature of its phases.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tracking {

// A weighted polynomial fit y = c_0 + c_1 x + ... (weights 1 / sigma^2).
struct PolynomialFit {
    std::vector<double> coefficients;
    std::vector<double> errors;  // from the covariance, times sqrt(chi2 / dof) when that exceeds 1
    double chi2 = 0.0;
    std::size_t dof = 0;
    bool ok = false;             // more points than coefficients, and not singular
};

// weighted_polynomial: the weighted least-squares polynomial of a degree.
PolynomialFit weighted_polynomial(std::span<const double> x, std::span<const double> y,
                                  std::span<const double> sigma, int degree);

struct Modulation {
    std::size_t windows = 0;              // amplitudes used
    double mean_amplitude = 0.0;          // weighted mean
    double amplitude_chi2_dof = 0.0;      // of the amplitudes about it (constant amplitude: near 1)
    double amplitude_slope = 0.0;         // unit per year (365.25 d), weighted straight line
    double amplitude_slope_err = 0.0;
    double frequency_rate = 0.0;          // c/d per day: p2 of the phase parabola
    double frequency_rate_err = 0.0;
    double time_delay_chi2_dof = 0.0;     // of its delays against the other frequencies' (NaN without)
};

// modulation: one frequency's changes.
//   Given:    t           the windows' t_mid, days
//             amplitude, amplitude_err   the window fits'
//             phase, phase_err           unwrapped phases, cycles, and errors
//             phase_used  the windows whose phases take part
//             t_ref       the origin of the parabola, days
//   Returned: the figures; NaN where too few windows allow them
//   Notes: 1. The phases of the model A sin(2 pi (f (t - t_ref) + phi(t)))
//             follow phi(t) = p0 + p1 (t - t_ref) + p2 (t - t_ref)^2 / 2, so
//             the frequency f + dphi/dt changes at the rate p2 (Breger &
//             Pamyatnykh 1998, A&A 332, 958).
//          2. Errors of the slope and of p2 are scaled by sqrt(chi2 / dof)
//             when that exceeds 1: scatter beyond the errors (intrinsic
//             jitter) widens them rather than being ignored.
Modulation modulation(std::span<const double> t, std::span<const double> amplitude,
                      std::span<const double> amplitude_err, std::span<const double> phase,
                      std::span<const double> phase_err, const std::vector<bool>& phase_used, double t_ref);

}  // namespace tracking
