// The harmonic fit of 75000 observations with 99 parameters (seven
// frequencies of seven harmonics each): the program's svdfit against the
// plain reference form, in one run, with a check that both give the same
// bits; the time of each phase of the program's fit; and, as the peer
// figure, LAPACK's least-squares driver dgelsd (OpenBLAS, one thread) on
// the same weighted design matrix.
//
//   cyclefit_fit [repetitions]     (default 5)
//
// The machine may be shared: the times are processor times of this single
// thread, each phase repeated; the best and the median are printed, with
// the load average beside them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "cyclefit/dharmo.hpp"
#include "cyclefit/records.hpp"
#include "cyclefit/svdfit.hpp"
#include "support/svd_reference.hpp"

#ifdef BENCH_WITH_OPENBLAS
extern "C" {
void dgelsd_(const int* m, const int* n, const int* nrhs, double* a, const int* lda, double* b, const int* ldb,
             double* s, const double* rcond, int* rank, double* work, const int* lwork, int* iwork, int* info);
void openblas_set_num_threads(int threads);
}
#endif

using namespace cyclefit;
using suite::twopi;

namespace {

double cpu_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double process_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double wall_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

std::string load_average()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// The repeated times of one quantity.
struct Times {
    const char* name;
    std::vector<double> runs;
    double best() const { return *std::min_element(runs.begin(), runs.end()); }
    double median() const
    {
        std::vector<double> r = runs;
        std::sort(r.begin(), r.end());
        return r[r.size() / 2];
    }
};

void print(const Times& t)
{
    std::printf("  %-34s best %.3f s, median %.3f s  (", t.name, t.best(), t.median());
    for (size_t r = 0; r < t.runs.size(); ++r) std::printf("%s%.3f", r ? " " : "", t.runs[r]);
    std::printf(")\n");
}

bool same(const std::vector<double>& a, const std::vector<double>& b)
{
    return std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int n = maxobs, nb = maxbasis;
    const size_t usize = static_cast<size_t>(n) * nb;
    std::vector<double> t(n), x(n), sig(n, 1.0), u(usize), v(nb * nb), sv(nb), coef(nb);
    std::vector<double> uref(usize), coefref(nb), svref(nb), vref(nb * nb);
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
    std::printf("svdfit %d x %d, %d repetitions; load average before: %s\n", n, nb, reps, load_average().c_str());

    // The reference form, once.
    double chi2ref = 0.0;
    double w0 = wall_seconds(), c0 = cpu_seconds();
    reference::svdfit(t.data(), x.data(), sig.data(), n, coefref.data(), nb, uref.data(), vref.data(), svref.data(), n,
                      nb, chi2ref, dharmo);
    const double refcpu = cpu_seconds() - c0, refwall = wall_seconds() - w0;
    std::vector<double> cvmref(nb * nb), cvm(nb * nb);
    svdvar(vref.data(), nb, nb, svref.data(), cvmref.data(), nb);

    // The program's svdfit and svdvar, whole.
    Times whole{"svdfit + svdvar", {}};
    Times wholewall{"svdfit + svdvar, elapsed", {}};
    bool identical = true;
    for (int r = 0; r < reps; ++r) {
        double chi2 = 0.0;
        w0 = wall_seconds();
        c0 = cpu_seconds();
        svdfit(t.data(), x.data(), sig.data(), n, coef.data(), nb, u.data(), v.data(), sv.data(), n, nb, chi2, dharmo,
               *work);
        svdvar(v.data(), nb, nb, sv.data(), cvm.data(), nb);
        whole.runs.push_back(cpu_seconds() - c0);
        wholewall.runs.push_back(wall_seconds() - w0);
        identical = identical && same(coef, coefref) && same(sv, svref) && same(v, vref) && same(u, uref) &&
                    same(cvm, cvmref) && std::memcmp(&chi2, &chi2ref, sizeof chi2) == 0;
    }

    // The same fit phase by phase, as svdfit runs it (the design matrix
    // written a block of observations at a time, the basis values kept for
    // the chi-square).
    Times design{"design matrix", {}}, bidiag{"bidiagonalisation", {}}, right{"accumulation of V", {}},
        left{"accumulation of U", {}}, sweeps{"QR sweeps (bidiagonal form, V)", {}},
        rotations{"rotations of U", {}}, solve{"svbksb and svdvar", {}},
        chisquare{"chi-square", {}};
    std::vector<double> rhs(n), p(nb), basisvalues(usize);
    for (int r = 0; r < reps; ++r) {
        double c = cpu_seconds();
        auto lap = [&](Times& times) {
            const double now = cpu_seconds();
            times.runs.push_back(now - c);
            c = now;
        };
        for (int i0 = 0; i0 < n; i0 += 64) {
            const int nr = std::min(64, n - i0);
            double weight[64];
            for (int r = 0; r < nr; ++r) {
                dharmo(t[i0 + r], p.data(), nb);
                std::copy(p.begin(), p.end(), basisvalues.begin() + static_cast<long>(i0 + r) * nb);
                weight[r] = 1.0 / sig[i0 + r];
                rhs[i0 + r] = x[i0 + r] * weight[r];
            }
            const double* values = basisvalues.data() + static_cast<size_t>(i0) * nb;
            for (int j = 0; j < nb; ++j)
                for (int r = 0; r < nr; ++r) u[static_cast<size_t>(j) * n + i0 + r] = values[r * nb + j] * weight[r];
        }
        lap(design);
        work->svd.npending = 0;
        svdphase::bidiagonalise(u.data(), n, nb, n, sv.data(), work->svd);
        lap(bidiag);
        svdphase::accumulate_right(u.data(), nb, n, nb, v.data(), work->svd);
        lap(right);
        svdphase::accumulate_left(u.data(), n, nb, n, sv.data());
        lap(left);
        svdphase::diagonalise(u.data(), n, nb, n, nb, sv.data(), v.data(), work->svd);
        lap(sweeps);
        svdphase::rotate_left(u.data(), n, work->svd);
        lap(rotations);
        double svmax = 0.0;
        for (double s : sv) svmax = std::max(svmax, s);
        for (double& s : sv)
            if (s < static_cast<double>(svtol) * svmax) s = 0.0;
        svbksb(u.data(), sv.data(), v.data(), n, nb, n, nb, rhs.data(), coef.data());
        svdvar(v.data(), nb, nb, sv.data(), cvm.data(), nb);
        lap(solve);
        double chi2 = 0.0;
        for (int i = 0; i < n; ++i) {
            const double* pi = basisvalues.data() + static_cast<size_t>(i) * nb;
            double sum = 0.0;
            for (int j = 0; j < nb; ++j) sum += coef[j] * pi[j];
            const double d = (x[i] - sum) / sig[i];
            chi2 += d * d;
        }
        lap(chisquare);
        identical = identical && same(coef, coefref) && same(u, uref) && same(cvm, cvmref) &&
                    std::memcmp(&chi2, &chi2ref, sizeof chi2) == 0;
    }

    std::printf("reference svdfit + svdvar: processor %.3f s, elapsed %.3f s\n", refcpu, refwall);
    std::printf("program, processor times:\n");
    print(whole);
    print(wholewall);
    for (const Times* phase : {&design, &bidiag, &right, &left, &sweeps, &rotations, &solve, &chisquare}) print(*phase);
    std::printf("ratio to the reference (best processor time): %.2f\n", refcpu / whole.best());

#ifdef BENCH_WITH_OPENBLAS
    // The peer: dgelsd on the same weighted design matrix and right-hand
    // side, singular values below svtol times the largest dropped.
    openblas_set_num_threads(1);
    Times lapack{"dgelsd (OpenBLAS, one thread)", {}}, lapackwall{"dgelsd, elapsed", {}},
        lapackproc{"dgelsd, processor time of all threads", {}};
    std::vector<double> a(usize), b(n), s(nb), sol(nb);
    int rank = 0, info = 0, lwork = -1, one = 1;
    const double rcond = static_cast<double>(svtol);
    double query = 0.0;
    int iquery = 0;
    dgelsd_(&n, &nb, &one, a.data(), &n, b.data(), &n, s.data(), &rcond, &rank, &query, &lwork, &iquery, &info);
    lwork = static_cast<int>(query);
    std::vector<double> lwk(static_cast<size_t>(lwork));
    std::vector<int> iwork(static_cast<size_t>(std::max(iquery, 1)));
    for (int r = 0; r < reps; ++r) {
        for (int i = 0; i < n; ++i) {
            dharmo(t[i], p.data(), nb);
            const double weight = 1.0 / sig[i];
            for (int j = 0; j < nb; ++j) a[static_cast<size_t>(j) * n + i] = p[j] * weight;
            b[i] = x[i] * weight;
        }
        const double c = cpu_seconds(), w = wall_seconds(), pc = process_seconds();
        dgelsd_(&n, &nb, &one, a.data(), &n, b.data(), &n, s.data(), &rcond, &rank, lwk.data(), &lwork, iwork.data(),
                &info);
        lapack.runs.push_back(cpu_seconds() - c);
        lapackwall.runs.push_back(wall_seconds() - w);
        lapackproc.runs.push_back(process_seconds() - pc);
    }
    double worst = 0.0;
    for (int j = 0; j < nb; ++j)
        worst = std::max(worst, std::fabs(b[j] - coefref[j]) / (std::fabs(coefref[j]) + 1e-300));
    std::printf("peer, processor time of the solve alone (the design matrix built beforehand):\n");
    print(lapack);
    print(lapackproc);
    print(lapackwall);
    std::printf("  dgelsd info %d, rank %d, largest relative difference from the program's coefficients %.1e\n", info,
                rank, worst);
    std::printf("program's decomposition and solve (bidiagonalisation to svdvar, best): %.3f s\n",
                bidiag.best() + right.best() + left.best() + sweeps.best() + rotations.best() + solve.best());
#endif
    std::printf("load average after: %s\n", load_average().c_str());
    std::printf("identical bits (coefficients, singular values, U, V, covariance, chi-square): %s\n",
                identical ? "yes" : "NO");
    return identical ? 0 : 1;
}
