#include "tracking/kepler.hpp"

#include <cmath>
#include <limits>

namespace tracking {

namespace {
constexpr double pi = 3.141592653589793;
constexpr double two_pi = 6.283185307179586;
}  // namespace

double eccentric_anomaly(double mean_anomaly, double e)
{
    const double m_full = std::remainder(mean_anomaly, two_pi);  // in [-pi, pi]
    const double turns = mean_anomaly - m_full;
    const double m = std::fabs(m_full);
    if (e <= 0.0) return mean_anomaly;
    double lo = m, hi = std::min(m + e, pi);
    double E = m + e * std::sin(m);
    for (int iteration = 0; iteration < 200; ++iteration) {
        const double f = E - e * std::sin(E) - m;
        if (f == 0.0) break;
        if (f < 0.0)
            lo = E;
        else
            hi = E;
        double next = E - f / (1.0 - e * std::cos(E));
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (next == E || hi - lo <= std::numeric_limits<double>::epsilon() * hi) {
            E = next;
            break;
        }
        E = next;
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
