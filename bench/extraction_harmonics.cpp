// A harmonic series locked to one frequency (--harmonics F0) on RR
// Lyrae-like stars: a fundamental with 17 harmonics (amplitudes falling
// geometrically, S/N from 7000 to 30, as in RRab light curves), three
// independent modes away from the harmonics (S/N 60, 25, 12), white
// noise, a sector of space photometry (18,000 points over 27 d).  Per
// star, one run each of:
//
//   locked, fast   --harmonics F0 with F0 off the truth by 0.3 / T
//   locked, exact  the same with the direct assembly of the normal equations
//   free, fast     the same star without the lock
//
// and reported: how many harmonics are locked and labelled "nf1", F's
// distance to the truth in its standard errors, whether the independent
// modes stay free (and are found), the run times, the largest
// difference between the fast and the exact tables, and without the lock
// how many of the harmonics found are labelled harmonics of the
// fundamental ("unlocked": labelled / found).
//
//   extraction_harmonics [stars]   (default 5)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "support/synthetic_curves.hpp"

using namespace extraction;

namespace {

constexpr int harmonics = 18;  // the fundamental and 17 harmonics
// The independent modes in units of F: a first overtone (period ratio
// 0.745, as in double-mode RR Lyrae stars) and two non-radial modes, all
// at least a third of F from every harmonic.
constexpr double modes[] = {1.3423, 2.6130, 3.4710};

struct Star {
    synthetic::Curve curve;
    double f0 = 0.0;
};

Star make_star(unsigned seed)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    synthetic::Recipe r;
    r.n = 18000;
    r.span = 27.0;
    r.gaps = false;
    r.white = 5.0;  // mmag
    r.seed = seed;
    Star star;
    star.f0 = 1.6 + 0.6 * uni(gen);  // periods 0.45 to 0.63 d
    // Amplitude S/N from about 7000 (fundamental) to 30 (the 18th).
    const double level = r.white * std::sqrt(M_PI / static_cast<double>(r.n));
    for (int n = 1; n <= harmonics; ++n)
        r.signals.push_back({{n * star.f0, 7000.0 * level * std::pow(0.72, n - 1), uni(gen)}, ""});
    const double mode_snr[] = {60.0, 25.0, 12.0};
    for (int i = 0; i < 3; ++i) r.signals.push_back({{modes[i] * star.f0, mode_snr[i] * level, uni(gen)}, ""});
    star.curve = synthetic::make(r);
    return star;
}

struct Run {
    Result result;
    double seconds = 0.0;
};

Run run(const Star& star, bool locked, FitMethod fit)
{
    const synthetic::Curve& c = star.curve;
    const double span = c.times.back() - c.times.front();
    Settings settings;
    settings.grid = {1.0 / span, 0.1 / span, static_cast<std::size_t>(500.0 * span)};  // to 50 c/d
    settings.baseline = Baseline::none;
    settings.fit = fit;
    settings.threads = 2;
    if (locked) settings.harmonics = star.f0 + 0.3 / span;
    const auto t0 = std::chrono::steady_clock::now();
    Run out;
    out.result = extract(spectrum_plan(c.times, settings), c.times, c.values, {}, one_segment(c.times), settings);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return out;
}

// The frequency of the table nearest f, or NaN.
const Frequency* nearest(const Result& r, double f, double within)
{
    const Frequency* best = nullptr;
    for (const Frequency& x : r.frequencies)
        if (std::fabs(x.value.frequency - f) < within &&
            (!best || std::fabs(x.value.frequency - f) < std::fabs(best->value.frequency - f)))
            best = &x;
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    const int stars = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("%d RR Lyrae-like stars: %d harmonics of F (S/N 7000 down to 30), 3 independent modes, "
                "18000 points over 27 d; --harmonics F0 = F + 0.3/T\n\n",
                stars, harmonics);
    std::printf("%5s %9s %7s %8s %9s %6s %6s %7s %7s %7s %10s %10s %11s\n", "star", "F", "locked", "labelled",
                "(F-true)/s", "modes", "free", "t_lock", "t_exact", "t_free", "max df", "max dA/A", "unlocked");
    int all_locked = 0, all_free = 0, within = 0, within2 = 0, gains = 0;
    double pull2 = 0.0, gain = 0.0;
    double t_lock = 0, t_exact = 0, t_free = 0, worst_f = 0, worst_a = 0;
    for (int s = 0; s < stars; ++s) {
        const Star star = make_star(100 + static_cast<unsigned>(s));
        const Run fast = run(star, true, FitMethod::fast);
        const Run exact = run(star, true, FitMethod::exact);
        const Run free = run(star, false, FitMethod::fast);
        const Result& r = fast.result;
        const double span = star.curve.times.back() - star.curve.times.front();
        int locked = 0, labelled = 0;
        const std::optional<LockedSeries> series = locked_series(r);
        for (int n = 1; n <= harmonics; ++n) {
            const Frequency* f = nearest(r, n * star.f0, 1.0 / span);
            if (!f || f->harmonic != n) continue;
            ++locked;
            if (n == 1 || (series && f->label.text == std::to_string(n) + "f" + std::to_string(series->id)))
                ++labelled;
        }
        // Without the lock: the harmonics found, and labelled as harmonics
        // of the fundamental.
        int free_found = 0, free_labelled = 0;
        for (int n = 1; n <= harmonics; ++n) {
            const Frequency* f = nearest(free.result, n * star.f0, 1.0 / span);
            if (!f) continue;
            ++free_found;
            const Frequency* f1 = nearest(free.result, star.f0, 1.0 / span);
            if (n == 1 || (f1 && f->label.text == std::to_string(n) + "f" + std::to_string(f1->id))) ++free_labelled;
        }
        int found = 0, stayed_free = 0;
        for (double m : modes) {
            const Frequency* f = nearest(r, m * star.f0, 1.0 / span);
            if (!f) continue;
            ++found;
            stayed_free += f->harmonic == 0 ? 1 : 0;
        }
        const double pull = series ? (series->frequency - star.f0) / series->error : NAN;
        double df = 0, da = 0;
        if (exact.result.frequencies.size() == r.frequencies.size()) {
            for (std::size_t i = 0; i < r.frequencies.size(); ++i) {
                const Sinusoid &a = r.frequencies[i].value, &b = exact.result.frequencies[i].value;
                df = std::max(df, std::fabs(a.frequency - b.frequency));
                da = std::max(da, std::fabs(a.amplitude - b.amplitude) / b.amplitude);
            }
        } else {
            df = da = INFINITY;
        }
        all_locked += locked == harmonics && labelled == harmonics;
        all_free += found == 3 && stayed_free == 3;
        within += std::fabs(pull) <= 1.0;
        within2 += std::fabs(pull) <= 2.0;
        pull2 += pull * pull;
        const Frequency* free_f1 = nearest(free.result, star.f0, 1.0 / span);
        if (series && free_f1) {
            gain += free_f1->covariance.frequency / series->error;
            ++gains;
        }
        t_lock += fast.seconds;
        t_exact += exact.seconds;
        t_free += free.seconds;
        worst_f = std::max(worst_f, df);
        worst_a = std::max(worst_a, da);
        if (std::getenv("BENCH_VERBOSE")) {
            std::printf("  %zu frequencies, stop: %s; %zu rejected\n", r.frequencies.size(),
                        stop_sentence(r, Settings{}).c_str(), r.rejected.size());
            for (const Rejection& x : r.rejected)
                std::printf("  rejected %.6f %s after %d\n", x.frequency, rejection_name(x.why).c_str(), x.extracted);
        }
        std::printf("%5d %9.6f %4d/%d %5d/%d %9.2f %4d/3 %4d/3 %6.2fs %6.2fs %6.2fs %10.1e %10.1e %5d/%d\n", s,
                    star.f0, locked, harmonics, labelled, harmonics, pull, found, stayed_free, fast.seconds,
                    exact.seconds, free.seconds, df, da, free_labelled, free_found);
    }
    std::printf("\nevery harmonic locked and labelled: %d of %d stars; the 3 modes found and free: %d of %d; "
                "|F - truth| within 1 sigma: %d, within 2 sigma: %d of %d (rms of (F - truth)/sigma %.2f)\n",
                all_locked, stars, all_free, stars, within, within2, stars, std::sqrt(pull2 / stars));
    std::printf("F's error against the fundamental's without the lock: %.2f times smaller on average\n",
                gains ? gain / gains : NAN);
    std::printf("mean run time: locked %.2f s, locked exact %.2f s, free %.2f s\n", t_lock / stars, t_exact / stars,
                t_free / stars);
    std::printf("fast against exact: largest |df| %.1e c/d, largest |dA|/A %.1e\n", worst_f, worst_a);
    return 0;
}
