// The light-travel time of a star in a Keplerian orbit, and the physical
// constants of the orbit's derived quantities.
//
//   tau(t) = tau_0 + (a1 sin i / c) (1 - e^2) / (1 + e cos nu) sin(nu + varpi)
//
// z along the line of sight, away from the observer: tau > 0 when the star
// is farther than the centre of mass and its light arrives later.  nu is
// the true anomaly at the mean anomaly M = 2 pi (t - t_p) / P, through
// Kepler's equation M = E - e sin E and
// tan(nu / 2) = sqrt((1 + e) / (1 - e)) tan(E / 2).
#pragma once

namespace tracking {

// Seconds in a day: 86,400 SI seconds, the day of Julian dates.
inline constexpr double seconds_per_day = 86400.0;
// Days in a Julian year, the year of the amplitude slopes.
inline constexpr double days_per_year = 365.25;
// The speed of light, m/s: exact by the definition of the metre (SI 2019).
inline constexpr double speed_of_light = 299792458.0;
// The Newtonian constant of gravitation, m^3 kg^-1 s^-2 (CODATA 2018).
inline constexpr double gravitational_constant = 6.67430e-11;
// The nominal solar mass parameter G M_sun, m^3 s^-2 (IAU 2015 Resolution B3).
inline constexpr double solar_mass_parameter = 1.3271244e20;
// The solar mass in kg: the nominal parameter over G.
inline constexpr double solar_mass = solar_mass_parameter / gravitational_constant;

// eccentric_anomaly: E with M = E - e sin E.
//   Given:    mean_anomaly  M, radians, any value
//             e             eccentricity, 0 <= e < 1
//   Returned: E, radians, with the same whole turns as M
//   Notes: 1. M is reduced to m in [-pi, pi] and, by symmetry, to m >= 0;
//             there E lies in [m, min(m + e, pi)], since E - m = e sin E.
//          2. Newton's method from E = m + e sin m, inside that bracket:
//             a step that would leave it (near e = 1 and m = 0, where
//             1 - e cos E nearly vanishes) is replaced by bisection, so the
//             iteration always converges.  Newton's error after a step d
//             is about e d^2 / (2 (1 - e cos E)); the iteration stops after
//             the step that brings it below the rounding of E, so E is good
//             to machine precision (E - e sin E - M within a few units of
//             the last place of pi).
double eccentric_anomaly(double mean_anomaly, double e);

// True anomaly nu in (-pi, pi] of the eccentric anomaly E.
double true_anomaly(double eccentric, double e);

struct Orbit {
    double period = 0.0;  // P, days
    double asini = 0.0;   // a1 sin i / c, seconds
    double e = 0.0;       // eccentricity, 0 <= e < 1
    double varpi = 0.0;   // argument of periastron, radians
    double t_p = 0.0;     // time of periastron, days
    double tau0 = 0.0;    // the delay's zero point, seconds
};

// light_time: tau(t) in seconds.
//   Notes: 1. Computed as tau_0 + (a1 sin i / c) [sqrt(1 - e^2) sin E cos varpi
//             + (cos E - e) sin varpi], the same expression through
//             r / a = 1 - e cos E = (1 - e^2) / (1 + e cos nu),
//             r sin nu = a sqrt(1 - e^2) sin E and r cos nu = a (cos E - e),
//             without the true anomaly's half angles.
double light_time(const Orbit& orbit, double t);

}  // namespace tracking
