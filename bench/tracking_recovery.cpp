// Recovery of orbits, and of amplitude trends, by tracking frequencies
// through time, on synthetic light curves of known truth, and on the
// Kepler star KIC 7917485 with its published companion.
//
// Synthetic stars: 5 to 30 modes between 5 and 22 c/d, at least 0.3 c/d
// apart, amplitudes log-uniform over 0.1 to 10 times the white noise per
// point, each with a linear amplitude trend of up to 20 % per year; white
// noise and, in most stars, an AR(1) red noise; Kepler-like (1,460 d,
// 65,000 points) or TESS-like (two years of the continuous viewing zone,
// 34,000 points) sampling.  Each star is made twice: its light delayed by
// a Keplerian orbit (P 50 to 1,500 d log-uniform, a1 sin i / c 5 to 300 s
// log-uniform, e 0 to 0.6), and not delayed.  The frequency table is the
// whole-curve fit of every mode from the truth.  Reported:
//   - orbits found (claimed, with P, a1 sin i / c and e within 3 reported
//     errors) where the expected S/N of the delays exceeds 10, and by S/N;
//   - orbits claimed without delays;
//   - amplitude slopes within 3 errors of the truth;
//   - the time of the tracking step.
//
//   tracking_recovery [stars per sampling] [--width W] [--no-trend] [--no-local-noise] [--no-consistency]
//                     [--verbose]            (default 100 stars, the library's defaults)
//   tracking_recovery --real [table.csv]     the Kepler star only, its tracking files written in the
//                                            current folder (kic7917485_W10.*.csv, kic7917485_W20.*.csv)
//   tracking_recovery --seed N               one synthetic star in detail (N >= 100000: TESS-like)
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "extraction/libraries.hpp"
#include "lightcurve/lightcurve.hpp"
#include "numerics/text.hpp"
#include "tracking/files.hpp"
#include "support/orbit_curves.hpp"
#include "tracking/track.hpp"

extern char** environ;

namespace fs = std::filesystem;
using namespace orbit_curves;

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// --- the Kepler star ---------------------------------------------------------

struct Table {
    std::vector<tracking::TableFrequency> frequencies;
    double t_ref = 0.0;
};

// A frequencies.csv of prewhiten: t_ref from the comment line, then id,
// frequency and amplitude of each row.
Table read_table(const fs::path& file)
{
    Table table;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("#", 0) == 0) {
            const std::size_t at = line.find("t_ref=");
            if (at != std::string::npos) table.t_ref = std::strtod(line.c_str() + at + 6, nullptr);
            continue;
        }
        if (line.rfind("id,", 0) == 0 || line.empty()) continue;
        std::stringstream row(line);
        std::string id, f, ferr, a;
        std::getline(row, id, ',');
        std::getline(row, f, ',');
        std::getline(row, ferr, ',');
        std::getline(row, a, ',');
        table.frequencies.push_back({std::stoi(id), std::stod(f), std::stod(a)});
    }
    return table;
}

// The table of prewhiten --unit mag --fmin 0.5 --max-frequencies 40.
fs::path make_table(const fs::path& light_curve)
{
    const fs::path folder = fs::temp_directory_path() / ("tracking_recovery_" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::vector<std::string> args = {PREWHITEN_PROGRAM, "--unit", "mag", "--fmin", "0.5", "--max-frequencies", "40",
                                     "--plot", "none", "-o", folder.string(), light_curve.string()};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::perror(PREWHITEN_PROGRAM);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "prewhiten failed on %s\n", light_curve.c_str());
        std::exit(1);
    }
    return folder / (light_curve.stem().string() + ".frequencies.csv");
}

void real_star(const std::string& table_file, const tracking::Settings& base, bool write_files)
{
    const fs::path lc_file = fs::path(EXAMPLES_DIR) / "kic7917485_kepler_lc.txt";
    const auto t0 = std::chrono::steady_clock::now();
    const fs::path table_path = table_file.empty() ? make_table(lc_file) : fs::path(table_file);
    const double table_seconds = seconds_since(t0);
    const Table table = read_table(table_path);
    if (table_file.empty()) fs::remove_all(table_path.parent_path());
    lightcurve::LightCurve lc = lightcurve::read_file(lc_file.string(), {});
    lightcurve::sort_by_time(lc);
    lightcurve::convert(lc, lightcurve::Unit::mag);
    std::printf("KIC 7917485: %zu points, %zu frequencies (table %.1f s, t_ref %.6f)\n", lc.size(),
                table.frequencies.size(), table_seconds, table.t_ref);
    for (double width : {10.0, 20.0}) {
        tracking::Settings settings = base;
        settings.width = width;
        const auto t1 = std::chrono::steady_clock::now();
        const tracking::Result r = tracking::track(lc.times, lc.values, {}, table.frequencies, table.t_ref, settings);
        const double seconds = seconds_since(t1);
        const tracking::OrbitFit& o = r.orbit;
        std::printf("  W = %2.0f d: %zu windows used of %zu, %zu with delays, %zu frequencies fitted; "
                    "log10 FAP %.1f at P %.0f d (%.3f s)\n",
                    width, r.counts.used, r.windows.size(), r.delays.size(), r.fitted.size(), r.spectrum.log10_fap,
                    1.0 / r.spectrum.peak_frequency, seconds);
        if (o.fitted)
            std::printf("    orbit (%s): P %.1f +- %.1f d, a1 sin i / c %.2f +- %.2f s, e %.2f +- %.2f, chi2/dof %.2f, "
                        "f(M) %.3g M_sun, K1 %.3f km/s; F-test %.2g\n"
                        "    published 840 +- 21 d, 7.05 +- 0.45 s, e 0.15 (Murphy et al. 2016, ApJL 827, L17): "
                        "P off %.1f %%, a1 sin i / c off %.1f %%  -> %s\n",
                        o.eccentric ? "eccentric" : "circular", o.orbit.period, o.period_err, o.orbit.asini,
                        o.asini_err, o.orbit.e, o.e_err, o.chi2_dof, o.mass_function, o.k1, o.f_test_probability,
                        100.0 * (o.orbit.period / 840.0 - 1.0), 100.0 * (o.orbit.asini / 7.05 - 1.0),
                        std::fabs(o.orbit.period / 840.0 - 1.0) <= 0.10 && std::fabs(o.orbit.asini / 7.05 - 1.0) <= 0.25
                            ? "within the targets"
                            : "OUTSIDE the targets");
        else
            std::printf("    no orbit claimed\n");
        std::printf("    time: windows %.3f s, delays %.3f s, search %.3f s, orbit %.3f s\n", r.timing.windows,
                    r.timing.delays, r.timing.search, r.timing.orbit);
        for (std::size_t i = 0; i < std::min<std::size_t>(r.fitted.size(), 6); ++i)
            std::printf("    f%d %.4f c/d: noise factor %.2f, consistency scale %.2f, delay chi2/dof %.2f\n",
                        r.table[r.fitted[i]].id, r.table[r.fitted[i]].frequency, r.noise_factor[i],
                        r.consistency_scale[i], r.modulation[i].time_delay_chi2_dof);
        if (write_files) {
            const tracking::FileContext context{"mmag", table_path.filename().string()};
            const std::string stem = "kic7917485_W" + numerics::full_number(width);
            std::ofstream(stem + ".track.csv") << tracking::track_csv(r, context);
            std::ofstream(stem + ".timedelay.csv") << tracking::timedelay_csv(r, context);
            std::ofstream(stem + ".modulation.csv") << tracking::modulation_csv(r, context);
            std::ofstream(stem + ".orbit.csv") << tracking::orbit_csv(r, context);
        }
    }
    std::fflush(stdout);
}

// --- synthetic stars -----------------------------------------------------------

struct Drawn {
    Star star;
    std::vector<double> times;
};

Drawn draw_star(Sampling sampling, unsigned seed)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    auto log_uniform = [&](double lo, double hi) { return lo * std::pow(hi / lo, uni(gen)); };
    Drawn d;
    d.times = sample_times(sampling, gen);
    Star& s = d.star;
    const int count = 5 + static_cast<int>(26.0 * uni(gen));
    for (int tries = 0; static_cast<int>(s.modes.size()) < count && tries < 10000; ++tries) {
        const double f = 5.0 + 17.0 * uni(gen);
        bool apart = true;
        for (const Mode& m : s.modes) apart = apart && std::fabs(m.frequency - f) > 0.3;
        if (!apart) continue;
        s.modes.push_back({f, log_uniform(0.1, 10.0), uni(gen), 0.4 * uni(gen) - 0.2});
    }
    s.white = 1.0;
    if (uni(gen) < 0.7) {
        s.red = 0.5 + 2.5 * uni(gen);
        s.red_time = log_uniform(0.05, 0.5);
    }
    s.orbit.period = log_uniform(50.0, 1500.0);
    s.orbit.asini = log_uniform(5.0, 300.0);
    s.orbit.e = 0.6 * uni(gen);
    s.orbit.varpi = 2.0 * M_PI * uni(gen);
    s.orbit.t_p = d.times.front() + s.orbit.period * uni(gen);
    return d;
}

struct Tally {
    int stars = 0;
    int strong = 0, strong_claimed = 0, strong_found = 0;  // expected S/N > 10
    int strong_p = 0, strong_a = 0, strong_e = 0;          // each within 3 errors, among those claimed
    int within_1 = 0, within_2 = 0, z_count = 0;           // |z| of P, a1 sin i / c and e within 1 and 2
    int middle = 0, middle_claimed = 0;                    // S/N 5 to 10
    int weak = 0, weak_claimed = 0;                        // S/N below 5
    int null_claims = 0, null_below_10 = 0, null_below_100 = 0;  // and false-alarm probabilities below 0.1, 0.01
    int slopes = 0, slopes_within = 0;                     // amplitude slopes, all fitted modes
    int clear_slopes = 0, clear_within = 0;                // those with window amplitudes above 3 errors
    double worst_z = 0.0;
    double table_seconds = 0.0, track_seconds = 0.0;
};

double z_of(double value, double truth, double error)
{
    return error > 0.0 && std::isfinite(error) ? (value - truth) / error : INFINITY;
}

void count_slopes(const tracking::Result& r, const Star& star, Tally& t)
{
    for (std::size_t i = 0; i < r.fitted.size(); ++i) {
        const Mode& m = star.modes[r.fitted[i]];
        const tracking::Modulation& mod = r.modulation[i];
        if (!std::isfinite(mod.amplitude_slope)) continue;
        const double truth = m.amplitude * m.trend;
        const bool within = std::fabs(z_of(mod.amplitude_slope, truth, mod.amplitude_slope_err)) <= 3.0;
        ++t.slopes;
        if (within) ++t.slopes_within;
        double typical = 0.0;
        int n = 0;
        for (const tracking::WindowResult& wr : r.windows)
            if (!wr.cells.empty()) {
                typical += wr.cells[i].amplitude_err;
                ++n;
            }
        if (n > 0 && m.amplitude > 3.0 * typical / n) {
            ++t.clear_slopes;
            if (within) ++t.clear_within;
        }
    }
}

void run_star(Sampling sampling, unsigned seed, const tracking::Settings& settings, Tally& t, bool verbose)
{
    const Drawn d = draw_star(sampling, seed);
    for (bool delayed : {true, false}) {
        Star star = d.star;
        star.delayed = delayed;
        std::mt19937_64 noise(seed * 7919u + 1u);  // the same noise with and without delays
        const Curve c = make_curve(d.times, star, noise);
        auto t0 = std::chrono::steady_clock::now();
        const std::vector<tracking::TableFrequency> table = fitted_table(c, star);
        t.table_seconds += seconds_since(t0);
        t0 = std::chrono::steady_clock::now();
        const tracking::Result r = tracking::track(c.times, c.values, {}, table, c.t_ref, settings);
        t.track_seconds += seconds_since(t0);
        count_slopes(r, star, t);
        if (!delayed) {
            if (r.spectrum.claimed) ++t.null_claims;
            if (r.spectrum.log10_fap < -1.0) ++t.null_below_10;
            if (r.spectrum.log10_fap < -2.0) ++t.null_below_100;
            if (verbose && r.spectrum.claimed)
                std::printf("    seed %u null claim: log10 FAP %.1f at P %.1f d\n", seed, r.spectrum.log10_fap,
                            1.0 / r.spectrum.peak_frequency);
            continue;
        }
        const double snr = expected_delay_snr(c, star, settings.width);
        const tracking::OrbitFit& o = r.orbit;
        const bool claimed = r.spectrum.claimed && o.fitted;
        const double zp = claimed ? z_of(o.orbit.period, star.orbit.period, o.period_err) : INFINITY;
        const double za = claimed ? z_of(o.orbit.asini, star.orbit.asini, o.asini_err) : INFINITY;
        const double ze = claimed ? z_of(o.orbit.e, star.orbit.e, o.e_err) : INFINITY;
        if (snr > 10.0) {
            ++t.strong;
            if (claimed) {
                ++t.strong_claimed;
                t.strong_p += std::fabs(zp) <= 3.0;
                t.strong_a += std::fabs(za) <= 3.0;
                t.strong_e += std::fabs(ze) <= 3.0;
                if (std::fabs(zp) <= 3.0 && std::fabs(za) <= 3.0 && std::fabs(ze) <= 3.0) ++t.strong_found;
                t.worst_z = std::max({t.worst_z, std::fabs(zp), std::fabs(za), std::fabs(ze)});
                for (double z : {zp, za, ze}) {
                    ++t.z_count;
                    t.within_1 += std::fabs(z) <= 1.0;
                    t.within_2 += std::fabs(z) <= 2.0;
                }
            }
        } else if (snr > 5.0) {
            ++t.middle;
            t.middle_claimed += claimed;
        } else {
            ++t.weak;
            t.weak_claimed += claimed;
        }
        if (verbose && snr > 10.0 && !(std::fabs(zp) <= 3.0 && std::fabs(za) <= 3.0 && std::fabs(ze) <= 3.0))
            std::printf("    seed %u S/N %.0f: true P %.1f a %.1f e %.2f (%zu modes); %s P %.1f+-%.1f a %.2f+-%.2f e "
                        "%.2f+-%.2f chi2/dof %.2f %s (z %.1f %.1f %.1f)\n",
                        seed, snr, star.orbit.period, star.orbit.asini, star.orbit.e, star.modes.size(),
                        claimed ? "fit" : "NOT CLAIMED", o.orbit.period, o.period_err, o.orbit.asini, o.asini_err,
                        o.orbit.e, o.e_err, o.chi2_dof, o.eccentric ? "ecc" : "circ", zp, za, ze);
    }
    ++t.stars;
}

void print(const char* name, const Tally& t)
{
    auto pct = [](int a, int b) { return b > 0 ? 100.0 * a / b : 0.0; };
    std::printf("%s: %d stars, each with and without delays\n", name, t.stars);
    std::printf("  expected delay S/N > 10: %d stars, claimed %d, found (P, a1 sin i / c and e within 3 errors) %d = "
                "%.1f %%  [P %d, a %d, e %d of the claimed; worst %.1f sigma]\n",
                t.strong, t.strong_claimed, t.strong_found, pct(t.strong_found, t.strong), t.strong_p, t.strong_a,
                t.strong_e, t.worst_z);
    std::printf("  errors: of the claimed P, a1 sin i / c and e, %.1f %% within 1 error and %.1f %% within 2 "
                "(Gaussian: 68.3 and 95.4)\n",
                pct(t.within_1, t.z_count), pct(t.within_2, t.z_count));
    std::printf("  S/N 5 to 10: claimed %d of %d; below 5: claimed %d of %d\n", t.middle_claimed, t.middle,
                t.weak_claimed, t.weak);
    std::printf("  without delays: orbits claimed %d of %d = %.1f %%; false-alarm probability below 0.1 in %.1f %%, "
                "below 0.01 in %.1f %%\n",
                t.null_claims, t.stars, pct(t.null_claims, t.stars), pct(t.null_below_10, t.stars),
                pct(t.null_below_100, t.stars));
    std::printf("  amplitude slopes within 3 errors: %d of %d = %.1f %% (window amplitudes above 3 errors: %d of %d = "
                "%.1f %%)\n",
                t.slopes_within, t.slopes, pct(t.slopes_within, t.slopes), t.clear_within, t.clear_slopes,
                pct(t.clear_within, t.clear_slopes));
    std::printf("  time per curve: table fit %.3f s, tracking %.3f s\n", t.table_seconds / (2 * t.stars),
                t.track_seconds / (2 * t.stars));
    std::fflush(stdout);
}

// One star in detail: its truth, its fit with and without delays, and its
// tracking files in the current folder (star_<seed>_{delayed,null}.*.csv).
void one_star(Sampling sampling, unsigned seed)
{
    const Drawn d = draw_star(sampling, seed);
    std::printf("seed %u: %zu modes, red %.2f (%.3f d); orbit P %.2f d, a1 sin i / c %.3f s, e %.3f, varpi %.1f deg\n",
                seed, d.star.modes.size(), d.star.red, d.star.red_time, d.star.orbit.period, d.star.orbit.asini,
                d.star.orbit.e, d.star.orbit.varpi * 180.0 / M_PI);
    for (bool delayed : {true, false}) {
        Star star = d.star;
        star.delayed = delayed;
        std::mt19937_64 noise(seed * 7919u + 1u);
        const Curve c = make_curve(d.times, star, noise);
        const std::vector<tracking::TableFrequency> table = fitted_table(c, star);
        const tracking::Result r = tracking::track(c.times, c.values, {}, table, c.t_ref, {});
        const tracking::OrbitFit& o = r.orbit;
        std::printf("  %s: expected S/N %.1f; log10 FAP %.2f at P %.2f d; circular chi2 %.1f, eccentric %.1f, F-test "
                    "%.3g\n",
                    delayed ? "delayed" : "not delayed", delayed ? expected_delay_snr(c, star, 10.0) : 0.0,
                    r.spectrum.log10_fap, 1.0 / r.spectrum.peak_frequency, o.circular_chi2, o.eccentric_chi2,
                    o.f_test_probability);
        if (o.fitted)
            std::printf("    %s: P %.2f +- %.2f, a %.3f +- %.3f, e %.3f +- %.3f, varpi %.1f +- %.1f deg, "
                        "chi2/dof %.2f, trend %.4f s/d\n",
                        o.eccentric ? "eccentric" : "circular", o.orbit.period, o.period_err, o.orbit.asini,
                        o.asini_err, o.orbit.e, o.e_err, o.orbit.varpi * 180 / M_PI, o.varpi_err * 180 / M_PI,
                        o.chi2_dof, o.trend);
        const tracking::FileContext context{"none", "truth fit"};
        const std::string stem = "star_" + std::to_string(seed) + (delayed ? "_delayed" : "_null");
        std::ofstream(stem + ".timedelay.csv") << tracking::timedelay_csv(r, context);
        std::ofstream(stem + ".track.csv") << tracking::track_csv(r, context);
        std::ofstream(stem + ".modulation.csv") << tracking::modulation_csv(r, context);
        std::ofstream(stem + ".orbit.csv") << tracking::orbit_csv(r, context);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    extraction::configure_libraries();
    if (argc > 2 && std::strcmp(argv[1], "--seed") == 0) {
        const unsigned seed = static_cast<unsigned>(std::atoi(argv[2]));
        one_star(seed >= 100000u ? Sampling::tess : Sampling::kepler, seed);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--real") == 0) {
        real_star(argc > 2 ? argv[2] : "", {}, true);
        return 0;
    }
    int stars = 100;
    bool verbose = false;
    tracking::Settings settings;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        if (a == "--no-trend") settings.orbit.trend = false;
        else if (a == "--no-local-noise") settings.local_noise = false;
        else if (a == "--no-consistency") settings.consistency = false;
        else if (a == "--verbose") verbose = true;
        else if (a == "--width" && k + 1 < argc) settings.width = std::atof(argv[++k]);
        else stars = std::atoi(argv[k]);
    }
    for (Sampling sampling : {Sampling::kepler, Sampling::tess}) {
        Tally t;
        for (int i = 0; i < stars; ++i)  // seeds 1, 2, ... and 100001, 100002, ...
            run_star(sampling, 1u + static_cast<unsigned>(i) + (sampling == Sampling::tess ? 100000u : 0u), settings,
                     t, verbose);
        const std::string name = std::string(sampling == Sampling::kepler ? "Kepler-like" : "TESS-like") + ", " +
                                 numerics::full_number(settings.width) + "-day windows";
        print(name.c_str(), t);
    }
    real_star("", settings, false);
    return 0;
}
