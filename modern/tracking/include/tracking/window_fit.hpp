// The fit of one window: at fixed frequencies, the amplitude and phase of
// every frequency and the window's baseline, by linear least squares.
//
//   y(t) = baseline(x) + sum_i [ a_i sin(2 pi f_i (t - t_ref)) + b_i cos(2 pi f_i (t - t_ref)) ]
//
// with x = (t - centre) / half the window's width and the baseline a
// polynomial in x of degree 0, 1 or 2 (or none).  A_i = hypot(a_i, b_i) and
// phi_i = atan2(b_i, a_i) / (2 pi) are the amplitude and phase of the
// table's model A sin(2 pi (f (t - t_ref) + phi)).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tracking {

enum class Baseline { none, offset, linear, quadratic };

// The number of baseline coefficients: 0, 1, 2 or 3.
std::size_t baseline_terms(Baseline baseline);

// The observations of one window.
struct WindowData {
    std::span<const double> times;    // days, absolute
    std::span<const double> values;
    std::span<const double> weights;  // 1 / sigma per point, or empty for all 1
    double t_ref = 0.0;               // the origin of the phases
    double centre = 0.0;              // the middle of the window
    double half_width = 1.0;          // W / 2
};

struct TermFit {
    double a = 0.0, b = 0.0;    // coefficients of sin and cos
    double amplitude = 0.0, amplitude_err = 0.0;
    double phase = 0.0, phase_err = 0.0;  // cycles, phase in [0, 1)
    double local_noise = 1.0;  // variance of the residuals near f over their white level (see local_noise)
};

struct WindowFit {
    bool singular = false;
    std::vector<TermFit> terms;      // one per frequency
    std::vector<double> baseline;    // coefficients of 1, x, x^2
    std::vector<double> residuals;   // y - model, unweighted, one per point
    double chi2 = 0.0;               // weighted sum of squared residuals
    std::size_t dof = 0;             // points - parameters
    double variance = 0.0;           // chi2 / dof: the scale of the covariance
};

// The reciprocal condition number (1-norm estimate, columns scaled to unit
// length) below which a window's columns count as dependent.
inline constexpr double singular_rcond = 1e-10;

// fit_window: the linear least-squares fit of one window.
//   Given:    data         the window's points (more than the parameters)
//             frequencies  c/d, fixed
//             baseline     its degree
//   Returned: the coefficients, amplitudes and phases with errors; singular
//             set (and nothing else) when the columns are dependent
//   Notes: 1. Householder QR of the weighted design matrix with columns
//             scaled to unit length (GSL's recursive QR over OpenBLAS);
//             the normal equations are never formed, so a window whose
//             columns are nearly dependent loses no more digits than the
//             problem itself.
//          2. Covariance C = s^2 (X^T W X)^-1, s^2 = chi2 / (n - p) the
//             window's residual variance; then
//               sigma_A^2   = (a^2 C_aa + b^2 C_bb + 2 a b C_ab) / A^2,
//               sigma_phi^2 = (b^2 C_aa + a^2 C_bb - 2 a b C_ab) / (2 pi A^2)^2  (cycles^2).
WindowFit fit_window(const WindowData& data, std::span<const double> frequencies, Baseline baseline);

// local_noise: how much more (or less) the residuals of a window vary near
// each frequency than their overall variance says.
//   Given:    data         the window's points (times, weights)
//             fit          its fit (residuals and variance s^2)
//             frequencies  c/d, those of the fit
//             box, samples the sampled band around each frequency, c/d,
//                          and the number of frequencies sampled in it
//   Returned: one ratio per frequency: the mean of |sum_k u_k exp(-2 pi i f t_k)|^2 / n
//             over the band, u the weighted residuals, divided by s^2
//   Notes: 1. For white residuals the periodogram |sum u e|^2 / n has the
//             mean sigma^2 at every frequency, so the ratio is near 1; it
//             exceeds 1 near red noise or unresolved signals, and falls
//             below 1 where the residual variance comes from elsewhere in
//             the spectrum (slow variations a table of fast modes leaves).
//             Multiplying a frequency's covariance by it gives the errors
//             the noise near that frequency implies.
//          2. Samples within 1 / W of a fitted frequency, or of zero, are
//             passed over: there the fit has taken the residuals' power.
//             With none left the ratio is 1.
std::vector<double> local_noise(const WindowData& data, const WindowFit& fit, std::span<const double> frequencies,
                                double box, int samples);

}  // namespace tracking
