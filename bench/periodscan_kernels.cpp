// Speed of the frequency-search kernels on the largest cases of the
// performance goals: n = 10000 observations; the Scargle periodogram over
// NF = 400001 trial frequencies, the Jurkevich-Stellingwerf statistic over
// NF = 40001 with NB = 10 bins (one cover, and five).  The fast forms run
// the whole grid; the straightforward references run the same frequency
// range on a grid thinned by a factor (they would take minutes), and the
// ratio is taken per trial frequency.  The fast form is also run on the
// thinned grid to check that the two agree bit for bit.
//
// The machine may be shared: every form runs several times and the best
// and the median processor time are shown, with the load average; the
// ratio is that of the best times.
//
//   periodscan_kernels [repeats [scargle_thinning [jurkevich_thinning]]]   (default 3 4 4)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "periodscan/periodscan.hpp"
#include "support/periodscan_reference.hpp"

namespace {

constexpr int n = 10000;
constexpr int nf_scargle = periodscan::maxf;
constexpr int nf_jurkevich = 40001;
const double fstart = 0.0, fstep_scargle = 1.0e-4, fstep_jurkevich = 1.0e-3;  // 0 to 40 c/d

int repeats = 3;

std::vector<double> t(n), x(n), f1(nf_scargle), s1(nf_scargle), w1(nf_scargle), w2(nf_scargle), w3(nf_scargle),
    w4(nf_scargle);
std::vector<double> g1(nf_scargle), r1(nf_scargle);

// Processor time of this process: the machine is shared, and the wall
// clock would also count the time other programs held the processor.
double cpu_now()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + 1e-9 * ts.tv_nsec;
}

// Best and median processor seconds of several runs of a piece of work.
struct Times {
    double best, median;
};

Times seconds(auto&& work)
{
    std::vector<double> runs;
    for (int r = 0; r < repeats; ++r) {
        double start = cpu_now();
        work();
        runs.push_back(cpu_now() - start);
    }
    std::sort(runs.begin(), runs.end());
    return {runs.front(), runs[runs.size() / 2]};
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

void show(const char* name, int nf, Times fast, int nr, Times ref, bool same)
{
    double ratio = (ref.best / nr) / (fast.best / nf);
    std::printf("%-28s fast %6.3f s best, %6.3f median (NF %d)   reference %6.2f s best, %6.2f median (NF %d)"
                "   ratio %5.1f  %s\n",
                name, fast.best, fast.median, nf, ref.best, ref.median, nr, ratio,
                same ? "bits equal" : "BITS DIFFER");
}

void scargle(int thin)
{
    const int nf = nf_scargle;
    int nr = (nf - 1) / thin + 1;
    double step = fstep_scargle * thin;
    Times fast = seconds([] { periodscan::scar2(n, t, x, fstart, nf, fstep_scargle, f1, s1, w1, w2, w3, w4); });
    Times ref = seconds([&] { reference::scar2(n, t, x, fstart, nr, step, g1, r1, w1, w2, w3, w4); });
    periodscan::scar2(n, t, x, fstart, nr, step, f1, s1, w1, w2, w3, w4);
    show("Scargle", nf, fast, nr, ref, same_bits(f1, g1, nr) && same_bits(s1, r1, nr));
}

void jurkevich(int nb, int nc, int thin)
{
    const int nf = nf_jurkevich;
    int nr = (nf - 1) / thin + 1;
    double step = fstep_jurkevich * thin;
    double var = variance(), ss = var * (n - 1);
    Times fast = seconds([&] { periodscan::justel(n, t, x, fstart, nf, fstep_jurkevich, nb, nc, var, ss, f1, s1); });
    Times ref = seconds([&] { reference::justel(n, t, x, fstart, nr, step, nb, nc, var, ss, g1, r1); });
    periodscan::justel(n, t, x, fstart, nr, step, nb, nc, var, ss, f1, s1);
    char name[64];
    std::snprintf(name, sizeof name, "Jurkevich-Stellingwerf %d/%d", nb, nc);
    show(name, nf, fast, nr, ref, same_bits(f1, g1, nr) && same_bits(s1, r1, nr));
}

void load_average()
{
    double load[3];
    if (getloadavg(load, 3) == 3) std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
}

}  // namespace

int main(int argc, char** argv)
{
    repeats = argc > 1 ? std::atoi(argv[1]) : 3;
    int thin_scargle = argc > 2 ? std::atoi(argv[2]) : 4;
    int thin_jurkevich = argc > 3 ? std::atoi(argv[3]) : 4;
    if (repeats < 1 || thin_scargle < 1 || thin_jurkevich < 1) return 1;
    series();
    std::printf("n = %d observations; reference grids thinned by %d (Scargle) and %d (Jurkevich-Stellingwerf);"
                " processor seconds over %d runs\n",
                n, thin_scargle, thin_jurkevich, repeats);
    load_average();
    scargle(thin_scargle);
    jurkevich(10, 1, thin_jurkevich);
    jurkevich(10, 5, thin_jurkevich);
    load_average();
    return 0;
}
