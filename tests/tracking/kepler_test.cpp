// Kepler's equation, the light-travel time of an orbit against values
// worked out by hand, and the orbit's derived quantities.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "tracking/kepler.hpp"
#include "tracking/orbit.hpp"

using namespace tracking;

TEST(KeplerEquation, SolvedToMachinePrecisionForEveryEccentricity)
{
    // M = E - e sin E (Kepler 1609): the residual of the solution is the
    // rounding of the equation itself, also near e = 1 and M = 0 where
    // Newton's method alone overshoots.
    const double eps = std::numeric_limits<double>::epsilon();
    std::mt19937_64 gen(5);
    std::uniform_real_distribution<double> uni(-20.0, 20.0);
    for (double e : {0.0, 1e-9, 0.1, 0.5, 0.9, 0.99, 0.999999}) {
        for (int k = 0; k < 2000; ++k) {
            const double M = k < 8 ? std::ldexp(1.0, -3 * k) : uni(gen);  // tiny anomalies first
            const double E = eccentric_anomaly(M, e);
            EXPECT_LE(std::fabs(E - e * std::sin(E) - M), 4.0 * eps * std::max(std::fabs(M), M_PI))
                << "e " << e << " M " << M;
        }
    }
    // Worked by hand: E = pi/3 at e = 0.3 means M = pi/3 - 0.3 sqrt(3)/2.
    EXPECT_NEAR(eccentric_anomaly(M_PI / 3.0 - 0.15 * std::sqrt(3.0), 0.3), M_PI / 3.0, 4e-16);
    EXPECT_NEAR(eccentric_anomaly(-M_PI / 3.0 + 0.15 * std::sqrt(3.0), 0.3), -M_PI / 3.0, 4e-16);
    EXPECT_NEAR(eccentric_anomaly(2.0 * M_PI * 7 + M_PI, 0.6), 2.0 * M_PI * 7 + M_PI, 1e-13);  // whole turns kept
}

TEST(LightTime, CircularAndEccentricOrbitsAgainstHandValues)
{
    // Circular: tau = tau0 + a sin(2 pi (t - t_p) / P + varpi).
    Orbit circular{100.0, 20.0, 0.0, 0.0, 1000.0, 1.5};
    EXPECT_NEAR(light_time(circular, 1025.0), 21.5, 1e-12);   // a quarter orbit after t_p
    EXPECT_NEAR(light_time(circular, 1075.0), -18.5, 1e-12);  // three quarters: the nearest point, light early
    EXPECT_NEAR(light_time(circular, 1050.0), 1.5, 1e-12);

    // Eccentric, e = 0.5, worked through the true anomaly (Murphy & Shibahashi
    // 2015, MNRAS 450, 4475): at E = pi/2, M = pi/2 - 0.5, cos nu =
    // (cos E - e) / (1 - e cos E) = -1/2 so nu = 120 deg and (1 - e^2) /
    // (1 + e cos nu) = 1; with varpi = 30 deg, tau = a sin 150 deg = a / 2.
    const double P = 200.0, t_p = 5000.0;
    Orbit eccentric{P, 40.0, 0.5, M_PI / 6.0, t_p, 0.0};
    const double t_quarter = t_p + P * (M_PI / 2.0 - 0.5) / (2.0 * M_PI);
    EXPECT_NEAR(light_time(eccentric, t_quarter), 20.0, 1e-11);
    // At apastron (E = nu = pi) the distance is a (1 + e): with varpi = 90 deg
    // tau = a (1 + e) sin 270 deg = -60 s, half an orbit after t_p (and one more orbit on).
    eccentric.varpi = M_PI / 2.0;
    EXPECT_NEAR(light_time(eccentric, t_p + 0.5 * P), -60.0, 1e-11);
    EXPECT_NEAR(light_time(eccentric, t_p + 1.5 * P), -60.0, 1e-11);
    // At periastron the distance is a (1 - e): tau = a (1 - e) sin varpi.
    EXPECT_NEAR(light_time(eccentric, t_p), 20.0, 1e-11);

    // Anywhere: the same as the form through the true anomaly (Murphy & Shibahashi 2015, MNRAS 450, 4475).
    std::mt19937_64 gen(9);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    for (int k = 0; k < 200; ++k) {
        Orbit o{50.0 + 1000.0 * uni(gen), 300.0 * uni(gen), 0.95 * uni(gen), 6.0 * uni(gen), 2000.0 * uni(gen), 0.0};
        const double t = 3000.0 * uni(gen);
        const double E = eccentric_anomaly(2.0 * M_PI * (t - o.t_p) / o.period, o.e);
        const double nu = true_anomaly(E, o.e);
        const double tau = o.asini * (1.0 - o.e * o.e) / (1.0 + o.e * std::cos(nu)) * std::sin(nu + o.varpi);
        EXPECT_NEAR(light_time(o, t), tau, 1e-12 * o.asini + 1e-13);
    }
}

TEST(DerivedQuantities, EarthAroundTheSun)
{
    // Kepler's third law: a1 sin i = 1 au (499.004784 light seconds) over a
    // sidereal year gives f(M) = M_sun (the planet's mass neglected), and K1
    // is the Earth's mean orbital speed, 29.78 km/s.
    EXPECT_NEAR(mass_function(499.004784, 365.256363), 1.0, 2e-5);
    EXPECT_NEAR(radial_velocity_amplitude(499.004784, 365.256363, 0.0), 29.78, 0.01);
    // K1 grows as 1 / sqrt(1 - e^2).
    EXPECT_NEAR(radial_velocity_amplitude(10.0, 100.0, 0.6) / radial_velocity_amplitude(10.0, 100.0, 0.0), 1.25, 1e-12);
}
