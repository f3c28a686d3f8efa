// Synthetic light curves of pulsating stars in binaries, for the tracking
// benchmarks: Kepler-like and TESS-like times, sinusoids whose light is
// delayed by a Keplerian light-travel time (or not), amplitudes that
// change linearly, white and red noise; the frequency table a whole-curve
// fit gives; and the signal-to-noise ratio the time delays should have.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include "numerics/median.hpp"
#include "extraction/fit.hpp"
#include "extraction/model.hpp"
#include "tracking/kepler.hpp"
#include "tracking/track.hpp"

namespace orbit_curves {

enum class Sampling { kepler, tess };

// Kepler long cadence: 29.4 min over 1,460 days from BJD 2454953.5
// (as BJD - 2400000), a day lost at each monthly download, three days at
// each quarterly roll, and a few random losses of up to five days:
// about 65,000 points.
// TESS full-frame images in the continuous viewing zone: 30 min over two
// years of 13 sectors (27.4 d, a day lost mid-sector), the second year
// two years after the first: about 34,000 points.
inline std::vector<double> sample_times(Sampling sampling, std::mt19937_64& gen)
{
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::vector<double> times;
    if (sampling == Sampling::kepler) {
        const double dt = 29.4 / 1440.0, start = 54953.5, span = 1460.0;
        std::vector<std::pair<double, double>> gaps;
        for (double t = 31.0; t < span; t += 31.0) gaps.push_back({t, t + 1.0});
        for (double t = 93.0; t < span; t += 93.0) gaps.push_back({t, t + 3.0});
        for (int k = 0; k < 4; ++k) {
            const double t = span * uni(gen);
            gaps.push_back({t, t + 5.0 * uni(gen)});
        }
        for (double x = 0.0; x < span; x += dt) {
            bool lost = false;
            for (const auto& g : gaps) lost = lost || (x >= g.first && x < g.second);
            if (!lost) times.push_back(start + x);
        }
    } else {
        const double dt = 30.0 / 1440.0, start = 58325.0;
        for (double year : {0.0, 730.0})
            for (int sector = 0; sector < 13; ++sector)
                for (double x = 0.0; x < 27.4; x += dt) {
                    if (x > 13.2 && x < 14.2) continue;
                    times.push_back(start + year + 27.4 * sector + x);
                }
    }
    return times;
}

struct Mode {
    double frequency = 0.0;  // c/d
    double amplitude = 0.0;  // at t_mid
    double phase = 0.0;      // cycles at t_ref, undelayed
    double trend = 0.0;      // fractional change of the amplitude per year
};

struct Star {
    std::vector<Mode> modes;
    double white = 1.0;      // deviation of the white noise per point
    double red = 0.0;        // deviation of an AR(1) noise
    double red_time = 0.1;   // its correlation time, days
    bool delayed = false;
    tracking::Orbit orbit;   // tau0 = 0
};

struct Curve {
    std::vector<double> times, values;
    double t_ref = 0.0;  // the mean time
    double t_mid = 0.0;  // the middle of the span, where each amplitude is the mode's
};

inline Curve make_curve(const std::vector<double>& times, const Star& star, std::mt19937_64& gen)
{
    std::normal_distribution<double> gauss(0.0, 1.0);
    Curve c;
    c.times = times;
    double sum = 0.0;
    for (double t : times) sum += t;
    c.t_ref = sum / static_cast<double>(times.size());
    c.t_mid = 0.5 * (times.front() + times.back());
    double ar = 0.0, previous = times.front();
    for (double t : times) {
        const double rho = std::exp(-(t - previous) / star.red_time);
        ar = rho * ar + std::sqrt(1.0 - rho * rho) * star.red * gauss(gen);
        previous = t;
        const double delay = star.delayed ? tracking::light_time(star.orbit, t) / tracking::seconds_per_day : 0.0;
        double v = star.white * gauss(gen) + ar;
        for (const Mode& m : star.modes) {
            const double amp = m.amplitude * (1.0 + m.trend * (t - c.t_mid) / tracking::days_per_year);
            v += amp * std::sin(2.0 * M_PI * (m.frequency * (t - delay - c.t_ref) + m.phase));
        }
        c.values.push_back(v);
    }
    return c;
}

// The table a whole-curve fit gives: every frequency, amplitude and phase
// fitted together from the truth (the extraction's final fit), so that the
// frequencies carry what that fit makes of the delays.
inline std::vector<tracking::TableFrequency> fitted_table(const Curve& c, const Star& star, int threads = 1)
{
    std::vector<double> tau(c.times.size());
    for (std::size_t k = 0; k < tau.size(); ++k) tau[k] = c.times[k] - c.t_ref;
    extraction::Model start;
    for (const Mode& m : star.modes) start.terms.push_back({m.frequency, m.amplitude, m.phase});
    extraction::FitSettings settings;
    settings.threads = threads;
    const extraction::FitOutcome out = extraction::fit({tau, c.values, {}}, start, {}, settings);
    std::vector<tracking::TableFrequency> table;
    for (std::size_t i = 0; i < out.model.terms.size(); ++i)
        table.push_back({static_cast<int>(i + 1), out.model.terms[i].frequency, out.model.terms[i].amplitude});
    return table;
}

// The noise variance near f, in units of a white variance per point: the
// white part plus the AR(1) process's spectrum at f for the cadence dt.
inline double noise_variance(const Star& star, double f, double dt)
{
    const double rho = std::exp(-dt / star.red_time);
    const double red =
        star.red * star.red * (1.0 - rho * rho) / (1.0 - 2.0 * rho * std::cos(2.0 * M_PI * f * dt) + rho * rho);
    return star.white * star.white + red;
}

// The expected signal-to-noise ratio of the delays: the rms of the true
// window-mean delays about their straight line (what a table fitted over
// the whole curve leaves of them), times the square root of their number,
// over the expected error of one window's delay (all modes combined, each
// with the noise near it).
inline double expected_delay_snr(const Curve& c, const Star& star, double width)
{
    const double dt = numerics::median_step(c.times);
    const double n_full = width / dt;
    double inverse = 0.0;
    for (const Mode& m : star.modes) {
        const double sigma_phase = std::sqrt(2.0 / n_full * noise_variance(star, m.frequency, dt)) /
                                   (2.0 * M_PI * m.amplitude);
        const double sigma_tau = tracking::seconds_per_day * sigma_phase / m.frequency;
        inverse += 1.0 / (sigma_tau * sigma_tau);
    }
    const double sigma_w = 1.0 / std::sqrt(inverse);
    std::vector<double> t, d;
    for (const tracking::Window& w : tracking::cut_windows(c.times, width, width)) {
        if (2.0 * static_cast<double>(w.count) < n_full) continue;
        double sum = 0.0;
        for (std::size_t k = w.first; k < w.first + w.count; ++k) sum += tracking::light_time(star.orbit, c.times[k]);
        t.push_back(w.t_mid);
        d.push_back(sum / static_cast<double>(w.count));
    }
    if (t.size() < 3) return 0.0;
    double mt = 0.0, md = 0.0;
    for (std::size_t k = 0; k < t.size(); ++k) {
        mt += t[k];
        md += d[k];
    }
    mt /= static_cast<double>(t.size());
    md /= static_cast<double>(t.size());
    double stt = 0.0, std_ = 0.0;
    for (std::size_t k = 0; k < t.size(); ++k) {
        stt += (t[k] - mt) * (t[k] - mt);
        std_ += (t[k] - mt) * (d[k] - md);
    }
    const double slope = std_ / stt;
    double ss = 0.0;
    for (std::size_t k = 0; k < t.size(); ++k) {
        const double r = d[k] - md - slope * (t[k] - mt);
        ss += r * r;
    }
    return std::sqrt(ss) / sigma_w;
}

}  // namespace orbit_curves
