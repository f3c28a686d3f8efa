// Speed of a whole extraction: 50 frequencies from 45,000 points of a
// TESS-like delta Scuti star (two-minute cadence over about 67 days with
// the orbit gaps, 0 to 100 c/d, ten grid points per 1/T), every stage
// included: the plan and the data's spectrum, then per step the residual
// spectrum, the search (peak, refinement, single sinusoid, FAP) and the
// joint fit, then the final errors, S/N and labels.  It is run on all the
// machine's threads and on one, and the two tables must be the same bits.
//
//   extraction_speed [frequencies]   (default 50)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "extraction/extraction.hpp"
#include "extraction/libraries.hpp"

using namespace extraction;

namespace {

struct Star {
    std::vector<double> times, values;
};

// 45,000 points every two minutes, a one-day gap every 13.7 days; 70
// sinusoids between 5 and 60 c/d at least 3/T apart, amplitudes from 3 ppt
// down by 7 % each (S/N from about 360 to 2.4), white noise of 1 ppt.
Star make_star()
{
    Star star;
    const std::size_t n = 45000;
    const double dt = 2.0 / 1440.0;
    for (std::size_t k = 0; star.times.size() < n; ++k) {
        const double t = static_cast<double>(k) * dt;
        if (std::fmod(t, 13.7) > 12.7) continue;
        star.times.push_back(2459000.0 + t);
    }
    const double span = star.times.back() - star.times.front();
    std::mt19937_64 gen(2024);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<Sinusoid> signals;
    while (signals.size() < 70) {
        const double f = 5.0 + 55.0 * uni(gen);
        bool apart = true;
        for (const Sinusoid& s : signals) apart = apart && std::fabs(s.frequency - f) > 3.0 / span;
        if (apart) signals.push_back({f, 3.0 * std::pow(0.93, static_cast<double>(signals.size())), uni(gen)});
    }
    for (double t : star.times) {
        double v = gauss(gen);
        for (const Sinusoid& s : signals)
            v += s.amplitude * std::sin(2.0 * M_PI * (s.frequency * (t - 2459030.0) + s.phase));
        star.values.push_back(v);
    }
    return star;
}

double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

Result run(const Star& star, int frequencies, int threads, double& wall, double& cpu)
{
    Settings settings;
    const double span = star.times.back() - star.times.front();
    settings.grid = {1.0 / span, 0.1 / span, static_cast<std::size_t>((100.0 - 1.0 / span) * span / 0.1) + 1};
    settings.max_frequencies = frequencies;
    settings.threads = threads;
    const double c0 = cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    const spectrum::Plan plan = spectrum_plan(star.times, settings);
    const double plan_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Result result = extract(star.times, star.values, {}, settings, plan);
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    result.timing.setup += plan_seconds;  // the plan is the caller's, made once per star
    cpu = cpu_seconds() - c0;
    return result;
}

void report(const Result& result, double wall, double cpu, const char* threads)
{
    double spectrum = 0.0, search = 0.0, fit = 0.0;
    int iterations = 0;
    for (const StepTiming& s : result.timing.steps) {
        spectrum += s.spectrum;
        search += s.search;
        fit += s.fit;
        iterations += s.iterations;
    }
    std::printf("threads %s: %zu frequencies from %zu points, %zu grid frequencies; stop: %s\n", threads,
                result.frequencies.size(), result.n, result.grid.count, stop_name(result.stop).c_str());
    std::printf("  wall %.2f s (processor %.2f s): setup %.3f, spectra %.3f, search %.3f, fits %.3f (%d iterations), "
                "final %.3f\n",
                wall, cpu, result.timing.setup, spectrum, search, fit, iterations, result.timing.final);
    std::printf("  per step    K   spectrum   search      fit  iterations\n");
    for (const StepTiming& s : result.timing.steps)
        if (s.terms == 1 || s.terms % 10 == 0 || s.terms == 5)
            std::printf("           %3d   %8.4f %8.4f %8.4f  %d\n", s.terms, s.spectrum, s.search, s.fit, s.iterations);
}

bool same(const Result& a, const Result& b)
{
    if (a.frequencies.size() != b.frequencies.size()) return false;
    for (std::size_t i = 0; i < a.frequencies.size(); ++i) {
        const Frequency &x = a.frequencies[i], &y = b.frequencies[i];
        if (x.value.frequency != y.value.frequency || x.value.amplitude != y.value.amplitude ||
            x.value.phase != y.value.phase || x.covariance.frequency != y.covariance.frequency || x.snr != y.snr)
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    extraction::configure_libraries();
    const int frequencies = argc > 1 ? std::atoi(argv[1]) : 50;
    const Star star = make_star();
    double wall_all = 0.0, cpu_all = 0.0, wall_one = 0.0, cpu_one = 0.0;
    const Result all = run(star, frequencies, 0, wall_all, cpu_all);
    report(all, wall_all, cpu_all, "all");
    const Result one = run(star, frequencies, 1, wall_one, cpu_one);
    report(one, wall_one, cpu_one, "1");
    const bool identical = same(all, one);
    std::printf("tables with all threads and with one: %s\n", identical ? "identical" : "DIFFERENT");
    return identical ? 0 : 1;
}
