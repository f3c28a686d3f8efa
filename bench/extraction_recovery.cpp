// Recovery of known sinusoids from synthetic light curves: white noise, red
// noise, gaps, close pairs 1.5/T apart, harmonics and combinations, from
// 2,000 to 500,000 points; and pure white noise, where nothing strong may
// be found.  For each set: how many injected sinusoids with S/N above 5
// (against the spectrum of the noise alone) were found, how many of those
// found have frequency, amplitude and phase within 3 covariance errors of
// the truth (and how many with the errors scaled by the overall correlation
// factor D alone, without the local noise), and how many injected
// combinations carry their label.  With --against-exact each star is also
// extracted with the exact fit (the direct assembly), and the two tables
// are compared: the same frequencies in the same order and the same stop,
// and the largest differences of frequency (c/d), amplitude (relative) and
// phase (cycles).
//
//   extraction_recovery [trials] [--against-exact]   (default 20 per set;
//                                                     100 for pure noise)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "extraction/libraries.hpp"
#include "support/synthetic_curves.hpp"

using namespace extraction;

namespace {

struct Tally {
    int strong = 0, strong_found = 0;  // injected with S/N > 5
    int found = 0, within = 0;         // found, and within 3 sigma
    int within_global = 0;             // within 3 sigma with errors scaled by the overall D alone
    int combinations = 0, labelled = 0;
    int false_labels = 0;              // independent ones given a label
    int spurious = 0;                  // extracted, matching nothing, final S/N > 6
    int stars = 0;
    double seconds = 0.0;
    double worst_z = 0.0;
    // Against the exact fit: stars whose tables differ in their list, order
    // or stop, and the largest differences elsewhere.
    int different = 0;
    double frequency = 0.0, amplitude = 0.0, phase = 0.0;
    double exact_seconds = 0.0;
};

bool against_exact = false;

// The fast table against the exact one.
void compare_with_exact(const Result& fast, const Result& exact, Tally& tally)
{
    bool same = fast.stop == exact.stop && fast.frequencies.size() == exact.frequencies.size();
    for (std::size_t i = 0; same && i < fast.frequencies.size(); ++i) {
        const Sinusoid &a = fast.frequencies[i].value, &b = exact.frequencies[i].value;
        const double df = std::fabs(a.frequency - b.frequency);
        double dphi = std::fabs(a.phase - b.phase);
        dphi = std::min(dphi, 1.0 - dphi);
        if (df > 1e-6) same = false;
        tally.frequency = std::max(tally.frequency, df);
        tally.amplitude = std::max(tally.amplitude, std::fabs(a.amplitude - b.amplitude) / b.amplitude);
        tally.phase = std::max(tally.phase, dphi);
    }
    if (!same) ++tally.different;
}

spectrum::Grid grid_for(const std::vector<double>& times, double fmax)
{
    const double span = times.back() - times.front();
    return {1.0 / span, 0.1 / span, static_cast<std::size_t>((fmax - 1.0 / span) * span / 0.1) + 1};
}

void run_one(const synthetic::Recipe& recipe, double fmax, Tally& tally)
{
    const synthetic::Curve curve = synthetic::make(recipe);
    Settings settings;
    settings.grid = grid_for(curve.times, fmax);
    const auto t0 = std::chrono::steady_clock::now();
    const Result result = extract(spectrum_plan(curve.times, settings), curve.times, curve.values, {}, one_segment(curve.times), settings);
    tally.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ++tally.stars;
    if (against_exact) {
        settings.fit = FitMethod::exact;
        const auto t1 = std::chrono::steady_clock::now();
        const Result exact = extract(spectrum_plan(curve.times, settings), curve.times, curve.values, {}, one_segment(curve.times), settings);
        tally.exact_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count();
        compare_with_exact(result, exact, tally);
    }
    const spectrum::Plan plan(curve.times, settings.grid, {});
    const std::vector<double> noise = plan.amplitude(curve.noise);
    const std::vector<synthetic::Outcome> outcomes = synthetic::compare(recipe, result, noise);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const synthetic::Outcome& o = outcomes[i];
        if (o.snr > 5.0) {
            ++tally.strong;
            if (o.found) ++tally.strong_found;
        }
        if (o.found) {
            ++tally.found;
            if (o.within_3_sigma) ++tally.within;
            const double g = std::sqrt(o.correlation / result.D);  // z with the errors of the overall D
            if (std::fabs(o.z_frequency) * g <= 3 && std::fabs(o.z_amplitude) * g <= 3 && std::fabs(o.z_phase) * g <= 3)
                ++tally.within_global;
            tally.worst_z = std::max({tally.worst_z, std::fabs(o.z_frequency), std::fabs(o.z_amplitude),
                                      std::fabs(o.z_phase)});
            if (!recipe.signals[i].label.empty()) {
                ++tally.combinations;
                if (o.labelled) ++tally.labelled;
            } else if (!o.labelled) {
                ++tally.false_labels;
            }
        }
    }
    for (const Frequency& f : result.frequencies) {
        bool matches = false;
        for (const synthetic::Injected& s : recipe.signals)
            matches = matches || std::fabs(s.value.frequency - f.value.frequency) < 0.5 / result.span;
        if (!matches && f.snr > 6.0) ++tally.spurious;
    }
}

void print(const char* name, const Tally& t)
{
    std::printf("%-34s %4d stars  S/N>5 found %4d/%-4d  within 3 sigma %4d/%-4d (%5.1f %%; overall D only %5.1f %%)"
                "  worst %5.1f sigma  labels %3d/%-3d  false labels %2d  spurious S/N>6 %d  %7.1f s\n",
                name, t.stars, t.strong_found, t.strong, t.within, t.found, t.found ? 100.0 * t.within / t.found : 0.0,
                t.found ? 100.0 * t.within_global / t.found : 0.0, t.worst_z, t.labelled, t.combinations,
                t.false_labels, t.spurious, t.seconds);
    if (against_exact)
        std::printf("%-34s against the exact fit: %d of %d tables differ in list, order or stop; largest differences "
                    "%.1e c/d, %.1e relative, %.1e cycles; exact %7.1f s\n",
                    "", t.different, t.stars, t.frequency, t.amplitude, t.phase, t.exact_seconds);
    std::fflush(stdout);
}

synthetic::Recipe base(std::size_t n, double span, unsigned seed)
{
    synthetic::Recipe r;
    r.n = n;
    r.span = span;
    r.seed = seed;
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    extraction::configure_libraries();
    int trials = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--against-exact")
            against_exact = true;
        else
            trials = std::atoi(argv[i]);
    }
    Tally total;
    auto add = [&](const Tally& t) {
        total.strong += t.strong;
        total.strong_found += t.strong_found;
        total.found += t.found;
        total.within += t.within;
        total.within_global += t.within_global;
        total.combinations += t.combinations;
        total.labelled += t.labelled;
        total.false_labels += t.false_labels;
        total.spurious += t.spurious;
        total.stars += t.stars;
        total.seconds += t.seconds;
        total.worst_z = std::max(total.worst_z, t.worst_z);
        total.different += t.different;
        total.frequency = std::max(total.frequency, t.frequency);
        total.amplitude = std::max(total.amplitude, t.amplitude);
        total.phase = std::max(total.phase, t.phase);
        total.exact_seconds += t.exact_seconds;
    };

    {  // White noise, even sampling.
        Tally t;
        for (int i = 0; i < trials; ++i) {
            std::mt19937_64 gen(100 + i);
            synthetic::Recipe r = base(2000, 20.0, 1000 + i);
            synthetic::add_random_signals(r, 8, 1.5, 20.0, 4.0, 40.0, gen);
            run_one(r, 24.0, t);
        }
        print("white noise, 2,000 points", t);
        add(t);
    }
    {  // White noise with gaps.
        Tally t;
        for (int i = 0; i < trials; ++i) {
            std::mt19937_64 gen(200 + i);
            synthetic::Recipe r = base(2000, 20.0, 2000 + i);
            r.gaps = true;
            synthetic::add_random_signals(r, 8, 1.5, 20.0, 4.0, 40.0, gen);
            run_one(r, 24.0, t);
        }
        print("white noise, gaps, 2,000 points", t);
        add(t);
    }
    {  // Red noise: an AR(1) process with a correlation time of 0.05 d,
       // doubling the noise below about 3 c/d.
        Tally t;
        for (int i = 0; i < trials; ++i) {
            std::mt19937_64 gen(300 + i);
            synthetic::Recipe r = base(2000, 20.0, 3000 + i);
            r.gaps = i % 2 == 1;
            r.red = 0.7;
            r.red_time = 0.05;
            synthetic::add_random_signals(r, 8, 1.5, 20.0, 4.0, 40.0, gen);
            run_one(r, 24.0, t);
        }
        print("red noise, 2,000 points", t);
        add(t);
    }
    {  // Close pairs 1.5/T apart.
        Tally t;
        for (int i = 0; i < trials; ++i) {
            std::mt19937_64 gen(400 + i);
            synthetic::Recipe r = base(2000, 20.0, 4000 + i);
            r.gaps = i % 2 == 1;
            synthetic::add_random_signals(r, 4, 1.5, 20.0, 8.0, 40.0, gen);
            const std::size_t singles = r.signals.size();
            for (std::size_t k = 0; k < singles; ++k) {
                synthetic::Injected partner = r.signals[k];
                partner.value.frequency += (k % 2 ? -1.5 : 1.5) / r.span;
                partner.value.amplitude *= 0.4 + 0.5 * static_cast<double>(k) / static_cast<double>(singles);
                partner.value.phase = std::fmod(partner.value.phase + 0.37, 1.0);
                r.signals.push_back(partner);
            }
            run_one(r, 24.0, t);
        }
        print("close pairs at 1.5/T, 2,000 points", t);
        add(t);
    }
    {  // Harmonics and combinations of two strong modes.
        Tally t;
        for (int i = 0; i < trials; ++i) {
            std::mt19937_64 gen(500 + i);
            std::uniform_real_distribution<double> uni(0.0, 1.0);
            synthetic::Recipe r = base(3000, 30.0, 5000 + i);
            r.gaps = i % 2 == 1;
            const double level = std::sqrt(M_PI / 3000.0);
            const double f1 = 3.0 + 2.0 * uni(gen), f2 = f1 * (1.29 + 0.05 * uni(gen));
            r.signals = {{{f1, 60 * level, uni(gen)}, ""},
                         {{f2, 40 * level, uni(gen)}, ""},
                         {{2 * f1, 20 * level, uni(gen)}, "2f1"},
                         {{f1 + f2, 15 * level, uni(gen)}, "f1+f2"},
                         {{f2 - f1, 12 * level, uni(gen)}, "f2-f1"},
                         {{3 * f1, 10 * level, uni(gen)}, "3f1"},
                         {{2 * f2, 8 * level, uni(gen)}, "2f2"},
                         {{2 * f1 + f2, 7 * level, uni(gen)}, "2f1+f2"}};
            run_one(r, 30.0, t);
        }
        print("harmonics and combinations, 3,000", t);
        add(t);
    }
    {  // Longer series.
        Tally t;
        for (int i = 0; i < std::max(1, trials / 4); ++i) {
            std::mt19937_64 gen(600 + i);
            synthetic::Recipe r = base(50000, 100.0, 6000 + i);
            r.gaps = true;
            r.red = 0.5;
            r.red_time = 0.02;
            synthetic::add_random_signals(r, 20, 2.0, 30.0, 4.0, 60.0, gen);
            run_one(r, 40.0, t);
        }
        print("red noise, gaps, 50,000 points", t);
        add(t);
    }
    {  // The largest: a year of one-minute cadence.
        Tally t;
        std::mt19937_64 gen(700);
        synthetic::Recipe r = base(500000, 350.0, 7000);
        r.gaps = true;
        synthetic::add_random_signals(r, 15, 2.0, 20.0, 4.0, 60.0, gen);
        run_one(r, 24.0, t);
        print("white noise, gaps, 500,000 points", t);
        add(t);
    }
    print("all sets with signals", total);

    {  // Pure white noise.
        Tally t;
        int extracted = 0;
        for (int i = 0; i < 5 * trials; ++i) {
            synthetic::Recipe r = base(2000, 20.0, 9000 + i);
            r.gaps = i % 2 == 1;
            run_one(r, 24.0, t);
        }
        (void)extracted;
        print("pure white noise, 2,000 points", t);
    }
    return 0;
}
