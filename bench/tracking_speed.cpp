// Time of the tracking step on a Kepler-like light curve of 65,000 points
// with 20 frequencies and an orbit: windows, delays, the orbit's search and
// fit, modulation, and the text of the four files, with one thread and
// with two; the texts of the two runs compared byte for byte.  Then the
// whole step as prewhiten --track does it: the same, with the files of
// the star written whole (the four tables, the aligned orbit text) and the
// picture drawn by the plotting library into a PNG.
//
//   tracking_speed [repeats]   (default 5; the median time is reported)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "extraction/libraries.hpp"
#include "plotting/plot.hpp"
#include "star_files.hpp"
#include "track_star.hpp"
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

// The step as the program does it, files and picture written in `folder`.
double run_with_files(const Curve& c, const std::vector<tracking::TableFrequency>& table, int threads,
                      const std::filesystem::path& folder, std::size_t& bytes)
{
    prewhiten::Options options;
    options.track = 10.0;
    options.spectrum.threads = threads;
    plotting::GizaPlotter giza;
    const auto t0 = std::chrono::steady_clock::now();
    prewhiten::StarResults results;
    results.tracking.emplace();
    prewhiten::TrackedStar& star = *results.tracking;
    star.label = "bench.dat";
    star.result = tracking::track(c.times, c.values, {}, table, c.t_ref, prewhiten::tracking_settings(options));
    star.context = {"mmag", "bench"};
    star.picture = prewhiten::track_picture_of(star.label, star.result, lightcurve::Unit::mag, star.orbit_fap);
    bytes = 0;
    for (const prewhiten::ResultFile& file : prewhiten::result_files())
        if (prewhiten::needs_tracking(file) && prewhiten::writes(file, options)) {
            const std::filesystem::path name = folder / (std::string("bench") + file.suffix);
            file.write(name, results, giza);
            bytes += std::filesystem::file_size(name);
        }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
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

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tracking_speed_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::printf("the whole step of prewhiten --track: tables, orbit text and PNG picture written (median of %d runs)\n",
                repeats);
    for (int threads : {1, 2}) {
        std::vector<double> seconds;
        std::size_t bytes = 0;
        for (int k = 0; k < repeats; ++k) seconds.push_back(run_with_files(c, table, threads, folder, bytes));
        std::sort(seconds.begin(), seconds.end());
        std::printf("  %d thread%s: %.3f s, %zu bytes in 6 files\n", threads, threads == 1 ? " " : "s",
                    seconds[seconds.size() / 2], bytes);
    }
    std::filesystem::remove_all(folder);
    return same ? 0 : 1;
}
