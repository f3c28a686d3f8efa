// Speed of the frequency-search kernels on the largest case periodscan
// accepts: n = 10000 observations, NF = 400001 trial frequencies.  The fast
// forms run the whole grid; the straightforward references run the same
// frequency range on a grid thinned by a factor (they would take minutes),
// and the ratio is taken per trial frequency.  The fast form is also run on
// the thinned grid to check that the two agree bit for bit.
//
//   periodscan_kernels [scargle_thinning [jurkevich_thinning]]   (default 4 16)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "periodscan/periodscan.hpp"
#include "periodscan/reference.hpp"

namespace {

constexpr int n = 10000;
constexpr int nf = periodscan::maxf;
const double fstart = 0.0, fstep = 1.0e-4;  // 0 to 40 c/d

std::vector<double> t(n), x(n), f1(nf), s1(nf), w1(nf), w2(nf), w3(nf), w4(nf);
std::vector<double> g1(nf), r1(nf);

// Processor time of this process: the machine is shared, and the wall
// clock would also count the time other programs held the processor.
double cpu_now()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + 1e-9 * ts.tv_nsec;
}

double seconds(auto&& work)
{
    double start = cpu_now();
    work();
    return cpu_now() - start;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b, int count)
{
    return std::memcmp(a.data(), b.data(), sizeof(double) * count) == 0;
}

void series()
{
    // Nightly runs over about three years, a 0.137 d pulsation and noise,
    // centred, starting at time 0.
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    double mean = 0.0;
    for (int i = 0; i < n; ++i) {
        t[i] = (i / 40) * 4.4 + (i % 40) * 0.006 + 0.002 * u(rng);
        x[i] = 0.05 * std::sin(6.2831853 * t[i] / 0.137) + 0.01 * (u(rng) - 0.5);
        mean += x[i];
    }
    mean /= n;
    for (int i = 0; i < n; ++i) x[i] -= mean;
    double t0 = t[0];
    for (int i = 0; i < n; ++i) t[i] -= t0;
}

double variance()
{
    double ss = 0.0;
    for (double v : x) ss += v * v;
    return ss / (n - 1);
}

void scargle(int thin)
{
    int nr = (nf - 1) / thin + 1;
    double step = fstep * thin;
    double fast = seconds([] { periodscan::scar2(n, t, x, fstart, nf, fstep, f1, s1, w1, w2, w3, w4); });
    double ref = seconds([&] { reference::scar2(n, t, x, fstart, nr, step, g1, r1, w1, w2, w3, w4); });
    periodscan::scar2(n, t, x, fstart, nr, step, f1, s1, w1, w2, w3, w4);
    bool same = same_bits(f1, g1, nr) && same_bits(s1, r1, nr);
    double ratio = (ref / nr) / (fast / nf);
    std::printf("Scargle                  fast %7.2f s (%d freq)  reference %7.2f s (%d freq)  ratio %5.1f  %s\n",
                fast, nf, ref, nr, ratio, same ? "bits equal" : "BITS DIFFER");
}

void jurkevich(int nb, int nc, int thin)
{
    int nr = (nf - 1) / thin + 1;
    double step = fstep * thin;
    double var = variance(), ss = var * (n - 1);
    double fast = seconds([&] { periodscan::justel(n, t, x, fstart, nf, fstep, nb, nc, var, ss, f1, s1); });
    double ref = seconds([&] { reference::justel(n, t, x, fstart, nr, step, nb, nc, var, ss, g1, r1); });
    periodscan::justel(n, t, x, fstart, nr, step, nb, nc, var, ss, f1, s1);
    bool same = same_bits(f1, g1, nr) && same_bits(s1, r1, nr);
    double ratio = (ref / nr) / (fast / nf);
    std::printf("Jurkevich-Stellingwerf NB=%d NC=%d  fast %7.2f s  reference %7.2f s (%d freq)  ratio %5.1f  %s\n",
                nb, nc, fast, ref, nr, ratio, same ? "bits equal" : "BITS DIFFER");
}

}  // namespace

int main(int argc, char** argv)
{
    int thin_scargle = argc > 1 ? std::atoi(argv[1]) : 4;
    int thin_jurkevich = argc > 2 ? std::atoi(argv[2]) : 16;
    if (thin_scargle < 1 || thin_jurkevich < 1) return 1;
    series();
    std::printf("n = %d observations, NF = %d trial frequencies; reference grids thinned by %d and %d; processor seconds\n", n, nf,
                thin_scargle, thin_jurkevich);
    scargle(thin_scargle);
    jurkevich(10, 1, thin_jurkevich);
    jurkevich(10, 5, thin_jurkevich);
    return 0;
}
