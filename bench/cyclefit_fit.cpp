// The harmonic fit of 75000 observations with 99 parameters (seven
// frequencies of seven harmonics each): the program's svdfit against the
// plain reference form, in one run, with a check that both give the same
// bits.
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "common/constants.hpp"
#include "cyclefit/dharmo.hpp"
#include "cyclefit/records.hpp"
#include "cyclefit/svdfit.hpp"
#include "cyclefit/svd_reference.hpp"

using namespace cyclefit;
using suite::twopi;

int main()
{
    const int n = maxobs, nb = maxbasis;
    std::vector<double> t(n), x(n), sig(n, 1.0), u(static_cast<size_t>(n) * nb), v(nb * nb), sv(nb), coef(nb);
    std::vector<double> coef2(nb), sv2(nb), v2(nb * nb);
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    const double freqs[7] = {1.2345, 2.7181, 0.4142, 3.1415, 5.5511, 7.0711, 9.8696};
    oud.nfreq = 7;
    for (int i = 0; i < 7; ++i) {
        oud.freq[i] = freqs[i];
        oud.nharm[i] = 7;
    }
    double time = 0.0;
    for (int i = 0; i < n; ++i) {
        time += 0.001 + 0.01 * uni(gen);
        t[i] = time;
        x[i] = 0.05 * std::sin(twopi * freqs[0] * time) + 0.02 * std::cos(twopi * freqs[3] * time) +
               0.005 * (uni(gen) - 0.5);
    }
    const auto work = std::make_unique<Workspace>();
    using clock = std::chrono::steady_clock;
    double chi2 = 0.0, chi2ref = 0.0;

    // Processor time as well as elapsed time: the machine is shared, and
    // the processor time of this single thread is the steadier figure.
    std::clock_t c0 = std::clock();
    auto t0 = clock::now();
    reference::svdfit(t.data(), x.data(), sig.data(), n, coef2.data(), nb, u.data(), v2.data(), sv2.data(), n, nb,
                      chi2ref, dharmo);
    auto t1 = clock::now();
    std::clock_t c1 = std::clock();
    svdfit(t.data(), x.data(), sig.data(), n, coef.data(), nb, u.data(), v.data(), sv.data(), n, nb, chi2, dharmo,
           *work);
    auto t2 = clock::now();
    std::clock_t c2 = std::clock();

    const double ref = std::chrono::duration<double>(t1 - t0).count();
    const double fast = std::chrono::duration<double>(t2 - t1).count();
    std::vector<double> cvm(nb * nb), cvm2(nb * nb);
    svdvar(v.data(), nb, nb, sv.data(), cvm.data(), nb);
    svdvar(v2.data(), nb, nb, sv2.data(), cvm2.data(), nb);
    const bool same = std::memcmp(coef.data(), coef2.data(), nb * sizeof(double)) == 0 &&
                      std::memcmp(cvm.data(), cvm2.data(), nb * nb * sizeof(double)) == 0 &&
                      std::memcmp(sv.data(), sv2.data(), nb * sizeof(double)) == 0 &&
                      std::memcmp(v.data(), v2.data(), nb * nb * sizeof(double)) == 0 &&
                      std::memcmp(&chi2, &chi2ref, sizeof(double)) == 0;
    const double cref = double(c1 - c0) / CLOCKS_PER_SEC, cfast = double(c2 - c1) / CLOCKS_PER_SEC;
    std::printf("svdfit 75000 x 99, elapsed:   reference %.3f s, program %.3f s, ratio %.2f\n", ref, fast, ref / fast);
    std::printf("svdfit 75000 x 99, processor: reference %.3f s, program %.3f s, ratio %.2f\n", cref, cfast,
                cref / cfast);
    std::printf("identical bits (coefficients, singular values, V, covariance, chi-square): %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
