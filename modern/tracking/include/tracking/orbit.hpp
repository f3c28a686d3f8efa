// The orbit in the time delays: the search for a periodic signal in the
// windows' delays with its false-alarm probability, and the fit of a
// Keplerian light-travel-time orbit where one is found.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "tracking/kepler.hpp"

namespace tracking {

// One window's delay as the orbit sees it.
struct DelayPoint {
    double t = 0.0;          // the window's t_mid, days
    double delay = 0.0;      // seconds
    double delay_err = 0.0;  // seconds, > 0
    // The window's points in a few groups of equal count: each group's mean
    // time and its share of the points.  A window measures the mean delay
    // over its points, so the orbit's model of a window is the
    // share-weighted mean over its groups; for orbits only a few windows
    // long this mean is markedly below the delay at t_mid.
    std::vector<double> node_times;
    std::vector<double> node_shares;
};

// node_groups: the groups of a window's points for DelayPoint.
//   Given:    times   the window's sorted times; groups  at most this many
//   Returned: node times and shares (summing to 1)
void node_groups(std::span<const double> times, int groups, std::vector<double>& node_times,
                 std::vector<double>& node_shares);

// A local maximum of the delays' spectrum and its sinusoid
// a sin(2 pi (f (t - t0) + phase)) + offset.
struct DelayPeak {
    double frequency = 0.0;  // c/d
    double power = 0.0;      // z
    double amplitude = 0.0;  // seconds
    double phase = 0.0;      // cycles
    double offset = 0.0;     // seconds
};

// Local maxima of the spectrum kept as starting points of the orbit's fit:
// the next highest can be the true orbit where the gaps of the data make
// an alias the highest.
inline constexpr std::size_t candidate_peaks = 5;

struct DelaySpectrum {
    double fmin = 0.0, fmax = 0.0, step = 0.0;  // c/d
    std::vector<double> amplitude;  // seconds, one per grid frequency
    std::vector<double> power;      // z: the fraction of chi2 about the weighted mean the sinusoid removes
    bool searched = false;          // the range and the points allowed a search
    std::size_t peak = 0;           // index of the largest z
    double peak_frequency = 0.0;    // c/d
    double peak_amplitude = 0.0;    // seconds
    double peak_phase = 0.0;        // cycles, of a sin(2 pi (f (t - t0) + phase))
    double peak_offset = 0.0;       // seconds, the fit's constant
    std::vector<DelayPeak> peaks;   // the highest local maxima, highest first (at most candidate_peaks)
    double log10_fap = 0.0;         // Baluev's false-alarm probability of the peak
    bool claimed = false;           // log10_fap below log10 of the limit
};

// search_delays: the weighted amplitude spectrum of the delays, its
// highest peak and the peak's false-alarm probability.
//   Given:    points      the windows' delays (at least 4 for a search)
//             step        S, days, the spacing of the window starts
//             t0          the origin of the phases, days
//             fap_limit   an orbit is claimed below it (1e-3)
//             oversample  grid points per 1 / T_w (10)
//   Returned: the spectrum from 1 / T_w to 0.8 / (2 S), T_w the span of
//             the points' times
//   Notes: 1. At each frequency the sinusoid and a constant are fitted by
//             weighted least squares, weights 1 / sigma^2 (the floating
//             mean periodogram; Zechmeister & Kuerster 2009, A&A 496,
//             577).  The suite's amplitude spectrum (spectrum::Plan) has no
//             weights and is built for 10^4 to 10^6 points; a few hundred
//             windows whose errors differ several-fold need the weights,
//             and direct sums over them cost nothing.
//          2. The peak is the largest z, the quantity whose false-alarm
//             probability Baluev (2008, MNRAS 385, 1279) gives for N the
//             number of windows; the amplitude there is reported with it.
//          3. The search stops at 0.8 of the windows' Nyquist frequency:
//             the window centres are nearly evenly spaced, and near 1 / (2 S)
//             one of the sinusoid's columns almost vanishes, so the fit
//             there is ill-conditioned and fits noise with a large amplitude.
DelaySpectrum search_delays(std::span<const DelayPoint> points, double step, double t0, double fap_limit,
                            double oversample = 10.0);

struct OrbitSettings {
    // The eccentric orbit replaces the circular one when an F-test gives
    // the drop of chi2 it brings a probability below this.
    double eccentric_significance = 1e-3;
    // A straight line in time beside tau_0 (see fit_orbit, note 3).
    bool trend = true;
    // Threads for the eccentric fits' starting points (0: the machine's);
    // each start is fitted whole by one thread and the best is chosen in
    // the starts' order, so the result does not depend on it.
    int threads = 1;
};

struct OrbitFit {
    bool fitted = false;     // a fit was made (false: too few points)
    bool eccentric = false;  // the eccentric orbit was kept
    Orbit orbit;             // circular: e = 0, varpi = 0, t_p the time M = 0
    double trend = 0.0;      // seconds per day, the straight line's slope (0 without)
    double period_err = 0.0, asini_err = 0.0, e_err = 0.0, varpi_err = 0.0, t_p_err = 0.0;  // days, s, -, rad, d
    double t_max = 0.0, t_max_err = 0.0;  // the time of the delay's maximum nearest t0 (circular), days
    double tau0_err = 0.0;
    double mass_function = 0.0, mass_function_err = 0.0;  // solar masses
    double k1 = 0.0, k1_err = 0.0;                        // km/s
    double chi2 = 0.0;
    std::size_t dof = 0;
    double chi2_dof = 0.0;
    double circular_chi2 = 0.0, eccentric_chi2 = 0.0;
    double f_test_probability = 1.0;  // of the eccentric fit's chi2 drop by chance
    std::vector<double> model;        // the fitted delay of each point (window means), seconds
};

// fit_orbit: the light-travel-time orbit through the delays.
//   Given:    points    the windows' delays
//             spectrum  their search, for the starting period and sinusoid
//             t0        the origin of phases and of the trend, days
//   Returned: the fit; its errors from the covariance of the weighted
//             least squares, times sqrt(chi2 / dof) when that exceeds 1
//   Notes: 1. Levenberg-Marquardt (GSL, analytic Jacobian) in
//             the parameters P, a1 sin i / c, sqrt(e) cos varpi,
//             sqrt(e) sin varpi, the time of periastron as a phase of the
//             orbit, tau_0; the circular orbit in P, a1 sin i / c, the
//             phase of the orbit at t0 and tau_0.  Circular fits start
//             from the sinusoid of each candidate peak; the eccentric fits
//             from the best circular solution and the next best of a
//             different period (when its chi2 is below twice the best's),
//             with e = 0.15, 0.4, 0.65 and four arguments of periastron
//             each; the lowest chi2 is kept.  Each fit stops on GSL's step
//             and gradient tests, when chi2 falls by less than a part in
//             10^6 over five iterations (near e = 0 the argument and time
//             of periastron trade along a valley of constant chi2), or
//             after 100 iterations.
//          2. The errors are computed in P, a1 sin i / c, k = e cos varpi,
//             h = e sin varpi, the mean longitude at t0 and tau_0, in
//             which the model is smooth at e = 0, and carried to e, varpi,
//             t_p, the mass function and K1 by linear propagation.  k and
//             h are free in that covariance also for the circular orbit:
//             its period and a1 sin i / c are known only as well as the
//             data leave e, which trades off with them when an orbit is
//             seen over one cycle or less.  For the circular orbit e = 0
//             and e_err is the rms error of k and h at e = 0 combined with
//             the eccentric fit's e (what the data do not exclude):
//             sqrt(e_fit^2 + sigma^2).
//          3. The frequencies of the table come from a fit over the whole
//             light curve, which takes the straight-line part of any delay
//             curve as a small change of each frequency (f tau is a phase
//             that grows linearly).  The delays then lack that line, and an
//             orbit not many times shorter than the data is fitted with a
//             free line beside it.
OrbitFit fit_orbit(std::span<const DelayPoint> points, const DelaySpectrum& spectrum, double t0,
                   const OrbitSettings& settings);

// The delay of one point under an orbit (and a trend about t0): the
// share-weighted mean of light_time over its groups.
double window_delay(const DelayPoint& point, const Orbit& orbit, double trend, double t0);

// mass_function: f(M) = 4 pi^2 (a1 sin i)^3 / (G P^2) in solar masses.
//   Given:    asini  a1 sin i / c, seconds; period  P, days
double mass_function(double asini, double period);

// radial_velocity_amplitude: K1 = 2 pi a1 sin i / (P sqrt(1 - e^2)) in km/s.
double radial_velocity_amplitude(double asini, double period, double e);

}  // namespace tracking
