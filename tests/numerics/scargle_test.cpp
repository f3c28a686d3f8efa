// The Scargle amplitude at one frequency: the amplitude of a sinusoid, the
// definition summed in extended precision, and the same bits in every form.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "numerics/cycles.hpp"
#include "numerics/scargle.hpp"
#include "support/kernel_forms.hpp"

namespace {

struct Series {
    std::vector<double> tau, centred;
};

// Uneven times over 20 days with a gap, and a sinusoid of amplitude 3 at
// 2.7 c/d with noise, mean removed.
Series uneven_series()
{
    Series s;
    std::mt19937_64 gen(5);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 0.5);
    double sum = 0.0;
    for (int k = 0; k < 3000; ++k) {
        double t = 20.0 * (k + 0.8 * uni(gen)) / 3000.0;
        if (t > 8.0 && t < 11.0) continue;
        s.tau.push_back(t - 10.0);
        s.centred.push_back(3.0 * std::sin(numerics::two_pi * (2.7 * t + 0.3)) + noise(gen));
        sum += s.centred.back();
    }
    for (double& x : s.centred) x -= sum / static_cast<double>(s.centred.size());
    return s;
}

double amplitude(const Series& s, double f)
{
    std::vector<double> cycles(s.tau.size());
    numerics::phases_of(f, s.tau, cycles);
    return numerics::scargle_amplitude(cycles, s.centred);
}

// The definition (Scargle 1982, ApJ 263, 835, eq. 10), with tau from
// tan(4 pi f tau) = sum sin(4 pi f t) / sum cos(4 pi f t), in long double.
double definition(const Series& s, double f)
{
    const long double w = 2.0L * 3.141592653589793238462643383279502884L * f;
    long double s2 = 0, c2 = 0;
    for (double t : s.tau) s2 += std::sin(2 * w * t), c2 += std::cos(2 * w * t);
    const long double shift = std::atan2(s2, c2) / (2 * w);
    long double yc = 0, ys = 0, cc = 0, ss = 0;
    for (std::size_t k = 0; k < s.tau.size(); ++k) {
        const long double c = std::cos(w * (s.tau[k] - shift)), sn = std::sin(w * (s.tau[k] - shift));
        yc += s.centred[k] * c, ys += s.centred[k] * sn, cc += c * c, ss += sn * sn;
    }
    const long double power = (yc * yc / cc + ys * ys / ss) / 2;
    return static_cast<double>(std::sqrt(4 * power / s.tau.size()));
}

TEST(ScargleAmplitude, TheDefinitionAndTheSinusoidsAmplitude)
{
    const Series s = uneven_series();
    for (double f : {0.013, 0.61, 2.7, 2.71, 9.4, 33.3})
        EXPECT_NEAR(amplitude(s, f), definition(s, f), 1e-12 * definition(s, f) + 1e-14) << f;
    EXPECT_NEAR(amplitude(s, 2.7), 3.0, 0.03);
    EXPECT_EQ(numerics::scargle_amplitude({}, {}), 0.0);
}

// Two observations a whole cycle apart: every phase equal, no sinusoid is
// seen.  Half a cycle apart: the sine vanishes at both, and the cosine
// alone, sampled at its crests (sum cos^2 = N, not N/2), gives sqrt(2)
// times its amplitude.
TEST(ScargleAmplitude, SinesThatVanishAtEveryObservation)
{
    const std::vector<double> centred = {-0.5, 0.5};
    EXPECT_EQ(numerics::scargle_amplitude(std::vector<double>{0.0, 1.0}, centred), 0.0);
    EXPECT_NEAR(numerics::scargle_amplitude(std::vector<double>{0.0, 0.5}, centred), std::sqrt(0.5), 1e-15);
}

TEST(Forms, TheAmplitudeIsTheSameBitsInEveryForm)
{
    const Series s = uneven_series();
    const auto results = kernel_forms::in_every_form([&] {
        std::vector<double> a;
        for (double f = 0.001; f < 40.0; f *= 1.7) a.push_back(amplitude(s, f));
        return kernel_forms::bits(a);
    });
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[2], results[0]);
}

}  // namespace
