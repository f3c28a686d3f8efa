// The harmonic model and the report's phase convention: a known signal of
// several frequencies and harmonics comes back with its amplitudes and
// phases.
#include <gtest/gtest.h>

#include <cmath>

#include "common/constants.hpp"
#include "cyclefit/dharmo.hpp"
#include "cyclefit/records.hpp"
#include "storage.hpp"
#include "cyclefit/svdfit.hpp"

using namespace cyclefit;
using suite::twopi;

TEST(Phase, ConventionsOfTheReport)
{
    EXPECT_EQ(phase_of(0.0, 2.0), 0.0);    // pure cosine: maximum at the epoch
    EXPECT_NEAR(phase_of(2.0, 0.0), 0.25, 1e-15);   // pure sine, positive
    EXPECT_NEAR(phase_of(-2.0, 0.0), 0.75, 1e-15);  // pure sine, negative
    EXPECT_NEAR(phase_of(1.0, -1.0), 0.375, 1e-15);
    EXPECT_NEAR(phase_of(-1.0, -1.0), 0.625, 1e-15);
    // A pure negative cosine peaks half a cycle later, whatever the sign of
    // the zero sine coefficient.
    EXPECT_NEAR(phase_of(0.0, -2.0), 0.5, 1e-15);
    EXPECT_NEAR(phase_of(-0.0, -2.0), 0.5, 1e-15);
    for (double phi : {0.0, 0.1, 0.3, 0.49, 0.51, 0.8, 0.99}) {
        // A cos(x - 2 pi phi) = A cos(2 pi phi) cos x + A sin(2 pi phi) sin x
        const double s = 1.7 * std::sin(twopi * phi), c = 1.7 * std::cos(twopi * phi);
        EXPECT_NEAR(phase_of(s, c), phi, 1e-12) << phi;
    }
}

TEST(Dharmo, BasisOrderAndCount)
{
    oud.nfreq = 2;
    oud.freq[0] = 0.5;
    oud.nharm[0] = 2;
    oud.freq[1] = 3.0;
    oud.nharm[1] = 1;
    double p[8];
    p[7] = 42.0;
    const double tt = 0.3;
    dharmo(tt, p, 99);
    const double th1 = (twopi * tt) * 0.5, th2 = (twopi * tt) * 3.0;
    EXPECT_EQ(p[0], 1.0);
    EXPECT_EQ(p[1], std::sin(th1));
    EXPECT_EQ(p[2], std::cos(th1));
    EXPECT_EQ(p[3], std::sin(2.0 * th1));
    EXPECT_EQ(p[4], std::cos(2.0 * th1));
    EXPECT_EQ(p[5], std::sin(th2));
    EXPECT_EQ(p[6], std::cos(th2));
    EXPECT_EQ(p[7], 42.0);  // nbasis = 7: nothing beyond
}

TEST(Fit, RecoversAKnownMultiFrequencySignal)
{
    // Three frequencies, with 2, 1 and 3 harmonics: 13 parameters.
    oud.nfreq = 3;
    const double freq[3] = {1.2345, 0.37, 4.1};
    const int nharm[3] = {2, 1, 3};
    const double amp[6] = {0.12, 0.03, 0.05, 0.02, 0.01, 0.004};
    const double phi[6] = {0.1, 0.7, 0.45, 0.0, 0.25, 0.9};
    for (int i = 0; i < 3; ++i) {
        oud.freq[i] = freq[i];
        oud.nharm[i] = nharm[i];
    }
    const int n = 400, nbasis = 13;
    static double t[n], x[n], sig[n], u[n * nbasis], v[nbasis * nbasis], cvm[nbasis * nbasis];
    double sv[nbasis], coef[nbasis], chi2 = 0.0;
    for (int i = 0; i < n; ++i) {
        t[i] = 0.037 * i + 0.01 * std::sin(i);  // uneven sampling
        sig[i] = 1.0;
        double y = 7.5;
        int h = 0;
        for (int f = 0; f < 3; ++f)
            for (int j = 1; j <= nharm[f]; ++j, ++h)
                y += amp[h] * std::cos(j * twopi * freq[f] * t[i] - twopi * phi[h]);
        x[i] = y;
    }
    static Workspace work;
    svdfit(t, x, sig, n, coef, nbasis, u, v, sv, n, nbasis, chi2, dharmo, work);
    svdvar(v, nbasis, nbasis, sv, cvm, nbasis);
    EXPECT_NEAR(coef[0], 7.5, 1e-12);
    EXPECT_LT(chi2, 1e-20);
    for (int h = 0; h < 6; ++h) {
        const double s = coef[1 + 2 * h], c = coef[2 + 2 * h];
        EXPECT_NEAR(std::sqrt(s * s + c * c), amp[h], 1e-12) << h;
        EXPECT_NEAR(phase_of(s, c), phi[h], 1e-9) << h;
    }
    for (int k = 0; k < nbasis; ++k) EXPECT_GT(cvm[k * nbasis + k], 0.0);
}
