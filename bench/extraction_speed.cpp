// Speed of deep extractions, measured in one run, on the stars a user
// meets, each with the program's default grid (1/T to the Nyquist frequency
// of the median cadence, ten points per 1/T):
//
//   tess     TESS two-minute cadence, 45,000 points (two sectors and their
//            orbit gaps), a delta Scuti star: 50 frequencies (goal 1 s)
//   kepler   Kepler long cadence, 65,000 points over four years with the
//            quarterly gaps, a delta Scuti star: 100 frequencies (goal 3 s)
//   hads     Kepler long cadence, 50,000 points, a high-amplitude delta
//            Scuti star with harmonics, combinations and many weak modes:
//            200 frequencies (goal 10 s)
//   kic      the bundled Kepler light curve of KIC 7917485 (65,312
//            points, in mmag) above 0.5 c/d: 200 frequencies, the most
//            asked for (goal: its whole run within 20 s)
//   million  Kepler short cadence (58.85 s), 10^6 points over two years:
//            30 frequencies (goal 10 s)
//
// For each: the extraction in this process with all threads (warm: after
// a first run of the same star, whose time is shown too), its stages
// (setup: the spectrum's plan, the data's spectrum and the sums of the
// sampling; spectra: the residuals and their spectrum at each step;
// search: peak, refinement, single sinusoid; fits; final: the final fit,
// the residual spectrum, errors, S/N, labels), and a whole prewhiten
// process on the star written as a text file (cold: reading, the same
// extraction, writing the tables, residuals and spectra; no picture).
// Then how a step's time grows with the number of frequencies K (the hads
// star) and with the number of points N (the tess star cut or repeated,
// 30 frequencies), and that the tables with all threads and with one are
// the same bits.  Wall-clock seconds; the machine may be shared, so the
// load average is printed.
//
//   extraction_speed [--exact | NAME]   (--exact: the reference fit
//                                        instead, on the tess, kepler and
//                                        kic stars; NAME: that star alone)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "extraction/libraries.hpp"

extern char** environ;

using namespace extraction;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

std::string load_average()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return one + " " + five;
}

struct Star {
    const char* name;
    std::vector<double> times, values;
    int frequencies;
    double goal;
};

// Regular cadence (minutes) from t = 0, with a gap of `gap` days every
// `period` days and a fraction of the points lost at random.
std::vector<double> cadence_times(std::size_t n, double minutes, double period, double gap, double lost,
                                  std::mt19937_64& gen)
{
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::vector<double> t;
    const double dt = minutes / 1440.0;
    for (std::size_t k = 0; t.size() < n; ++k) {
        const double x = static_cast<double>(k) * dt;
        if (std::fmod(x, period) > period - gap || uni(gen) < lost) continue;
        t.push_back(2455000.0 + x);
    }
    return t;
}

// The sum of the sinusoids (phases at the middle time) and white noise.
std::vector<double> light(const std::vector<double>& t, const std::vector<Sinusoid>& signals, double noise,
                          std::mt19937_64& gen)
{
    std::normal_distribution<double> gauss(0.0, noise);
    const double mid = t[t.size() / 2];
    std::vector<double> y;
    for (double x : t) {
        double v = gauss(gen);
        for (const Sinusoid& s : signals) v += s.amplitude * std::sin(2.0 * M_PI * (s.frequency * (x - mid) + s.phase));
        y.push_back(v);
    }
    return y;
}

// `count` sinusoids in [flow, fhigh], at least 3/T apart, amplitudes from
// `first` down by `ratio` each.
void add_modes(std::vector<Sinusoid>& signals, int count, double flow, double fhigh, double first, double ratio,
               double span, std::mt19937_64& gen)
{
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    for (int added = 0; added < count;) {
        const double f = flow + (fhigh - flow) * uni(gen);
        bool apart = true;
        for (const Sinusoid& s : signals) apart = apart && std::fabs(s.frequency - f) > 3.0 / span;
        if (!apart) continue;
        signals.push_back({f, first * std::pow(ratio, added), uni(gen)});
        ++added;
    }
}

Star tess_star(std::size_t n = 45000)
{
    std::mt19937_64 gen(2024);
    Star s{"tess", cadence_times(n, 2.0, 13.7, 1.0, 0.0, gen), {}, 50, 1.0};
    std::vector<Sinusoid> signals;
    add_modes(signals, 70, 5.0, 60.0, 3.0, 0.93, s.times.back() - s.times.front(), gen);
    s.values = light(s.times, signals, 1.0, gen);
    return s;
}

Star kepler_star()
{
    std::mt19937_64 gen(7917);
    Star s{"kepler", cadence_times(65000, 29.4244, 93.0, 3.0, 0.02, gen), {}, 100, 3.0};
    std::vector<Sinusoid> signals;
    add_modes(signals, 130, 3.0, 24.0, 5.0, 0.96, s.times.back() - s.times.front(), gen);
    s.values = light(s.times, signals, 0.3, gen);
    return s;
}

Star hads_star()
{
    std::mt19937_64 gen(7);
    Star s{"hads", cadence_times(50000, 29.4244, 93.0, 3.0, 0.02, gen), {}, 200, 10.0};
    const double f1 = 7.3123, f2 = 9.4567;
    std::vector<Sinusoid> signals = {{f1, 300, 0.1},     {2 * f1, 80, 0.3},     {3 * f1, 30, 0.5},
                                     {4 * f1, 10, 0.7},  {f2, 50, 0.2},         {f1 + f2, 15, 0.4},
                                     {f2 - f1, 8, 0.6},  {2 * f1 + f2, 5, 0.9}};
    add_modes(signals, 230, 3.0, 24.0, 10.0, 0.975, s.times.back() - s.times.front(), gen);
    s.values = light(s.times, signals, 0.3, gen);
    return s;
}

// The bundled Kepler star, in mmag about its median (as --unit mag), its
// grid from 0.5 c/d.
Star kic_star()
{
    Star s{"kic", {}, {}, 200, 20.0};
    std::ifstream in(fs::path(SOURCE_DIR) / "examples" / "kic7917485_kepler_lc.txt");
    for (double t = 0.0, m = 0.0; in >> t >> m;) {
        s.times.push_back(t);
        s.values.push_back(m);
    }
    std::vector<double> sorted = s.values;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (double& v : s.values) v = (v - median) * 1000.0;
    return s;
}

Star million_star()
{
    std::mt19937_64 gen(1000000);
    Star s{"million", cadence_times(1000000, 58.85 / 60.0, 93.0, 3.0, 0.02, gen), {}, 30, 10.0};
    std::vector<Sinusoid> signals;
    add_modes(signals, 40, 5.0, 60.0, 3.0, 0.93, s.times.back() - s.times.front(), gen);
    s.values = light(s.times, signals, 1.0, gen);
    return s;
}

// The program's default grid: 1/T to 0.5 / median step, ten points per 1/T.
spectrum::Grid default_grid(const std::vector<double>& t)
{
    std::vector<double> steps;
    for (std::size_t k = 1; k < t.size(); ++k) steps.push_back(t[k] - t[k - 1]);
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    const double span = t.back() - t.front(), fmin = 1.0 / span, fmax = 0.5 / steps[steps.size() / 2];
    const double step = 1.0 / (10.0 * span);
    return {fmin, step, static_cast<std::size_t>(std::floor((fmax - fmin) / step * (1 + 1e-12))) + 1};
}

Result run(const Star& star, FitMethod fit, int threads, double& wall)
{
    Settings settings;
    settings.grid = default_grid(star.times);
    if (std::string(star.name) == "kic") {  // from 0.5 c/d (--fmin 0.5)
        const double first = std::ceil((0.5 - settings.grid.fmin) / settings.grid.step);
        settings.grid.count -= static_cast<std::size_t>(first);
        settings.grid.fmin = 0.5;
    }
    settings.max_frequencies = star.frequencies;
    settings.fit = fit;
    settings.threads = threads;
    const Clock::time_point t0 = Clock::now();
    const spectrum::Plan plan = spectrum_plan(star.times, settings);
    const double plan_seconds = seconds_since(t0);
    Result result = extract(plan, star.times, star.values, {}, segment_light_curve(star.times, {}, SegmentRules{}), settings);
    wall = seconds_since(t0);
    result.timing.setup += plan_seconds;  // the plan is the caller's, made once per star
    return result;
}

struct Stages {
    double spectra = 0.0, search = 0.0, fits = 0.0;
    int iterations = 0;
};

Stages stages_of(const Result& r)
{
    Stages s;
    for (const StepTiming& step : r.timing.steps) {
        s.spectra += step.spectrum;
        s.search += step.search;
        s.fits += step.fit;
        s.iterations += step.iterations;
    }
    return s;
}

// A whole prewhiten process on the star as a text file: its wall time.
double cold_run(const Star& star)
{
    const fs::path folder = fs::temp_directory_path() / ("extraction_speed_" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path file = folder / (std::string(star.name) + ".dat");
    {
        std::string text = "time value\n";
        char number[32];
        for (std::size_t i = 0; i < star.times.size(); ++i) {
            text.append(number, std::to_chars(number, number + sizeof number, star.times[i]).ptr);
            text += ' ';
            text.append(number, std::to_chars(number, number + sizeof number, star.values[i]).ptr);
            text += '\n';
        }
        std::ofstream(file, std::ios::binary) << text;
    }
    const std::string most = std::to_string(star.frequencies), out = (folder / "out").string(), in = file.string();
    std::vector<std::string> words = {PREWHITEN_PROGRAM, "--plot", "none", "--max-frequencies", most, "-o", out, in};
    if (std::string(star.name) == "kic") words.insert(words.begin() + 1, {"--fmin", "0.5"});
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const Clock::time_point t0 = Clock::now();
    pid_t pid = 0;
    double wall = NAN;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) wall = seconds_since(t0);
    }
    posix_spawn_file_actions_destroy(&actions);
    fs::remove_all(folder);
    return wall;
}

void report(const Star& star, FitMethod fit, bool cold)
{
    double first = 0.0, wall = 0.0;
    run(star, fit, 0, first);
    const Result r = run(star, fit, 0, wall);
    const Stages s = stages_of(r);
    std::printf("%-8s %8zu points %9zu grid  %3zu frequencies (%s)  warm %7.2f s (first %.2f)", star.name, r.n,
                r.grid.count, r.frequencies.size(), stop_name(r.stop).c_str(), wall, first);
    if (fit == FitMethod::fast) std::printf("  goal %4.1f s  %s", star.goal, wall <= star.goal ? "met" : "MISSED");
    std::printf("\n");
    std::printf("         setup %.3f  spectra %.3f  search %.3f  fits %.3f (%d iterations)  final %.3f", r.timing.setup,
                s.spectra, s.search, s.fits, s.iterations, r.timing.final);
    if (cold) std::printf("  | cold, whole process %.2f s", cold_run(star));
    std::printf("   [load %s]\n", load_average().c_str());
    std::fflush(stdout);
}

// Per-step times against K, in bins.
void growth_with_k(const Star& star)
{
    double wall = 0.0;
    const Result r = run(star, FitMethod::fast, 0, wall);
    std::printf("\ngrowth with K (%s, %zu points): seconds per step, mean over the bin\n", star.name, r.n);
    std::printf("   K from..to   spectrum   search      fit  iterations\n");
    for (int lo = 1; lo <= static_cast<int>(r.timing.steps.size()); lo += 25) {
        double sp = 0, se = 0, fi = 0;
        int it = 0, count = 0;
        for (const StepTiming& s : r.timing.steps)
            if (s.terms >= lo && s.terms < lo + 25) {
                sp += s.spectrum, se += s.search, fi += s.fit, it += s.iterations, ++count;
            }
        if (count > 0)
            std::printf("  %4d..%-4d   %8.4f %8.4f %8.4f  %6.1f\n", lo, lo + 24, sp / count, se / count, fi / count,
                        static_cast<double>(it) / count);
    }
}

void growth_with_n()
{
    std::printf("\ngrowth with N (the tess star's sampling and modes, 30 frequencies)\n");
    std::printf("       N        grid    total   per frequency  spectra   fits\n");
    for (std::size_t n : {11250, 22500, 45000, 90000, 180000}) {
        Star star = tess_star(n);
        star.frequencies = 30;
        double wall = 0.0;
        run(star, FitMethod::fast, 0, wall);
        const Result r = run(star, FitMethod::fast, 0, wall);
        const Stages s = stages_of(r);
        std::printf("  %7zu  %9zu  %7.2f  %10.4f  %8.3f %7.3f\n", n, r.grid.count, wall,
                    wall / static_cast<double>(std::max<std::size_t>(r.frequencies.size(), 1)), s.spectra, s.fits);
    }
}

bool same_tables(const Result& a, const Result& b)
{
    if (a.frequencies.size() != b.frequencies.size() || a.stop != b.stop) return false;
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
    const bool exact = argc > 1 && std::strcmp(argv[1], "--exact") == 0;
    std::printf("extraction speed, %s fit   [load %s]\n", exact ? "exact" : "fast", load_average().c_str());
    if (argc > 1 && !exact) {
        const std::string name = argv[1];
        const Star star = name == "tess"     ? tess_star()
                          : name == "kepler" ? kepler_star()
                          : name == "hads"   ? hads_star()
                          : name == "kic"    ? kic_star()
                                             : million_star();
        report(star, FitMethod::fast, true);
        return 0;
    }
    const Star tess = tess_star();
    if (exact) {
        report(tess, FitMethod::exact, false);
        report(kepler_star(), FitMethod::exact, false);
        report(kic_star(), FitMethod::exact, false);
        return 0;
    }
    report(tess, FitMethod::fast, true);
    report(kepler_star(), FitMethod::fast, true);
    const Star hads = hads_star();
    report(hads, FitMethod::fast, true);
    report(kic_star(), FitMethod::fast, true);
    report(million_star(), FitMethod::fast, true);
    growth_with_k(hads);
    growth_with_n();

    double wall = 0.0;
    const bool identical = same_tables(run(tess, FitMethod::fast, 0, wall), run(tess, FitMethod::fast, 1, wall));
    std::printf("\ntables of the tess star with all threads and with one: %s\n", identical ? "identical" : "DIFFERENT");
    return identical ? 0 : 1;
}
