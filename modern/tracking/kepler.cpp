#include "tracking/kepler.hpp"

#include <cmath>
#include <limits>

#include "numerics/cycles.hpp"

namespace tracking {

namespace {
constexpr double pi = 3.141592653589793;
using numerics::two_pi;
}  // namespace

double eccentric_anomaly(double mean_anomaly, double e)
{
    const double turns = two_pi * std::nearbyint(mean_anomaly / two_pi);
    const double m_full = mean_anomaly - turns;  // in [-pi, pi] up to rounding
    const double m = std::min(std::fabs(m_full), pi);
    if (e <= 0.0) return mean_anomaly;
    double lo = m, hi = std::min(m + e, pi);
    double E = m + e * std::sin(m);
    // Newton's error after a step d is about e d^2 / (2 (1 - e cos E)):
    // below the rounding of E once e d^2 <= 1e-17 (1 - e).
    const double converged = 1e-17 * (1.0 - e);
    for (int iteration = 0; iteration < 200; ++iteration) {
        const double s = std::sin(E), c = std::cos(E);
        const double f = E - e * s - m;
        if (f == 0.0) break;
        if (f < 0.0)
            lo = E;
        else
            hi = E;
        const double d = f / (1.0 - e * c);
        const double next = E - d;
        if (!(next > lo && next < hi)) {  // Newton would leave the bracket
            E = 0.5 * (lo + hi);
            if (hi - lo <= std::numeric_limits<double>::epsilon() * hi) break;
            continue;
        }
        E = next;
        if (e * d * d <= converged) break;
    }
    return turns + std::copysign(E, m_full);
}

double true_anomaly(double eccentric, double e)
{
    const double half = 0.5 * eccentric;
    return 2.0 * std::atan2(std::sqrt(1.0 + e) * std::sin(half), std::sqrt(1.0 - e) * std::cos(half));
}

double light_time(const Orbit& orbit, double t)
{
    const double mean_anomaly = two_pi * (t - orbit.t_p) / orbit.period;
    const double E = eccentric_anomaly(mean_anomaly, orbit.e);
    const double root = std::sqrt((1.0 - orbit.e) * (1.0 + orbit.e));
    return orbit.tau0 + orbit.asini * (root * std::sin(E) * std::cos(orbit.varpi) +
                                       (std::cos(E) - orbit.e) * std::sin(orbit.varpi));
}

}  // namespace tracking
