// The picture of a star's tracking: four panels on one page.
#include "track_picture.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

#include "extraction/statistics.hpp"
#include "output.hpp"
#include "page.hpp"
#include "tracking/kepler.hpp"

namespace prewhiten {

namespace {

using page::Box;
using page::number_text;
using page::padded;
using page::Range;

// A panel's title (mtxt "T" 0.6) and the axis label of the one above it
// (mtxt "B" 2.6) need 0.105 of the page's height between the panels.
constexpr Box amplitude_panel = {0.085f, 0.48f, 0.63f, 0.86f};
constexpr Box phase_panel = {0.6f, 0.975f, 0.63f, 0.86f};
constexpr Box delay_panel = {0.085f, 0.975f, 0.32f, 0.52f};
constexpr Box spectrum_panel = {0.085f, 0.975f, 0.07f, 0.21f};

// The names of the frequencies shown, in their colours, above panels (a)
// and (b): a page-wide line, so that four fit.
constexpr float legend_height = 0.875f;
constexpr float legend_spacing = 0.21f;

// Points of the orbit's curve across the delays.
constexpr int orbit_samples = 2000;

constexpr int black = 1;
constexpr int orbit_colour = 16;
constexpr int level_colour = 17;
constexpr int grey = 18;
constexpr int first_series_colour = 20;  // one per frequency shown

void set_colours(plotting::Plotter& plot)
{
    plot.scr(orbit_colour, 0.85f, 0.1f, 0.1f);
    plot.scr(level_colour, 0.0f, 0.6f, 0.25f);
    plot.scr(grey, 0.45f, 0.45f, 0.45f);
    plot.scr(first_series_colour + 0, 0.1f, 0.3f, 0.95f);
    plot.scr(first_series_colour + 1, 0.9f, 0.45f, 0.0f);
    plot.scr(first_series_colour + 2, 0.0f, 0.6f, 0.25f);
    plot.scr(first_series_colour + 3, 0.6f, 0.1f, 0.7f);
}



// Values with their error bars, both ends counted.
Range range_with_errors(const std::vector<double>& y, const std::vector<double>& e)
{
    Range r;
    for (std::size_t i = 0; i < y.size(); ++i) {
        r.add(y[i] - e[i]);
        r.add(y[i] + e[i]);
    }
    return r;
}


// Points with error bars, times from `origin`, single precision.
void draw_points(plotting::Plotter& plot, const std::vector<double>& t, const std::vector<double>& y,
                 const std::vector<double>& e, double origin, int symbol)
{
    std::vector<float> x, v, low, high;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!std::isfinite(y[i]) || !std::isfinite(e[i]) || std::fabs(y[i]) > 1e30 || std::fabs(e[i]) > 1e30)
            continue;
        x.push_back(static_cast<float>(t[i] - origin));
        v.push_back(static_cast<float>(y[i]));
        low.push_back(static_cast<float>(y[i] - e[i]));
        high.push_back(static_cast<float>(y[i] + e[i]));
    }
    if (x.empty()) return;
    plot.erry(static_cast<int>(x.size()), x.data(), low.data(), high.data(), 0.0f);
    plot.pt(static_cast<int>(x.size()), x.data(), v.data(), symbol);
}

// The times the panels share: from a whole day before the first window.
struct TimeAxis {
    double origin = 0.0;
    float x1 = 0.0f, x2 = 1.0f;
    std::string label;
};

TimeAxis time_axis(const TrackPictureInput& input)
{
    Range t;
    for (const TrackedSeries& s : input.strongest)
        for (double x : s.t) t.add(x);
    for (double x : input.delay_t) t.add(x);
    TimeAxis axis;
    axis.origin = t.empty() || std::fabs(t.low) < 1.0 ? 0.0 : std::floor(t.low);
    Range shifted;
    if (!t.empty()) shifted = {t.low - axis.origin, t.high - axis.origin};
    std::tie(axis.x1, axis.x2) = padded(shifted, 0.02);
    axis.label = axis.origin == 0.0 ? "Time (d)" : "Time - " + number_text(axis.origin, "%.0f") + " (d)";
    return axis;
}

void draw_title(plotting::Plotter& plot, const TrackPictureInput& input)
{
    plot.svp(0.0f, 1.0f, 0.0f, 1.0f);
    plot.swin(0.0f, 1.0f, 0.0f, 1.0f);
    plot.sch(1.3f);
    plot.ptxt(amplitude_panel.left, 0.965f, 0.0f, 0.0f, plain_text(escape_controls(input.file)));
    plot.sch(1.0f);
    plot.ptxt(amplitude_panel.left, 0.927f, 0.0f, 0.0f, plain_text(input.subtitle));
    plot.sch(0.9f);
    for (std::size_t k = 0; k < input.strongest.size(); ++k) {
        const TrackedSeries& s = input.strongest[k];
        std::string name = "f";
        name += std::to_string(s.id);
        name += ' ';
        name += number_text(s.frequency, "%.4f");
        name += " c/d";
        plot.sci(first_series_colour + static_cast<int>(k));
        plot.ptxt(amplitude_panel.left + legend_spacing * static_cast<float>(k), legend_height, 0.0f, 0.0f, name);
    }
    plot.sci(black);
    plot.sch(1.0f);
}

// Panels (a) and (b): one colour per frequency, named above panel (a).
void draw_series(plotting::Plotter& plot, const TrackPictureInput& input, const TimeAxis& axis, bool phases)
{
    const Box& box = phases ? phase_panel : amplitude_panel;
    Range y;
    for (const TrackedSeries& s : input.strongest) {
        const Range r =
            phases ? range_with_errors(s.phase, s.phase_err) : range_with_errors(s.amplitude, s.amplitude_err);
        y.add(r.low);
        y.add(r.high);
    }
    const auto [y1, y2] = padded(y, 0.08);
    plot.svp(box.left, box.right, box.bottom, box.top);
    plot.swin(axis.x1, axis.x2, y1, y2);
    for (std::size_t k = 0; k < input.strongest.size(); ++k) {
        const TrackedSeries& s = input.strongest[k];
        plot.sci(first_series_colour + static_cast<int>(k));
        plot.sch(0.7f);
        if (phases) draw_points(plot, s.phase_t, s.phase, s.phase_err, axis.origin, 17);
        else draw_points(plot, s.t, s.amplitude, s.amplitude_err, axis.origin, 17);
    }
    plot.sch(1.0f);
    plot.sci(black);
    plot.box("bcnst", 0.0f, 0, "bcnstv", 0.0f, 0);
    plot.mtxt("B", 2.6f, 0.5f, 0.5f, axis.label);
    if (phases) {
        plot.mtxt("L", 3.8f, 0.5f, 0.5f, "Phase (cycles)");
    } else {
        const char* unit = lightcurve::unit_name(input.unit);
        plot.mtxt("L", 3.8f, 0.5f, 0.5f,
                  input.unit == lightcurve::Unit::none ? std::string("Amplitude")
                                                       : std::string("Amplitude (") + unit + ")");
    }
    if (input.strongest.empty()) plot.mtxt("T", -1.6f, 0.5f, 0.5f, "no frequency fitted");
}

// Panel (c): the delays and the orbit through them.
void draw_delays(plotting::Plotter& plot, const TrackPictureInput& input, const TimeAxis& axis)
{
    const Box& box = delay_panel;
    Range y = range_with_errors(input.delay, input.delay_err);
    for (double d : input.orbit_delay) y.add(d);
    const auto [y1, y2] = padded(y, 0.08);
    plot.svp(box.left, box.right, box.bottom, box.top);
    plot.swin(axis.x1, axis.x2, y1, y2);
    plot.sci(black);
    plot.sch(0.7f);
    draw_points(plot, input.delay_t, input.delay, input.delay_err, axis.origin, 17);
    plot.sch(1.0f);
    if (!input.orbit_t.empty()) {
        std::vector<float> x, v;
        for (std::size_t i = 0; i < input.orbit_t.size(); ++i) {
            if (!std::isfinite(input.orbit_delay[i])) continue;
            x.push_back(static_cast<float>(input.orbit_t[i] - axis.origin));
            v.push_back(static_cast<float>(input.orbit_delay[i]));
        }
        plot.sci(orbit_colour);
        plot.slw(2);
        plot.line(static_cast<int>(x.size()), x.data(), v.data());
        plot.slw(1);
        plot.sci(black);
    }
    plot.box("bcnst", 0.0f, 0, "bcnstv", 0.0f, 0);
    plot.mtxt("B", 2.6f, 0.5f, 0.5f, axis.label);
    plot.mtxt("L", 3.8f, 0.5f, 0.5f, "Time delay (s)");
    plot.mtxt("T", 0.6f, 0.0f, 0.0f, input.orbit_t.empty() ? "Time delays: no orbit claimed"
                                                           : "Time delays and the orbit");
    if (input.delay_t.empty()) plot.mtxt("T", -1.6f, 0.5f, 0.5f, "no window has a time delay");
}

// Panel (d): the delays' spectrum and the false-alarm level.
void draw_delay_spectrum(plotting::Plotter& plot, const TrackPictureInput& input)
{
    const Box& box = spectrum_panel;
    std::vector<float> x, y;
    Range f, z;
    for (std::size_t j = 0; j < input.power.size(); ++j) {
        const double fj = input.spectrum_fmin + static_cast<double>(j) * input.spectrum_step;
        if (!std::isfinite(input.power[j])) continue;
        x.push_back(static_cast<float>(fj));
        y.push_back(static_cast<float>(input.power[j]));
        f.add(fj);
        z.add(input.power[j]);
    }
    z.add(0.0);
    z.add(input.fap_level);
    const auto [x1, x2] = padded(f, 0.0);
    const float top = z.empty() || !(z.high > 0.0) ? 1.0f : static_cast<float>(std::min(1.0, z.high * 1.15));
    plot.svp(box.left, box.right, box.bottom, box.top);
    plot.swin(x1, x2, 0.0f, top);
    plot.sci(black);
    plot.line(static_cast<int>(x.size()), x.data(), y.data());
    if (std::isfinite(input.fap_level)) {
        const float xs[2] = {x1, x2};
        const float level[2] = {static_cast<float>(input.fap_level), static_cast<float>(input.fap_level)};
        plot.sci(level_colour);
        plot.sls(2);
        plot.line(2, xs, level);
        plot.sls(1);
        plot.sci(black);
    }
    plot.box("bcnst", 0.0f, 0, "bcnstv", 0.0f, 0);
    plot.mtxt("B", 2.6f, 0.5f, 0.5f, "Frequency (c/d)");
    plot.mtxt("L", 3.8f, 0.5f, 0.5f, "Power (z)");
    plot.mtxt("T", 0.6f, 0.0f, 0.0f, "Spectrum of the time delays");
    plot.sci(level_colour);
    plot.mtxt("T", 0.6f, 1.0f, 1.0f, "false-alarm level of the claim");
    plot.sci(black);
    if (x.empty()) {
        plot.mtxt("T", -1.6f, 0.5f, 0.5f, "too few windows with delays to search");
    } else if (input.peak_frequency > 0.0) {
        plot.ptxt(static_cast<float>(input.peak_frequency), top * 0.7f, 0.0f, 0.0f,
                  " peak at P = " + number_text(1.0 / input.peak_frequency, "%.4g") + " d");
    }
}

// The z at which the false-alarm probability of the search equals the
// limit: the FAP falls as z grows, so bisection finds it.
double fap_level(const tracking::Result& result, double orbit_fap)
{
    const tracking::DelaySpectrum& s = result.spectrum;
    if (!s.searched || !(orbit_fap > 0.0) || result.delays.size() < 4) return std::numeric_limits<double>::quiet_NaN();
    std::vector<double> times;
    for (const tracking::DelayPoint& p : result.delays) times.push_back(p.t);
    const double t_eff = extraction::effective_span(times);
    const double goal = std::log10(orbit_fap);
    double low = 0.0, high = 1.0;
    for (int k = 0; k < 60; ++k) {
        const double mid = 0.5 * (low + high);
        (extraction::log10_false_alarm(mid, result.delays.size(), s.fmax, t_eff) > goal ? low : high) = mid;
    }
    return 0.5 * (low + high);
}

}  // namespace

TrackPictureInput track_picture_of(const std::string& label, const tracking::Result& result, lightcurve::Unit unit,
                                   double orbit_fap)
{
    TrackPictureInput input;
    input.file = label;
    input.unit = unit;
    const tracking::OrbitFit& o = result.orbit;
    input.subtitle = std::to_string(result.counts.used) + " of " + std::to_string(result.windows.size()) +
                     " windows of " + number_text(result.width, "%g") + " d; ";
    input.subtitle += o.fitted ? "orbit P = " + number_text(o.orbit.period, "%.4g") + " d, a1 sin i / c = " +
                                     number_text(o.orbit.asini, "%.3g") + " s" +
                                     (o.eccentric ? ", e = " + number_text(o.orbit.e, "%.2f") : std::string())
                               : std::string("no orbit claimed");

    // The strongest fitted frequencies.
    std::vector<std::size_t> order(result.fitted.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return result.table[result.fitted[a]].amplitude > result.table[result.fitted[b]].amplitude;
    });
    if (order.size() > track_picture_frequencies) order.resize(track_picture_frequencies);
    for (std::size_t i : order) {
        TrackedSeries s;
        s.id = result.table[result.fitted[i]].id;
        s.frequency = result.table[result.fitted[i]].frequency;
        std::vector<double> used_phases;
        for (const tracking::WindowResult& wr : result.windows) {
            if (wr.cells.size() != result.fitted.size()) continue;
            const tracking::Cell& c = wr.cells[i];
            s.t.push_back(wr.window.t_mid);
            s.amplitude.push_back(c.amplitude);
            s.amplitude_err.push_back(c.amplitude_err);
            if (!c.used) continue;
            s.phase_t.push_back(wr.window.t_mid);
            s.phase.push_back(c.phase);
            s.phase_err.push_back(c.phase_err);
        }
        if (!s.phase.empty()) {
            const double mean =
                std::accumulate(s.phase.begin(), s.phase.end(), 0.0) / static_cast<double>(s.phase.size());
            for (double& p : s.phase) p -= mean;
        }
        input.strongest.push_back(std::move(s));
    }

    for (const tracking::DelayPoint& p : result.delays) {
        input.delay_t.push_back(p.t);
        input.delay.push_back(p.delay);
        input.delay_err.push_back(p.delay_err);
    }
    if (o.fitted && input.delay_t.size() > 1) {
        const double t1 = input.delay_t.front(), t2 = input.delay_t.back();
        for (int k = 0; k < orbit_samples; ++k) {
            const double t = t1 + (t2 - t1) * k / (orbit_samples - 1);
            input.orbit_t.push_back(t);
            input.orbit_delay.push_back(tracking::light_time(o.orbit, t) + o.trend * (t - result.t_ref));
        }
    }
    const tracking::DelaySpectrum& s = result.spectrum;
    if (s.searched) {
        input.spectrum_fmin = s.fmin;
        input.spectrum_step = s.step;
        input.power = s.power;
        input.peak_frequency = s.peak_frequency;
    }
    input.fap_level = fap_level(result, orbit_fap);
    input.claimed = o.fitted;
    return input;
}

void draw_track_picture(plotting::Plotter& plot, const TrackPictureInput& input)
{
    plot.pap(page_width, page_aspect);
    plot.page();
    set_colours(plot);
    plot.slw(1);
    plot.sch(1.0f);
    plot.sci(black);
    draw_title(plot, input);
    const TimeAxis axis = time_axis(input);
    draw_series(plot, input, axis, false);
    draw_series(plot, input, axis, true);
    draw_delays(plot, input, axis);
    draw_delay_spectrum(plot, input);
}

void write_track_picture(const std::filesystem::path& name, PictureType type, const TrackPictureInput& input,
                         plotting::Plotter& plot)
{
    write_page(name, type, plot, [&input](plotting::Plotter& p) { draw_track_picture(p, input); });
}

}  // namespace prewhiten
