// The segments of the bundled real light curves with the default rules (a
// gap of 0.5 d splits, segments shorter than 5 d are joined): their number,
// the median, shortest and longest length, the lowest frequency searched
// that follows (max(1/T, 2/L), L the median length), and the time taken.
//
//   extraction_segments [file ...]   (default: the Kepler and TESS examples)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "extraction/segments.hpp"
#include "lightcurve/lightcurve.hpp"

namespace {

std::string example(const char* name)
{
    const std::string here = __FILE__;
    return here.substr(0, here.rfind("/bench/")) + "/examples/" + name;
}

void report(const std::string& file)
{
    lightcurve::LightCurve curve = lightcurve::read_file(file, {});
    lightcurve::sort_by_time(curve);
    const auto start = std::chrono::steady_clock::now();
    const extraction::Segmentation s = extraction::segment_light_curve(curve.times, curve.source_index, {});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double shortest = 1e300, longest = 0.0;
    for (const extraction::Segment& g : s.segments) {
        shortest = std::min(shortest, g.length());
        longest = std::max(longest, g.length());
    }
    const double span = lightcurve::time_span(curve.times);
    std::printf("%s\n  %zu points over %.2f d: %zu segments, median %.2f d, shortest %.2f d, longest %.2f d;"
                " lowest frequency searched %.4f c/d (1/T = %.5f); %.2f ms\n",
                file.c_str(), curve.size(), span, s.segments.size(), extraction::median_segment_length(s.segments),
                shortest, longest, extraction::lowest_candidate_frequency(span, s.segments), 1.0 / span,
                1e3 * seconds);
    for (const extraction::Segment& g : s.segments)
        std::printf("    %.4f .. %.4f  %7.2f d  %zu points\n", g.first, g.last, g.length(), g.count);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> files(argv + 1, argv + argc);
    if (files.empty())
        files = {example("kic7917485_kepler_lc.txt"),
                 example("hlsp_tess-spoc_tess_phot_0000000022876651-s0058_tess_v1_lc.fits")};
    for (const std::string& file : files) {
        try {
            report(file);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 2;
        }
    }
    return 0;
}
