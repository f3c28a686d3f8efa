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
// Then the segmented campaign (below), alone with --segmented.
//
//   extraction_recovery [trials] [--against-exact] [--segmented]
//       (default 20 per set; 100 for pure noise; trials stars in the
//       segmented campaign)
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "extraction/libraries.hpp"
#include "numerics/cycles.hpp"
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


// --- The segmented campaign ---------------------------------------------
//
// Stars observed in 2 to 13 segments (TESS-like: orbits of 13 d at 5-min
// cadence, 1 d apart; Kepler-like: stretches of 20 d at 15-min cadence,
// 1.5 d apart), each segment with its own offset and drift (linear or
// quadratic), red noise rising to low frequency beside white noise, and 5
// to 60 sinusoids between 0.5 c/d and 80 c/d (below 0.9 of the Nyquist
// frequency) with a local S/N from 5 to 100 against the spectrum of the
// noise.  Extracted by selection by S/N with a quadratic baseline per
// segment, the lowest frequency from the segments.

struct Star {
    std::vector<double> times, values, noise;
    std::vector<std::size_t> segment_of;
    std::vector<std::array<double, 3>> baseline;  // truth per segment, about its centre
    std::vector<double> centre;
    std::vector<Sinusoid> signals;                 // phase in cycles at t = 0
};

// A segmented star as above; with `given` its sinusoids instead of random
// ones (their amplitudes in units of the local noise).
Star make_segmented(bool tess, int segments, int signals, std::mt19937_64& gen, const std::vector<Sinusoid>& given = {})
{
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    Star s;
    const double length = tess ? 13.0 : 20.0, gap = tess ? 1.0 : 1.5, cadence = (tess ? 5.0 : 15.0) / 1440.0;
    double red = 0.0;
    const double red_keep = std::exp(-cadence / 0.3);  // correlated over 0.3 d
    for (int g = 0; g < segments; ++g) {
        const double start = 1000.0 + g * (length + gap);
        const std::size_t first = s.times.size();
        for (double t = start; t < start + length; t += cadence) {
            s.times.push_back(t);
            red = red_keep * red + std::sqrt(1.0 - red_keep * red_keep) * gauss(gen);
            s.noise.push_back(gauss(gen) + 0.7 * red);
            s.segment_of.push_back(static_cast<std::size_t>(g));
        }
        s.centre.push_back(0.5 * (s.times[first] + s.times.back()));
        const double drift = 0.5 / length, curve = uni(gen) < 0.5 ? 0.0 : 2.0 / (length * length);
        s.baseline.push_back({5.0 * gauss(gen), drift * gauss(gen), curve * gauss(gen)});
    }
    const double span = s.times.back() - s.times.front();
    const double top = std::min(80.0, 0.9 * 0.5 / cadence);
    // The local noise of the noise's own spectrum sets each amplitude.
    const spectrum::Grid grid{0.25, 0.1 / span, static_cast<std::size_t>((top + 1.0 - 0.25) * span * 10.0)};
    const spectrum::Plan plan(s.times, grid, {});
    const std::vector<double> noise_spectrum = plan.amplitude(s.noise);
    const std::vector<double> local = local_noise(grid, noise_spectrum, 1.0);
    for (const Sinusoid& x : given) {
        const std::size_t j = static_cast<std::size_t>(std::lround((x.frequency - grid.fmin) / grid.step));
        s.signals.push_back({x.frequency, x.amplitude * local[std::min(j, grid.count - 1)], x.phase});
    }
    while (static_cast<int>(s.signals.size()) < signals) {
        const double f = 0.5 + (top - 0.5) * uni(gen);
        bool apart = true;
        for (const Sinusoid& o : s.signals) apart = apart && std::fabs(o.frequency - f) > 2.5 / span;
        if (!apart) continue;
        const std::size_t j = static_cast<std::size_t>(std::lround((f - grid.fmin) / grid.step));
        const double snr = 5.0 * std::pow(20.0, uni(gen));
        s.signals.push_back({f, snr * local[std::min(j, grid.count - 1)], uni(gen)});
    }
    s.values.resize(s.times.size());
    for (std::size_t k = 0; k < s.times.size(); ++k) {
        const std::array<double, 3>& b = s.baseline[s.segment_of[k]];
        const double u = s.times[k] - s.centre[s.segment_of[k]];
        double v = s.noise[k] + b[0] + b[1] * u + b[2] * u * u;
        for (const Sinusoid& x : s.signals) v += x.amplitude * std::sin(numerics::two_pi * (x.frequency * s.times[k] + x.phase));
        s.values[k] = v;
    }
    return s;
}

struct Campaign {
    int stars = 0, injected = 0, recovered = 0, false_low = 0;
    int segments = 0, baselines_within = 0;
    int found = 0, within = 0;
    std::vector<double> zf, za, zp;
    double seconds = 0.0;
};

double spread(const std::vector<double>& z)
{
    double m = 0.0, v = 0.0;
    for (double x : z) m += x;
    m /= static_cast<double>(z.size());
    for (double x : z) v += (x - m) * (x - m);
    return std::sqrt(v / static_cast<double>(z.size() - 1));
}

Settings segmented_settings(const std::vector<double>& times, const Segmentation& segmentation)
{
    std::vector<double> steps;
    for (std::size_t k = 1; k < times.size(); ++k) steps.push_back(times[k] - times[k - 1]);
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    const double span = times.back() - times.front();
    const double fmin = lowest_candidate_frequency(span, segmentation.segments), fmax = 0.5 / steps[steps.size() / 2];
    Settings settings;
    settings.grid = {fmin, 0.1 / span, static_cast<std::size_t>((fmax - fmin) * span * 10.0) + 1};
    settings.baseline = Baseline::quadratic;
    return settings;
}

void run_segmented(const Star& s, Campaign& c)
{
    const Segmentation segmentation = segment_light_curve(s.times, {}, SegmentRules{});
    const Settings settings = segmented_settings(s.times, segmentation);
    const auto t0 = std::chrono::steady_clock::now();
    const Result r = extract(spectrum_plan(s.times, settings), s.times, s.values, {}, segmentation, settings);
    c.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ++c.stars;
    std::vector<char> matched(r.frequencies.size(), 0);
    for (const Sinusoid& x : s.signals) {
        ++c.injected;
        std::size_t best = r.frequencies.size();
        for (std::size_t i = 0; i < r.frequencies.size(); ++i)
            if (std::fabs(r.frequencies[i].value.frequency - x.frequency) < 0.5 / r.span &&
                (best == r.frequencies.size() || r.frequencies[i].value.amplitude > r.frequencies[best].value.amplitude))
                best = i;
        if (best == r.frequencies.size()) continue;
        ++c.recovered;
        matched[best] = 1;
        const Frequency& f = r.frequencies[best];
        const double truth_phase = x.phase + x.frequency * r.t_ref;
        double dphi = f.value.phase - (truth_phase - std::floor(truth_phase));
        dphi -= std::nearbyint(dphi);
        const double zf = (f.value.frequency - x.frequency) / f.covariance.frequency;
        const double za = (f.value.amplitude - x.amplitude) / f.covariance.amplitude;
        const double zp = dphi / f.covariance.phase;
        ++c.found;
        if (std::fabs(zf) <= 3 && std::fabs(za) <= 3 && std::fabs(zp) <= 3) ++c.within;
        c.zf.push_back(zf);
        c.za.push_back(za);
        c.zp.push_back(zp);
    }
    for (std::size_t i = 0; i < r.frequencies.size(); ++i)
        if (!matched[i] && r.frequencies[i].value.frequency < 0.5) ++c.false_low;
    for (std::size_t g = 0; g < r.baselines.size() && g < s.baseline.size(); ++g) {
        ++c.segments;
        bool within = true;
        for (int i = 0; i < r.baselines[g].coefficients; ++i)
            within = within && std::fabs(r.baselines[g].value[i] - s.baseline[g][i]) <= 3.0 * r.baselines[g].error[i];
        if (within) ++c.baselines_within;
    }
}

void print_campaign(const char* name, const Campaign& c)
{
    std::printf("%s: %d stars, %d of %d sinusoids recovered (goal all), %d found below 0.5 c/d not injected (goal 0)\n"
                "  baselines within 3 errors of the truth in %d of %d segments (%.1f %%, goal 95 %%)\n"
                "  frequency, amplitude and phase within 3 sigma: %d of %d (%.1f %%, goal 95 %%)\n"
                "  scatter of the estimates in units of their errors: f %.2f, A %.2f, phi %.2f"
                " (goal: errors at most 1.5 times the scatter, a scatter of at least 0.67)   %.1f s\n",
                name, c.stars, c.recovered, c.injected, c.false_low, c.baselines_within, c.segments,
                c.segments ? 100.0 * c.baselines_within / c.segments : 0.0, c.within, c.found,
                c.found ? 100.0 * c.within / c.found : 0.0, c.zf.size() > 1 ? spread(c.zf) : 0.0,
                c.za.size() > 1 ? spread(c.za) : 0.0, c.zp.size() > 1 ? spread(c.zp) : 0.0, c.seconds);
    std::fflush(stdout);
}

void segmented_campaign(int stars)
{
    Campaign c;
    std::mt19937_64 gen(4242);
    for (int i = 0; i < stars; ++i) {
        const bool tess = i % 2 == 0;
        const int segments = tess ? 2 + i % 5 : 2 + (3 * i) % 12;  // TESS-like 2-6, Kepler-like 2-13
        const int signals = 5 + (11 * i) % 56;
        run_segmented(make_segmented(tess, segments, signals, gen), c);
    }
    print_campaign("segmented stars", c);

    // A harmonic series to 20 f0 (an RR Lyrae-like pulsator): how many of
    // its harmonics are labelled harmonics of the fundamental.
    {
        std::vector<Sinusoid> series;
        for (int n = 1; n <= 20; ++n) series.push_back({1.7 * n, 400.0 * std::pow(0.8, n - 1), 0.1 * n});
        const Star s = make_segmented(true, 4, 20, gen, series);
        const Segmentation segmentation = segment_light_curve(s.times, {}, SegmentRules{});
        const Settings settings = segmented_settings(s.times, segmentation);
        const Result r = extract(spectrum_plan(s.times, settings), s.times, s.values, {}, segmentation, settings);
        int fundamental = 0, labelled = 0, found = 0;
        for (const Frequency& f : r.frequencies)
            if (std::fabs(f.value.frequency - 1.7) < 0.5 / r.span) fundamental = f.id;
        for (int n = 2; n <= 20; ++n)
            for (const Frequency& f : r.frequencies)
                if (std::fabs(f.value.frequency - 1.7 * n) < 0.5 / r.span) {
                    ++found;
                    labelled += f.label.text == std::to_string(n) + "f" + std::to_string(fundamental) ? 1 : 0;
                }
        std::printf("harmonic series to 20 f0: %d of 19 harmonics found, %d labelled harmonics of f%d (goal all)\n",
                    found, labelled, fundamental);
    }
    // A delta Scuti-like star of 50 independent modes: how many of them
    // are labelled combinations.
    {
        int combinations = 0, possible = 0, modes = 0;
        for (int i = 0; i < std::max(1, stars / 4); ++i) {
            std::uniform_real_distribution<double> uni(0.0, 1.0);
            std::vector<Sinusoid> modes_in;
            while (modes_in.size() < 50) {
                const double f = 5.0 + 55.0 * uni(gen);
                bool apart = true;
                for (const Sinusoid& m : modes_in) apart = apart && std::fabs(m.frequency - f) > 0.2;
                if (apart) modes_in.push_back({f, 5.0 * std::pow(40.0, uni(gen)), uni(gen)});
            }
            const Star s = make_segmented(true, 4, 50, gen, modes_in);
            const Segmentation segmentation = segment_light_curve(s.times, {}, SegmentRules{});
            const Settings settings = segmented_settings(s.times, segmentation);
            const Result r = extract(spectrum_plan(s.times, settings), s.times, s.values, {}, segmentation, settings);
            for (const Sinusoid& m : s.signals)
                for (const Frequency& f : r.frequencies)
                    if (std::fabs(f.value.frequency - m.frequency) < 0.5 / r.span) {
                        ++modes;
                        const bool combination = f.label.text.find_first_of("+-") != std::string::npos;
                        if (combination && !f.label.possible()) ++combinations;
                        if (combination && f.label.possible()) ++possible;
                    }
        }
        std::printf("delta Scuti-like stars of 50 independent modes (%d): %d of %d found modes labelled combinations,"
                    " %d more possible ones (goal at most 1 a star)\n",
                    std::max(1, stars / 4), combinations, modes, possible);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    extraction::configure_libraries();
    int trials = 20;
    bool segmented_only = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--against-exact")
            against_exact = true;
        else if (std::string(argv[i]) == "--segmented")
            segmented_only = true;
        else
            trials = std::atoi(argv[i]);
    }
    if (segmented_only) {
        segmented_campaign(trials);
        return 0;
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
    segmented_campaign(trials);
    return 0;
}
