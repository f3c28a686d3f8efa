// The summary lines of each star.
#include "screen.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "numerics/median.hpp"
#include "output.hpp"

namespace prewhiten {

std::string g6(double x)
{
    char t[32];
    std::snprintf(t, sizeof t, "%.6g", x);
    return t;
}

namespace {

std::string dropped_reasons(const lightcurve::Dropped& d)
{
    std::string text;
    auto reason = [&](std::size_t count, const char* what) {
        if (count == 0) return;
        text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + what;
    };
    reason(d.time_not_finite, "time not finite");
    reason(d.quality_flagged, "quality flagged");
    reason(d.value_not_finite, "value not finite");
    reason(d.error_not_finite, "error not finite");
    return text.empty() ? "" : " (" + text + ")";
}

}  // namespace

Peak highest_peak(const spectrum::Grid& grid, const std::vector<double>& amplitude)
{
    Peak peak;
    for (std::size_t j = 0; j < amplitude.size(); ++j) {
        if (!(amplitude[j] > peak.amplitude)) continue;
        peak.found = true;
        peak.index = j;
        peak.amplitude = amplitude[j];
    }
    if (peak.found) peak.frequency = grid.frequency(peak.index);
    return peak;
}

void say_reading(std::ostream& out, const lightcurve::LightCurve& curve)
{
    for (const lightcurve::Source& s : curve.sources)
        out << escape_controls(s.file) << ": " << s.rows << " rows read, " << s.dropped.total() << " dropped"
            << dropped_reasons(s.dropped) << ", " << s.kept() << " kept\n";
}

void say_grid(std::ostream& out, const Star& star, const lightcurve::LightCurve& curve, const spectrum::Grid& grid,
              const Options& options)
{
    out << star.name << ": N = " << curve.size() << ", T = " << g6(lightcurve::time_span(curve.times))
        << " d, median step " << g6(numerics::median_step(curve.times)) << " d, "
        << (curve.unit == lightcurve::Unit::none ? std::string("values as given")
                                                  : std::string("values in ") + lightcurve::unit_name(curve.unit))
        << "\n";
    out << star.name << ": " << g6(grid.fmin) << " to " << g6(grid.frequency(grid.count - 1)) << " c/d in steps of "
        << g6(grid.step) << " c/d, " << grid.count << " frequencies, method " << method_name(options.spectrum.method)
        << "\n";
}

void say_segments(std::ostream& out, const Star& star, const extraction::Segmentation& segmentation,
                  const Options& options)
{
    const std::vector<extraction::Segment>& segments = segmentation.segments;
    double shortest = segments.empty() ? 0.0 : segments.front().length();
    for (const extraction::Segment& s : segments) shortest = std::min(shortest, s.length());
    out << star.name << ": " << segments.size() << (segments.size() == 1 ? " segment" : " segments");
    if (segments.size() > 1)
        out << ", median " << g6(extraction::median_segment_length(segments)) << " d, shortest " << g6(shortest)
            << " d";
    else if (segments.size() == 1)
        out << " of " << g6(segments.front().length()) << " d";
    out << (options.segments ? " (the breakpoints of " + escape_controls(*options.segments) + ")" : std::string())
        << "; ";
    if (options.baseline == extraction::Baseline::none)
        out << "no baselines (one constant)";
    else
        out << "a" << (options.baseline == extraction::Baseline::offset ? "n " : " ")
            << baseline_name(options.baseline) << " baseline" << (segments.size() > 1 ? " each" : "");
    out << "; candidates by " << (options.select == extraction::Select::snr ? "S/N" : "height") << "\n";
}

void say_peak(std::ostream& out, const Star& star, const Peak& peak, lightcurve::Unit unit)
{
    if (!peak.found) {
        out << star.name << ": no peak: the amplitude is nowhere above zero\n";
        return;
    }
    char frequency[48];
    std::snprintf(frequency, sizeof frequency, "%.6f", peak.frequency);
    out << star.name << ": highest peak at " << frequency << " c/d, amplitude " << g6(peak.amplitude)
        << (unit == lightcurve::Unit::none ? "" : std::string(" ") + lightcurve::unit_name(unit)) << "\n";
}

void say_written(std::ostream& out, const Star& star, const std::filesystem::path& file)
{
    out << star.name << ": wrote " << escape_controls(file.string()) << "\n";
}

void say_star(std::ostream& out, const StarOutcome& outcome, double seconds)
{
    const SummaryRow& s = outcome.summary;
    out << s.file << ": " << s.n << (s.n == 1 ? " point" : " points");
    if (outcome.dropped > 0) out << " (" << outcome.dropped << " dropped)";
    out << ", " << s.frequencies << (s.frequencies == 1 ? " frequency" : " frequencies") << "; stop: "
        << s.stop_sentence;
    if (s.orbit_columns) {
        if (!s.tracked) out << "; not tracked";
        else if (!s.orbit) out << "; no orbit claimed";
        else out << "; orbit P = " << g6(s.orbit_period) << " d, a1 sin i / c = " << g6(s.orbit_asini) << " s";
    }
    char time[32];
    std::snprintf(time, sizeof time, "; %.1f s\n", seconds);
    out << time;
}

ProgressLine::ProgressLine(std::ostream* terminal, std::string label)
    : terminal_(terminal), label_(std::move(label))
{
}

ProgressLine::~ProgressLine()
{
    if (terminal_ && width_ > 0) *terminal_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
}

void ProgressLine::show(const extraction::Progress& p)
{
    if (!terminal_) return;
    char text[96];
    std::snprintf(text, sizeof text, ": frequency %d of at most %d, %.1f s", p.extracted, p.most, p.elapsed);
    const std::string line = label_ + text;
    *terminal_ << '\r' << line << std::string(line.size() < width_ ? width_ - line.size() : 0, ' ') << std::flush;
    width_ = std::max(width_, line.size());
}

}  // namespace prewhiten
