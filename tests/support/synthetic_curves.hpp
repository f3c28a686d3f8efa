// Synthetic light curves with known sinusoids, for the recovery tests and
// the benchmark: uneven times with gaps, white or red noise, and the
// comparison of an extraction's table with the truth.
#pragma once

#include <cmath>
#include <cctype>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "extraction/statistics.hpp"

namespace synthetic {

struct Injected {
    extraction::Sinusoid value;  // phase at the curve's mean time
    std::string label;           // the combination it is, in the ids of the injected list (1, 2, ...), or empty
};

struct Recipe {
    std::size_t n = 2000;
    double span = 30.0;       // days
    bool gaps = false;        // three gaps, a fifth of the span in all
    double white = 1.0;       // standard deviation of the white noise
    double red = 0.0;         // standard deviation of an added AR(1) noise
    double red_time = 0.05;   // its correlation time, days
    std::vector<Injected> signals;
    unsigned seed = 1;
};

struct Curve {
    std::vector<double> times, values, errors, noise;
    double t_ref = 0.0;
};

inline Curve make(const Recipe& recipe)
{
    Curve curve;
    std::mt19937_64 gen(recipe.seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    // Regular cadence with a little jitter; points in the gaps are dropped,
    // so the cadence is set for the points that remain.
    const double kept = recipe.gaps ? 0.8 : 1.0;
    const double dt = recipe.span * kept / static_cast<double>(recipe.n);
    const double start = 2459000.0;
    auto in_gap = [&](double x) {  // x in [0, 1) of the span
        return recipe.gaps && ((x > 0.20 && x < 0.27) || (x > 0.50 && x < 0.58) || (x > 0.80 && x < 0.85));
    };
    for (double t = 0.0; curve.times.size() < recipe.n; t += dt) {
        const double x = t / recipe.span;
        if (in_gap(std::fmod(x, 1.0))) continue;
        curve.times.push_back(start + t + 0.2 * dt * uni(gen));
    }
    double sum = 0.0;
    for (double t : curve.times) sum += t;
    curve.t_ref = sum / static_cast<double>(curve.times.size());
    double ar = 0.0, previous = curve.times.front();
    for (double t : curve.times) {
        const double rho = std::exp(-(t - previous) / recipe.red_time);
        ar = rho * ar + std::sqrt(1.0 - rho * rho) * recipe.red * gauss(gen);
        previous = t;
        const double noise = recipe.white * gauss(gen) + ar;
        double value = 10.0 + noise;
        for (const Injected& s : recipe.signals)
            value += s.value.amplitude *
                     std::sin(2.0 * M_PI * (s.value.frequency * (t - curve.t_ref) + s.value.phase));
        curve.values.push_back(value);
        curve.noise.push_back(noise);
        curve.errors.push_back(std::max(recipe.white, 1e-3));
    }
    return curve;
}

// Adds `count` sinusoids between fmin and fmax, at least 3/T from each
// other and from those already there, with S/N (against white noise of the
// recipe's deviation) spread between snr_low and snr_high, more of them
// weak than strong; random phases.
inline void add_random_signals(Recipe& recipe, int count, double fmin, double fmax, double snr_low,
                               double snr_high, std::mt19937_64& gen)
{
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    const double level = recipe.white * std::sqrt(M_PI / static_cast<double>(recipe.n));
    for (int added = 0, tries = 0; added < count && tries < 10000; ++tries) {
        const double f = fmin + (fmax - fmin) * uni(gen);
        bool apart = true;
        for (const Injected& s : recipe.signals) apart = apart && std::fabs(s.value.frequency - f) > 3.0 / recipe.span;
        if (!apart) continue;
        const double u = uni(gen);
        recipe.signals.push_back({{f, level * (snr_low + (snr_high - snr_low) * u * u), uni(gen)}, ""});
        ++added;
    }
}

// How one injected sinusoid came out.
struct Outcome {
    bool found = false;
    double snr = 0.0;            // its S/N against the spectrum of the noise alone
    bool within_3_sigma = false; // frequency, amplitude and phase all within 3 covariance errors
    bool labelled = true;        // its combination label is the one injected (when one was)
    double z_frequency = 0.0, z_amplitude = 0.0, z_phase = 0.0;  // errors in units of sigma
    double correlation = 1.0;    // the factor D_f its errors carry
};

// An injected label written in the ids the extraction gave the same
// frequencies ("f1+f3" becomes "f2+f1" if injected 3 was extracted first);
// "?" for a parent that was not found.
inline std::string translate(const std::string& label, const std::vector<int>& extracted_id)
{
    std::string out;
    for (std::size_t k = 0; k < label.size();) {
        if (label[k] != 'f') {
            out += label[k++];
            continue;
        }
        std::size_t end = k + 1;
        while (end < label.size() && std::isdigit(static_cast<unsigned char>(label[end]))) ++end;
        const std::size_t injected = std::stoul(label.substr(k + 1, end - k - 1));
        const int id = injected >= 1 && injected <= extracted_id.size() ? extracted_id[injected - 1] : 0;
        if (id > 0) {
            out += 'f';
            out += std::to_string(id);
        } else {
            out += '?';
        }
        k = end;
    }
    return out;
}

// The extracted frequency nearest to each injected one, within half the
// resolution.
inline std::vector<Outcome> compare(const Recipe& recipe, const extraction::Result& result,
                                    const std::vector<double>& noise_amplitude, double box = 1.0)
{
    std::vector<Outcome> out;
    std::vector<int> extracted_id;
    for (const Injected& s : recipe.signals) {
        Outcome o;
        o.snr = s.value.amplitude /
                extraction::box_mean(result.grid, noise_amplitude, s.value.frequency, box);
        const extraction::Frequency* best = nullptr;
        for (const extraction::Frequency& f : result.frequencies)
            if (std::fabs(f.value.frequency - s.value.frequency) < 0.5 / result.span &&
                (!best || std::fabs(f.value.frequency - s.value.frequency) <
                              std::fabs(best->value.frequency - s.value.frequency)))
                best = &f;
        if (best) {
            o.found = true;
            double dphi = best->value.phase - s.value.phase;
            dphi -= std::nearbyint(dphi);
            o.z_frequency = (best->value.frequency - s.value.frequency) / best->covariance.frequency;
            o.z_amplitude = (best->value.amplitude - s.value.amplitude) / best->covariance.amplitude;
            o.z_phase = dphi / best->covariance.phase;
            o.within_3_sigma =
                std::fabs(o.z_frequency) <= 3 && std::fabs(o.z_amplitude) <= 3 && std::fabs(o.z_phase) <= 3;
            o.correlation = best->correlation;
            extracted_id.push_back(best->id);
        } else {
            extracted_id.push_back(0);
        }
        out.push_back(o);
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (!out[i].found) continue;
        const extraction::Frequency* f = nullptr;
        for (const extraction::Frequency& g : result.frequencies)
            if (g.id == extracted_id[i]) f = &g;
        out[i].labelled = f && f->label.text == translate(recipe.signals[i].label, extracted_id);
    }
    return out;
}

}  // namespace synthetic
