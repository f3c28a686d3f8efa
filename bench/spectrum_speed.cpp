// Speed, accuracy and memory of the amplitude spectrum, measured in one run:
//
//   1. speed: 45,000 points over 80,000 frequencies (a delta Scuti star
//      observed for 80 days, 0 to 100 c/d), fast and exact methods; 10^6
//      points over 10^6 frequencies (the exact method's time there is
//      scaled from the rows it computes for the accuracy check);
//   2. how the fast method's cost grows with N and with the grid;
//   3. the peak memory of the two speed cases, each in a child process;
//   4. the largest difference between the fast and exact methods relative
//      to the highest peak: on every row where the exact sums cost at most
//      `full_budget` point-frequency pairs, elsewhere on blocks of rows at
//      both ends of the grid, around the highest peak and spread between;
//   5. the same difference for each tolerance, on pure noise and on a
//      noise-free signal between grid frequencies (the kernel width rule);
//   6. both methods against periodscan's Scargle output file on its largest
//      case (10,000 points, 400,001 frequencies), in units of the allowed
//      difference: half a unit of the file's eighth decimal plus 1e-9 of the
//      highest peak.
//
// Wall-clock seconds with all threads (the machine may be shared: the load
// average is printed before and after; run it several times).
//
//   spectrum_speed [repeats [full_budget]]     (default 5 and 4e9)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "common/format.hpp"
#include "periodscan/periodscan.hpp"
#include "support/periodscan_file.hpp"
#include "spectrum/spectrum.hpp"
#include "timeseries/timeseries.hpp"

namespace {

using spectrum::Grid;
using spectrum::Method;
using spectrum::Plan;
using spectrum::Settings;

struct Series {
    std::vector<double> t, x;
};

enum class Kind { delta_scuti, noise, pure_signal, even_cadence };

const char* kind_name(Kind kind)
{
    switch (kind) {
    case Kind::delta_scuti: return "delta Sct modes + noise";
    case Kind::noise: return "pure noise";
    case Kind::pure_signal: return "one signal off the grid, no noise";
    case Kind::even_cadence: return "even cadence, modes + noise";
    }
    return "";
}

struct Shape {
    std::size_t n;
    Kind kind;
    double start;  // BJD of the first observation
    double span;   // days
};

// Observations in sectors of 27 days with a 1-day gap in each and 3 days
// between sectors; uneven (jittered) cadence unless the kind says even.
Series make_series(const Shape& shape, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const double modes[][2] = {{17.3171, 8.0}, {21.77, 5.0}, {13.0301, 3.0}, {34.63, 1.0}, {9.8, 0.6}};
    Series s;
    double cadence = shape.span / static_cast<double>(shape.n);
    for (std::size_t k = 0; k < shape.n; ++k) {
        double jitter = shape.kind == Kind::even_cadence ? 0.0 : 0.45 * uniform(rng);
        double offset = (static_cast<double>(k) + jitter) * cadence;
        double in_sector = std::fmod(offset, 30.0);
        if (in_sector > 27.0) offset += 30.0 - in_sector;  // between sectors
        if (std::fabs(in_sector - 13.5) < 0.5) offset += 1.0;  // the mid-sector downlink
        s.t.push_back(shape.start + offset);
        double value = 0.0;
        if (shape.kind == Kind::pure_signal) {
            value = 10.0 * std::sin(2.0 * std::numbers::pi * std::fmod(23.456789 * offset, 1.0) + 0.3);
        } else {
            for (const auto& mode : modes)
                if (shape.kind != Kind::noise)
                    value += mode[1] * std::sin(2.0 * std::numbers::pi * std::fmod(mode[0] * offset, 1.0) + mode[0]);
            value += gauss(rng);
        }
        s.x.push_back(value);
    }
    return s;
}

// A grid whose first frequency and step are multiples of 2^-40, so that
// every sub-grid's first frequency is exact and the exact method computed
// on a block of rows sees the very frequencies of the whole grid.
Grid exact_grid(double fmin, double step, std::size_t count)
{
    const double unit = std::ldexp(1.0, -40);
    return {std::round(fmin / unit) * unit, std::round(step / unit) * unit, count};
}

double span_of(const Series& s)
{
    auto [low, high] = std::minmax_element(s.t.begin(), s.t.end());
    return *high - *low;
}

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string load_average()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

Settings settings_of(Method method, double tolerance = spectrum::default_tolerance)
{
    Settings s;
    s.method = method;
    s.tolerance = tolerance;
    return s;
}

// Best and median of repeated timings.
struct Timing {
    double best = 0.0, median = 0.0;
};

Timing summary(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

// One spectrum by the fast method, timed: the plan alone, one spectrum on
// a plan, and both together, over `repeats` runs.
struct FastRun {
    Timing plan, spectrum, total;
    std::vector<double> amplitude;
};

FastRun time_fast(const Series& s, const Grid& grid, int repeats)
{
    FastRun run;
    std::vector<double> plans, spectra, totals;
    for (int r = 0; r < repeats; ++r) {
        double start = now();
        Plan plan(s.t, grid, settings_of(Method::nufft));
        double planned = now();
        run.amplitude = plan.amplitude(s.x);
        double done = now();
        plans.push_back(planned - start);
        spectra.push_back(done - planned);
        totals.push_back(done - start);
    }
    run.plan = summary(plans);
    run.spectrum = summary(spectra);
    run.total = summary(totals);
    return run;
}

double highest(const std::vector<double>& a)
{
    double top = 0.0;
    for (double v : a)
        if (!std::isnan(v)) top = std::max(top, v);
    return top;
}

// The exact amplitudes on rows first .. first + count - 1 of the grid.
std::vector<double> exact_rows(const Series& s, const Grid& grid, std::size_t first, std::size_t count)
{
    Grid rows{grid.fmin + static_cast<double>(first) * grid.step, grid.step, count};
    return Plan(s.t, rows, settings_of(Method::exact)).amplitude(s.x);
}

// The comparison of a fast spectrum with the exact one.
struct Agreement {
    double largest = 0.0;  // relative to the highest peak
    std::size_t row = 0;
    double first_row = 0.0, last_row = 0.0;  // relative errors at the two ends
    std::size_t rows_checked = 0;
    double exact_seconds = 0.0;  // of the exact rows computed
};

void compare_block(const std::vector<double>& fast, const std::vector<double>& exact, std::size_t first,
                   double peak, Agreement& a)
{
    for (std::size_t d = 0; d < exact.size(); ++d) {
        std::size_t j = first + d;
        ++a.rows_checked;
        if (std::isnan(exact[d]) && std::isnan(fast[j])) continue;
        double e = std::fabs(fast[j] - exact[d]) / peak;
        if (std::isnan(e)) e = INFINITY;
        if (e > a.largest) {
            a.largest = e;
            a.row = j;
        }
        if (j == 0 || (j == 1 && std::isnan(fast[0]))) a.first_row = e;
        if (j + 1 == fast.size()) a.last_row = e;
    }
}

// Every row when affordable, else blocks of rows: both ends, around the
// highest peak and spread over the grid.
Agreement agreement(const Series& s, const Grid& grid, const std::vector<double>& fast, double full_budget)
{
    Agreement a;
    double peak = highest(fast);
    double start = now();
    if (static_cast<double>(s.t.size()) * static_cast<double>(grid.count) <= full_budget) {
        compare_block(fast, Plan(s.t, grid, settings_of(Method::exact)).amplitude(s.x), 0, peak, a);
    } else {
        constexpr std::size_t block = 64;
        constexpr int spread_blocks = 5;
        std::size_t top = std::max_element(fast.begin(), fast.end(), [](double p, double q) {
                              return std::isnan(p) || (!std::isnan(q) && p < q);
                          }) - fast.begin();
        std::vector<std::size_t> firsts{0, grid.count - block, top > block / 2 ? top - block / 2 : 0};
        for (int i = 1; i <= spread_blocks; ++i) firsts.push_back(grid.count / (spread_blocks + 1) * i);
        for (std::size_t first : firsts) {
            first = std::min(first, grid.count - block);
            compare_block(fast, exact_rows(s, grid, first, block), first, peak, a);
        }
    }
    a.exact_seconds = now() - start;
    return a;
}

void print_agreement(const char* label, const Shape& shape, const Grid& grid, const Agreement& a)
{
    std::printf("  %-9s N %8zu  grid %9zu  %-34s BJD %.0f  %s rows %7zu: largest %.2e (row %zu)  first %.1e  last "
                "%.1e\n",
                label, shape.n, grid.count, kind_name(shape.kind), shape.start,
                a.rows_checked == grid.count ? "all " : "some", a.rows_checked, a.largest, a.row, a.first_row,
                a.last_row);
}

// Peak resident memory of building a plan and one spectrum, above what the
// process held before, in a child process so that each case starts fresh.
struct Memory {
    double peak_mb = 0.0;
    double estimate_mb = 0.0;
};

long status_kb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

Memory measure_memory(const Shape& shape, double fmax, std::size_t count)
{
    int channel[2];
    if (pipe(channel) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        Series s = make_series(shape, 11);
        Grid grid = exact_grid(0.0, fmax / static_cast<double>(count), count);
        long before = status_kb("VmRSS:");
        {
            Plan plan(s.t, grid, settings_of(Method::nufft));
            std::vector<double> a = plan.amplitude(s.x);
        }
        long peak = status_kb("VmHWM:");
        double figures[2] = {(peak - before) / 1024.0,
                             spectrum::memory_needed(s.t.size(), grid, settings_of(Method::nufft)) / 1048576.0};
        ssize_t written = write(channel[1], figures, sizeof figures);
        _exit(written == sizeof figures ? 0 : 1);
    }
    close(channel[1]);
    double figures[2] = {0.0, 0.0};
    ssize_t got = read(channel[0], figures, sizeof figures);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (got != sizeof figures) return {};
    return {figures[0], figures[1]};
}

void speed_and_memory(int repeats, double full_budget)
{
    std::printf("\n1. Speed (wall seconds, best / median of %d; plan + one spectrum, and one spectrum on a plan)\n",
                repeats);
    Shape tess{45000, Kind::delta_scuti, 2459000.0, 80.0};
    Series s = make_series(tess, 1);
    Grid grid = exact_grid(0.0, 100.0 / 80000.0, 80000);
    FastRun fast = time_fast(s, grid, repeats);
    double start = now();
    std::vector<double> exact = Plan(s.t, grid, settings_of(Method::exact)).amplitude(s.x);
    double exact_seconds = now() - start;
    std::printf("  45,000 x 80,000   nufft %.4f / %.4f  (plan %.4f, spectrum %.4f / %.4f)   exact %.2f\n",
                fast.total.best, fast.total.median, fast.plan.best, fast.spectrum.best, fast.spectrum.median,
                exact_seconds);
    Agreement tess_agreement;
    compare_block(fast.amplitude, exact, 0, highest(fast.amplitude), tess_agreement);

    Shape million{1000000, Kind::delta_scuti, 2458000.0, 1400.0};
    Series big = make_series(million, 2);
    Grid big_grid = exact_grid(0.0, 1.0 / (10.0 * span_of(big)), 1000000);
    FastRun big_fast = time_fast(big, big_grid, repeats);
    Agreement big_agreement = agreement(big, big_grid, big_fast.amplitude, full_budget);
    double exact_estimate =
        big_agreement.exact_seconds / static_cast<double>(big_agreement.rows_checked) * big_grid.count;
    std::printf("  10^6 x 10^6       nufft %.4f / %.4f  (plan %.4f, spectrum %.4f / %.4f)   exact ~%.0f (scaled "
                "from %zu rows)\n",
                big_fast.total.best, big_fast.total.median, big_fast.plan.best, big_fast.spectrum.best,
                big_fast.spectrum.median, exact_estimate, big_agreement.rows_checked);
    std::printf("  agreement on these two:\n");
    print_agreement("speed", tess, grid, tess_agreement);
    print_agreement("speed", million, big_grid, big_agreement);
}

void growth(int repeats)
{
    std::printf("\n2. Growth of the fast method (wall seconds, best of %d, plan + one spectrum)\n", repeats);
    for (std::size_t n : {10000ul, 100000ul, 1000000ul}) {
        Series s = make_series({n, Kind::delta_scuti, 2458000.0, 1400.0}, 3);
        Grid grid = exact_grid(0.0, 1.0 / (10.0 * span_of(s)), 1000000);
        std::printf("  N %8zu  grid %9zu   %.4f\n", n, grid.count, time_fast(s, grid, repeats).total.best);
    }
    Series s = make_series({100000, Kind::delta_scuti, 2458000.0, 1400.0}, 3);
    for (std::size_t count : {100000ul, 1000000ul, 10000000ul}) {
        Grid grid = exact_grid(0.0, 1.0 / (10.0 * span_of(s)), count);
        std::printf("  N %8zu  grid %9zu   %.4f\n", s.t.size(), count, time_fast(s, grid, repeats).total.best);
    }
}

void accuracy(double full_budget)
{
    std::printf("\n4. Fast against exact, default tolerance, relative to the highest peak\n");
    const struct {
        Shape shape;
        double oversample;
        std::size_t count;
    } cases[] = {
        {{10, Kind::delta_scuti, 2450000.0, 5.0}, 10.0, 10000},
        {{1000, Kind::delta_scuti, 2457000.0, 27.0}, 10.0, 100000},
        {{20000, Kind::noise, 2457000.0, 60.0}, 10.0, 40000},
        {{10000, Kind::pure_signal, 2459000.0, 57.0}, 10.0, 100000},
        {{10000, Kind::even_cadence, 2458000.0, 27.0}, 10.0, 1000000},
        {{100000, Kind::pure_signal, 2459000.0, 800.0}, 10.0, 10000000},
        {{1000000, Kind::noise, 2458000.0, 1400.0}, 10.0, 1000000},
        {{1000000, Kind::even_cadence, 2450000.0, 1400.0}, 5.0, 10000000},
    };
    for (const auto& c : cases) {
        Series s = make_series(c.shape, 5);
        Grid grid = exact_grid(0.0, 1.0 / (c.oversample * span_of(s)), c.count);
        std::vector<double> fast = Plan(s.t, grid, settings_of(Method::nufft)).amplitude(s.x);
        print_agreement("", c.shape, grid, agreement(s, grid, fast, full_budget));
    }
}

void width_rule()
{
    std::printf("\n5. Largest difference from exact for each tolerance (every row; N 20,000, grid 40,000)\n");
    for (Kind kind : {Kind::noise, Kind::pure_signal}) {
        Series s = make_series({20000, kind, 2457000.0, 60.0}, 7);
        Grid grid = exact_grid(0.0, 1.0 / (10.0 * span_of(s)), 40000);
        std::vector<double> exact = Plan(s.t, grid, settings_of(Method::exact)).amplitude(s.x);
        std::printf("  %-34s", kind_name(kind));
        for (int digits = 2; digits <= 12; ++digits) {
            double tolerance = std::pow(10.0, -digits);
            Plan plan(s.t, grid, settings_of(Method::nufft, tolerance));
            Agreement a;
            compare_block(plan.amplitude(s.x), exact, 0, highest(exact), a);
            std::printf("  %.0e:w%d %.1e", tolerance, plan.kernel_width(), a.largest);
        }
        std::printf("\n");
    }
}

// The amplitudes periodscan's Scargle search writes, as read back from the
// text of its output file.
std::vector<double> periodscan_amplitudes(const std::vector<double>& t, const std::vector<double>& x, double step,
                                          int nf)
{
    std::vector<double> printed;
    for (const spectrum_test::Row& row : spectrum_test::periodscan_file(t, x, 0.0, nf, step))
        printed.push_back(row.amplitude);
    return printed;
}

void periodscan_agreement()
{
    std::printf("\n6. Against periodscan's Scargle file: 10,000 points, 0 to 40 c/d in 400,001 rows (largest "
                "difference / allowed)\n");
    Series s = make_series({periodscan::nmax, Kind::delta_scuti, 2457000.0, 60.0}, 9);
    double step = 1e-4;
    int nf = periodscan::maxf;
    std::vector<double> printed = periodscan_amplitudes(s.t, s.x, step, nf);
    double allowed = 0.5e-8 + 1e-9 * highest(printed);
    Grid grid{0.0, step, static_cast<std::size_t>(nf)};
    for (Method method : {Method::nufft, Method::exact}) {
        std::vector<double> a = Plan(s.t, grid, settings_of(method)).amplitude(s.x);
        double largest = 0.0;
        bool nan_rows_agree = true;
        for (int j = 0; j < nf; ++j) {
            if (std::isnan(printed[j]) || std::isnan(a[j])) {
                nan_rows_agree = nan_rows_agree && std::isnan(printed[j]) && std::isnan(a[j]);
                continue;
            }
            largest = std::max(largest, std::fabs(a[j] - printed[j]));
        }
        std::printf("  %-5s %.3f of the allowed %.2e%s\n", method == Method::exact ? "exact" : "nufft",
                    largest / allowed, allowed, nan_rows_agree ? " (NaN rows agree)" : " (NaN ROWS DIFFER)");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    int repeats = argc > 1 ? std::atoi(argv[1]) : 5;
    double full_budget = argc > 2 ? std::atof(argv[2]) : 4e9;
    if (repeats < 1 || !(full_budget >= 0.0)) return 1;
    std::printf("Amplitude spectrum: %ld processors; load average %s\n", sysconf(_SC_NPROCESSORS_ONLN),
                load_average().c_str());
    // Memory first, while this process holds little.
    Memory tess = measure_memory({45000, Kind::delta_scuti, 2459000.0, 80.0}, 100.0, 80000);
    Memory million = measure_memory({1000000, Kind::delta_scuti, 2458000.0, 1400.0}, 71.4, 1000000);
    speed_and_memory(repeats, full_budget);
    growth(std::max(1, repeats / 2));
    std::printf("\n3. Peak memory above the series (plan + one spectrum, MB; memory_needed's estimate)\n");
    std::printf("  45,000 x 80,000   %.1f  (estimate %.1f)\n", tess.peak_mb, tess.estimate_mb);
    std::printf("  10^6 x 10^6       %.1f  (estimate %.1f)\n", million.peak_mb, million.estimate_mb);
    accuracy(full_budget);
    width_rule();
    periodscan_agreement();
    std::printf("\nload average %s\n", load_average().c_str());
    return 0;
}
