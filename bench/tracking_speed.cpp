// Time of the tracking step on a Kepler-like light curve of 65,000 points
// with 20 frequencies and an orbit: windows, delays, the orbit's search and
// fit, modulation, and the text of the four files, with one thread and
// with two; the texts of the two runs compared byte for byte.
//
//   tracking_speed [repeats]   (default 5; the median time is reported)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "extraction/libraries.hpp"
#include "tracking/files.hpp"
#include "support/orbit_curves.hpp"
#include "tracking/track.hpp"

using namespace orbit_curves;

namespace {

struct Run {
    double seconds = 0.0;
    tracking::Timing timing;
    std::string text;
};

Run run(const Curve& c, const std::vector<tracking::TableFrequency>& table, int threads)
{
    tracking::Settings settings;
    settings.threads = threads;
    const auto t0 = std::chrono::steady_clock::now();
    const tracking::Result r = tracking::track(c.times, c.values, {}, table, c.t_ref, settings);
    const tracking::FileContext context{"mmag", "bench"};
    Run out;
    out.text = tracking::track_csv(r, context) + tracking::timedelay_csv(r, context) +
               tracking::modulation_csv(r, context) + tracking::orbit_csv(r, context);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    out.timing = r.timing;
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    extraction::configure_libraries();
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::mt19937_64 gen(2024);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    Star star;
    while (star.modes.size() < 20) {
        const double f = 5.0 + 17.0 * uni(gen);
        bool apart = true;
        for (const Mode& m : star.modes) apart = apart && std::fabs(m.frequency - f) > 0.3;
        if (apart) star.modes.push_back({f, 0.3 + 3.0 * uni(gen), uni(gen), 0.0});
    }
    star.delayed = true;
    star.orbit = {420.0, 25.0, 0.3, 1.0, 55100.0, 0.0};
    const std::vector<double> times = sample_times(Sampling::kepler, gen);
    const Curve c = make_curve(times, star, gen);
    const std::vector<tracking::TableFrequency> table = fitted_table(c, star);
    std::printf("tracking %zu points, %zu frequencies, 10-day windows (median of %d runs)\n", c.times.size(),
                table.size(), repeats);
    std::string reference;
    bool same = true;
    for (int threads : {1, 2}) {
        std::vector<Run> runs;
        for (int k = 0; k < repeats; ++k) runs.push_back(run(c, table, threads));
        std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
        const Run& m = runs[runs.size() / 2];
        std::printf("  %d thread%s: %.3f s (windows %.3f, delays %.3f, search %.3f, orbit %.3f, texts %.3f)\n", threads,
                    threads == 1 ? " " : "s", m.seconds, m.timing.windows, m.timing.delays, m.timing.search,
                    m.timing.orbit, m.seconds - m.timing.total);
        for (const Run& r : runs) {
            if (reference.empty()) reference = r.text;
            same = same && r.text == reference;
        }
    }
    std::printf("  the files' text of every run the same: %s (%zu bytes)\n", same ? "yes" : "NO", reference.size());
    return same ? 0 : 1;
}
