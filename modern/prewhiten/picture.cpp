// The picture of a star: four panels on one page.
#include "picture.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string_view>

#include "output.hpp"
#include "page.hpp"

namespace prewhiten {

namespace fs = std::filesystem;

namespace {

using page::Box;
using page::number_text;
using page::padded;
using page::Range;

// --- the page, in fractions of its width (x) and height (y) ----------------

constexpr Box spectrum_panel = {0.085f, 0.975f, 0.63f, 0.885f};
constexpr Box residual_panel = {0.085f, 0.975f, 0.415f, 0.605f};
constexpr Box window_panel = {0.085f, 0.44f, 0.075f, 0.28f};
constexpr Box curve_panel = {0.56f, 0.975f, 0.075f, 0.28f};

// Pixels across the page in PNG (the library draws about 94 pixels to the
// inch): the columns of a spectrum's envelope.
constexpr float page_pixels = 1320.0f;

// Character height 1 is 1/40 of the page's smaller side, its height here;
// a character of the library's font is about 0.55 of its height wide.
constexpr float character_height = 1.0f / 40.0f;
constexpr float character_width = 0.55f * page_aspect / 40.0f;

// Label size of the extracted frequencies, and the tick under each label,
// as fractions of the page height.
constexpr float label_size = 0.8f;
constexpr float tick_gap = 0.004f;
constexpr float tick_length = 0.014f;
constexpr float label_gap = 0.003f;

// Colour indices set for the page.
constexpr int black = 1;
constexpr int noise_colour = 16;
constexpr int independent_colour = 17;
constexpr int combination_colour = 18;
constexpr int grey = 19;

void set_colours(plotting::Plotter& plot)
{
    plot.scr(noise_colour, 0.0f, 0.6f, 0.25f);
    plot.scr(independent_colour, 0.85f, 0.1f, 0.1f);
    plot.scr(combination_colour, 0.1f, 0.3f, 0.95f);
    plot.scr(grey, 0.45f, 0.45f, 0.45f);
}

int columns_of(const Box& box)
{
    return std::max(1, static_cast<int>(std::lround((box.right - box.left) * page_pixels)));
}

// --- ranges ----------------------------------------------------------------


// An amplitude axis from zero to a little above the highest value; a
// fraction `room` of the panel's height is kept free above it.
float amplitude_top(const Range& range, double room)
{
    if (range.empty() || !(range.high > 0.0)) return 1.0f;
    return static_cast<float>(range.high / (1.0 - room));
}

// The frequencies drawn: the grid's, and the middle one alone widened by
// a step either side.
Range frequency_range(const spectrum::Grid& grid)
{
    Range range;
    if (grid.count == 0) {
        range.low = 0.0, range.high = 1.0;
        return range;
    }
    range.low = grid.fmin;
    range.high = grid.frequency(grid.count - 1);
    if (!(range.high > range.low)) {
        const double half = grid.step > 0.0 ? grid.step : std::max(1.0, std::fabs(grid.fmin) * 1e-3);
        range.low -= half, range.high += half;
    }
    return range;
}

// The smallest round number (1, 2 or 5 times a power of ten) not below x.
double round_up(double x)
{
    const double decade = std::pow(10.0, std::floor(std::log10(x)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * decade >= x * (1.0 - 1e-9)) return m * decade;
    return 10.0 * decade;
}


// The frequencies panels (a) and (b) show: the grid's, but a grid that
// reaches far beyond the highest extracted frequency (the Nyquist frequency
// of a short cadence) is shown to 1.2 times it, at least a tenth of the
// grid, rounded up to a whole number of round steps.
std::pair<float, float> shown_frequencies(const PictureInput& input)
{
    const Range grid = frequency_range(input.grid);
    double highest = 0.0;
    for (const MarkedFrequency& m : input.frequencies)
        if (std::isfinite(m.frequency)) highest = std::max(highest, m.frequency);
    double end = std::max(1.2 * highest, grid.low + 0.1 * (grid.high - grid.low));
    if (highest > 0.0 && end > grid.low && end < grid.high) {
        const double step = round_up((end - grid.low) / 10.0);
        end = std::min(grid.high, std::ceil(end / step) * step);
    } else {
        end = grid.high;
    }
    return padded(Range{grid.low, end}, 0.0);
}

// --- text ------------------------------------------------------------------

std::string amplitude_label(lightcurve::Unit unit)
{
    if (unit == lightcurve::Unit::none) return "Amplitude";
    return std::string("Amplitude (") + lightcurve::unit_name(unit) + ")";
}

std::string value_label(lightcurve::Unit unit)
{
    switch (unit) {
    case lightcurve::Unit::flux:
        return "Relative flux (ppt)";
    case lightcurve::Unit::mag:
        return "Magnitude (mmag)";
    case lightcurve::Unit::none:
        break;
    }
    return "Value";
}


// --- the pieces of the panels ----------------------------------------------

void draw_line(plotting::Plotter& plot, const Polyline& line)
{
    plot.line(static_cast<int>(line.x.size()), line.x.data(), line.y.data());
}

// A curve given point by point, without non-finite points.
Polyline curve_of(std::span<const double> x, std::span<const double> y, double origin = 0.0)
{
    Polyline line;
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        const double u = x[i] - origin;
        if (!std::isfinite(u) || !std::isfinite(y[i]) || std::fabs(u) > 1e30 || std::fabs(y[i]) > 1e30) continue;
        line.x.push_back(static_cast<float>(u));
        line.y.push_back(static_cast<float>(y[i]));
    }
    return line;
}

// A spectrum panel's two lines: the amplitudes reduced to the panel's
// pixel columns, and the S/N limit curve; their heights set the panel's top.
struct SpectrumLines {
    Polyline amplitude;
    Polyline noise;
    Range heights;
};

SpectrumLines spectrum_lines(const PictureInput& input, std::span<const double> amplitude, const Box& box, float x1,
                             float x2)
{
    SpectrumLines lines;
    lines.amplitude = envelope(input.grid, amplitude, x1, x2, columns_of(box));
    lines.noise = curve_of(input.noise_frequency, input.noise_level);
    lines.heights.add(lines.amplitude.y);
    lines.heights.add(lines.noise.y);
    return lines;
}

// The amplitudes in their colour, then the S/N limit in a thicker line.
void draw_spectrum_lines(plotting::Plotter& plot, const SpectrumLines& lines, int colour)
{
    plot.sci(colour);
    draw_line(plot, lines.amplitude);
    plot.sci(noise_colour);
    plot.slw(2);
    draw_line(plot, lines.noise);
    plot.slw(1);
    plot.sci(black);
}

// The highest amplitude of the spectrum within `reach` of f: the top of
// the peak as drawn, where its mark goes.
double peak_top(const PictureInput& input, double f, double reach, double fallback)
{
    const spectrum::Grid& grid = input.grid;
    const std::size_t n = std::min<std::size_t>(grid.count, input.data_amplitude.size());
    if (n == 0 || !(grid.step > 0.0)) return fallback;
    const double first = std::ceil((f - reach - grid.fmin) / grid.step);
    const double last = std::floor((f + reach - grid.fmin) / grid.step);
    if (!(last >= 0.0) || !(first <= static_cast<double>(n - 1))) return fallback;
    const std::size_t j0 = first > 0.0 ? static_cast<std::size_t>(first) : 0;
    const std::size_t j1 = std::min(n - 1, static_cast<std::size_t>(last));
    double top = -1.0;
    for (std::size_t j = j0; j <= j1; ++j)
        if (std::isfinite(input.data_amplitude[j])) top = std::max(top, input.data_amplitude[j]);
    return top >= 0.0 ? top : fallback;
}

struct Placed {
    double left, right, bottom, top;
};

bool overlaps(const Placed& a, const Placed& b)
{
    return a.left < b.right && b.left < a.right && a.bottom < b.top && b.bottom < a.top;
}

// Marks of the extracted frequencies on panel (a): a tick above each peak
// in its colour, and its id where the label has room; the strongest are
// labelled first.  A label may sit centred above its tick, or beside it to
// the right or to the left; it takes the first of these whose box covers
// no other marked peak (its line up to the top of its tick) and no label
// placed before it, and is left out when none is free: a weak peak in a
// crowd keeps its tick alone.
void mark_frequencies(plotting::Plotter& plot, const PictureInput& input, const Box& box, float x1, float x2, float top)
{
    const double per_x = (x2 - x1) / (box.right - box.left);     // frequency per page width
    const double per_y = top / (box.top - box.bottom);           // amplitude per page height
    const double reach = (x2 - x1) / columns_of(box);

    std::vector<std::size_t> order(input.frequencies.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return input.frequencies[a].amplitude > input.frequencies[b].amplitude;
    });

    // Each marked peak in the panel, as the label boxes must leave it: a
    // line a pixel wide from zero to the top of its tick.
    std::vector<Placed> peaks(input.frequencies.size(), Placed{0, 0, 0, -1});
    std::vector<double> heights(input.frequencies.size(), 0.0);
    for (std::size_t i = 0; i < input.frequencies.size(); ++i) {
        const MarkedFrequency& m = input.frequencies[i];
        if (!(m.frequency >= x1 && m.frequency <= x2)) continue;
        heights[i] = peak_top(input, m.frequency, reach, m.amplitude);
        peaks[i] = {m.frequency - reach, m.frequency + reach, 0.0, heights[i] + (tick_gap + tick_length) * per_y};
    }

    // The ticks weakest first, so that a strong peak's tick is drawn over
    // those of weak ones beside it.
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const MarkedFrequency& m = input.frequencies[*it];
        if (!(m.frequency >= x1 && m.frequency <= x2)) continue;
        const float xs[2] = {static_cast<float>(m.frequency), static_cast<float>(m.frequency)};
        const float y[2] = {static_cast<float>(heights[*it] + tick_gap * per_y), static_cast<float>(peaks[*it].top)};
        plot.sci(m.combination ? combination_colour : independent_colour);
        plot.line(2, xs, y);
    }

    std::vector<Placed> placed;
    plot.sch(label_size);
    for (std::size_t i : order) {
        const MarkedFrequency& m = input.frequencies[i];
        if (!(m.frequency >= x1 && m.frequency <= x2)) continue;
        const float y[2] = {static_cast<float>(heights[i] + tick_gap * per_y), static_cast<float>(peaks[i].top)};
        plot.sci(m.combination ? combination_colour : independent_colour);

        std::string label = "f";
        label += std::to_string(m.id);
        const double width = label.size() * character_width * label_size * per_x;
        const double gap = 0.5 * character_width * label_size * per_x;
        const double height = character_height * label_size * per_y;
        const double above = y[1] + label_gap * per_y;
        // Centred above the tick, then beside its top to the right, to the left.
        struct Place {
            double left, bottom;
            float justify;
        };
        const Place places[] = {{m.frequency - 0.5 * width, above, 0.5f},
                                {m.frequency + gap, y[1] - 0.5 * height, 0.0f},
                                {m.frequency - gap - width, y[1] - 0.5 * height, 1.0f}};
        for (const Place& p : places) {
            const Placed box_of_label = {p.left, p.left + width, p.bottom, p.bottom + height};
            if (box_of_label.top > top || box_of_label.left < x1 || box_of_label.right > x2) continue;
            // Labels keep half a character apart, so that two never read as one.
            const Placed spaced = {box_of_label.left - 0.5 * gap, box_of_label.right + 0.5 * gap, box_of_label.bottom,
                                   box_of_label.top};
            const auto hit = [&](const Placed& other) { return overlaps(other, spaced); };
            bool covers_a_peak = false;
            for (std::size_t k = 0; k < peaks.size(); ++k)
                if (k != i && overlaps(peaks[k], box_of_label)) covers_a_peak = true;
            if (covers_a_peak || std::any_of(placed.begin(), placed.end(), hit)) continue;
            placed.push_back(box_of_label);
            const double anchor = p.justify == 0.5f ? m.frequency : p.justify == 0.0f ? p.left : p.left + width;
            plot.ptxt(static_cast<float>(anchor), static_cast<float>(p.bottom), 0.0f, p.justify, label);
            break;
        }
    }
    plot.sch(1.0f);
    plot.sci(black);
}

// The page title: the file, then what was found and why it stopped.
void draw_title(plotting::Plotter& plot, const PictureInput& input)
{
    plot.svp(0.0f, 1.0f, 0.0f, 1.0f);
    plot.swin(0.0f, 1.0f, 0.0f, 1.0f);
    plot.sch(1.3f);
    plot.ptxt(spectrum_panel.left, 0.965f, 0.0f, 0.0f, plain_text(escape_controls(input.file)));
    plot.sch(1.0f);
    const std::size_t k = input.frequencies.size();
    std::string found = std::to_string(k) + (k == 1 ? " frequency extracted" : " frequencies extracted");
    if (!input.stop_reason.empty()) found += "; " + input.stop_reason;
    // A long stop reason in smaller letters, so that it ends within the page.
    const float room = (1.0f - spectrum_panel.left) / character_width;
    if (found.size() > room) plot.sch(std::max(0.6f, room / static_cast<float>(found.size())));
    plot.ptxt(spectrum_panel.left, 0.927f, 0.0f, 0.0f, plain_text(found));
    plot.sch(1.0f);
}

// Panel (a): the data's spectrum, the noise curve and the marks.
void draw_spectrum(plotting::Plotter& plot, const PictureInput& input, float x1, float x2)
{
    const Box& box = spectrum_panel;
    const SpectrumLines lines = spectrum_lines(input, input.data_amplitude, box, x1, x2);
    const double label_room = (tick_gap + tick_length + label_gap + character_height * label_size) + 0.01;
    const float top = amplitude_top(lines.heights, label_room / (box.top - box.bottom));

    plot.svp(box.left, box.right, box.bottom, box.top);
    plot.swin(x1, x2, 0.0f, top);
    draw_spectrum_lines(plot, lines, black);
    plot.box("bcst", 0.0f, 0, "bcnstv", 0.0f, 0);
    // One label for the amplitude axes of (a) and (b), centred on both.
    const float middle = 0.5f * (residual_panel.bottom + box.top);
    plot.mtxt("L", 3.8f, (middle - box.bottom) / (box.top - box.bottom), 0.5f, amplitude_label(input.unit));
    mark_frequencies(plot, input, box, x1, x2, top);

    // What each colour means, above the panel's right end.
    plot.sch(0.9f);
    plot.sci(independent_colour);
    plot.mtxt("T", 0.6f, 0.52f, 1.0f, "f1, f2, ... extracted");
    plot.sci(combination_colour);
    plot.mtxt("T", 0.6f, 0.69f, 1.0f, "combinations");
    plot.sci(noise_colour);
    plot.mtxt("T", 0.6f, 1.0f, 1.0f, number_text(input.snr, "%g") + " x local noise (S/N limit)");
    plot.sci(black);
    plot.sch(1.0f);
}

// Panel (b): the residual spectrum on the same frequency axis.
void draw_residuals(plotting::Plotter& plot, const PictureInput& input, float x1, float x2)
{
    const Box& box = residual_panel;
    const SpectrumLines lines = spectrum_lines(input, input.residual_amplitude, box, x1, x2);

    plot.svp(box.left, box.right, box.bottom, box.top);
    plot.swin(x1, x2, 0.0f, amplitude_top(lines.heights, 0.15));
    draw_spectrum_lines(plot, lines, grey);
    plot.box("bcnst", 0.0f, 0, "bcnstv", 0.0f, 0);
    plot.mtxt("B", 2.6f, 0.5f, 0.5f, "Frequency (c/d)");
    const std::size_t k = input.frequencies.size();
    plot.sch(0.9f);
    std::string title = "Residuals after " + std::to_string(k) + (k == 1 ? " frequency" : " frequencies");
    const double grid_end = frequency_range(input.grid).high;
    if (grid_end > x2 + 1e-6 * (x2 - x1))
        title += " (spectrum computed to " + number_text(grid_end, "%.4g") + " c/d)";
    plot.mtxt("T", -1.4f, 0.01f, 0.0f, title);
    plot.sch(1.0f);
}

// Panel (c): the spectral window, frequencies from its central peak.
void draw_window(plotting::Plotter& plot, const PictureInput& input)
{
    const Box& box = window_panel;
    const double half = input.window_half_width > 0.0 ? input.window_half_width : 1.0;
    const Polyline window = envelope(input.window_grid, input.window_amplitude, input.window_centre - half,
                                     input.window_centre + half, columns_of(box), input.window_centre);
    Range heights;
    heights.add(window.y);

    plot.svp(box.left, box.right, box.bottom, box.top);
    plot.swin(static_cast<float>(-half), static_cast<float>(half), 0.0f, amplitude_top(heights, 0.1));
    plot.sci(black);
    draw_line(plot, window);
    plot.box("bcnst", 0.0f, 0, "bcnstv", 0.0f, 0);
    plot.mtxt("B", 2.6f, 0.5f, 0.5f, "Frequency from the central peak (c/d)");
    plot.mtxt("L", 3.8f, 0.5f, 0.5f, "Amplitude");
    plot.mtxt("T", 0.6f, 0.0f, 0.0f, "Spectral window");
}

// Panel (d): the light curve over the stretch and the model through it;
// times from a whole day so that single precision keeps them, magnitudes
// brighter upwards.
void draw_light_curve(plotting::Plotter& plot, const PictureInput& input)
{
    const Box& box = curve_panel;
    Range times;
    times.add(input.times);
    times.add(input.model_times);
    const double origin = times.empty() || std::fabs(times.low) < 1.0 ? 0.0 : std::floor(times.low);
    const Polyline points = curve_of(input.times, input.values, origin);
    std::vector<Polyline> model;
    for (std::size_t p = 0; p <= input.model_starts.size(); ++p) {
        const std::size_t n = std::min(input.model_times.size(), input.model_values.size());
        const std::size_t first = p == 0 ? 0 : std::min(n, input.model_starts[p - 1]);
        const std::size_t last = p < input.model_starts.size() ? std::min(n, input.model_starts[p]) : n;
        if (last > first)
            model.push_back(curve_of(std::span(input.model_times).subspan(first, last - first),
                                     std::span(input.model_values).subspan(first, last - first), origin));
    }
    Range x, y;
    x.add(points.x);
    y.add(points.y);
    for (const Polyline& piece : model) {
        x.add(piece.x);
        y.add(piece.y);
    }
    const auto [x1, x2] = padded(x, 0.01);
    const auto [y1, y2] = padded(y, 0.08);

    plot.svp(box.left, box.right, box.bottom, box.top);
    if (input.unit == lightcurve::Unit::mag) plot.swin(x1, x2, y2, y1);
    else plot.swin(x1, x2, y1, y2);
    plot.sci(grey);
    plot.sch(0.6f);
    plot.pt(static_cast<int>(points.x.size()), points.x.data(), points.y.data(), 17);
    plot.sch(1.0f);
    plot.sci(independent_colour);
    plot.slw(2);
    for (const Polyline& piece : model) draw_line(plot, piece);
    plot.slw(1);
    plot.sci(black);
    // On a value axis running downwards the library would draw the time
    // axis's ticks outwards: option i turns them back in.
    plot.box(input.unit == lightcurve::Unit::mag ? "bcnsti" : "bcnst", 0.0f, 0, "bcnstv", 0.0f, 0);
    plot.mtxt("B", 2.6f, 0.5f, 0.5f, origin == 0.0 ? "Time (d)" : "Time - " + number_text(origin, "%.0f") + " (d)");
    plot.mtxt("L", 3.8f, 0.5f, 0.5f, value_label(input.unit));
    plot.mtxt("T", 0.6f, 0.0f, 0.0f, "Light curve and model");
}

// Whether a finished file of the type ends as a whole one does: a PNG
// with its closing IEND chunk, a PDF with its %%EOF line.
bool whole_file(const fs::path& name, PictureType type)
{
    std::ifstream in(name, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) return false;
    if (type == PictureType::png) {
        static constexpr std::string_view signature = "\x89PNG\r\n\x1a\n";
        static constexpr std::string_view iend("\0\0\0\0IEND\xae\x42\x60\x82", 12);
        return text.size() >= signature.size() + iend.size() && text.starts_with(signature) && text.ends_with(iend);
    }
    std::string_view rest(text);
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.remove_suffix(1);
    return text.starts_with("%PDF-") && rest.ends_with("%%EOF");
}

}  // namespace

const char* picture_type_name(PictureType type)
{
    switch (type) {
    case PictureType::png:
        return "png";
    case PictureType::pdf:
        return "pdf";
    case PictureType::none:
        break;
    }
    return "none";
}

Polyline envelope(const spectrum::Grid& grid, std::span<const double> amplitude, double x1, double x2, int columns,
                  double origin)
{
    Polyline line;
    const std::size_t n = std::min<std::size_t>(grid.count, amplitude.size());
    if (n == 0 || !(x2 > x1) || columns < 1) return line;
    const double width = (x2 - x1) / columns;

    // The grid indices within [x1, x2].
    std::size_t j0 = 0, j1 = n - 1;
    if (grid.step > 0.0) {
        const double first = std::ceil((x1 - grid.fmin) / grid.step);
        const double last = std::floor((x2 - grid.fmin) / grid.step);
        if (!(last >= 0.0) || !(first <= static_cast<double>(n - 1))) return line;
        j0 = first > 0.0 ? static_cast<std::size_t>(first) : 0;
        j1 = std::min(n - 1, static_cast<std::size_t>(last));
    }

    auto emit = [&](std::size_t j) {
        line.x.push_back(static_cast<float>(grid.frequency(j) - origin));
        line.y.push_back(static_cast<float>(amplitude[j]));
    };
    long column = -1;
    std::size_t lowest = 0, highest = 0;
    auto flush = [&] {
        if (column < 0) return;
        emit(std::min(lowest, highest));
        if (lowest != highest) emit(std::max(lowest, highest));
    };
    for (std::size_t j = j0; j <= j1; ++j) {
        const double f = grid.frequency(j);
        const double a = amplitude[j];
        if (!std::isfinite(a) || std::fabs(a) > 1e30 || f < x1 || f > x2) continue;
        const long c = std::min<long>(columns - 1, static_cast<long>((f - x1) / width));
        if (c != column) {
            flush();
            column = c;
            lowest = highest = j;
            continue;
        }
        if (a < amplitude[lowest]) lowest = j;
        if (a > amplitude[highest]) highest = j;
    }
    flush();
    return line;
}

Stretch choose_stretch(std::span<const double> times, double length, std::size_t max_points)
{
    Stretch best;
    std::size_t last = 0;
    for (std::size_t first = 0; first < times.size(); ++first) {
        last = std::max(last, first);
        while (last < times.size() && times[last] <= times[first] + length) ++last;
        if (last - first > best.last - best.first) best = {first, last};
    }
    if (best.last - best.first > max_points) best.last = best.first + max_points;
    return best;
}

double stretch_length(double f1, double median_step, double span)
{
    double length = f1 > 0.0 ? 5.0 / f1 : span;
    if (median_step > 0.0) length = std::max(length, 50.0 * median_step);
    if (span > 0.0) length = std::min(length, span);
    return length;
}

double window_half_width(const spectrum::Grid& grid, std::span<const double> amplitude, double centre, double span)
{
    const double least = span > 0.0 ? 4.0 / span : 1.0;
    const std::size_t n = std::min<std::size_t>(grid.count, amplitude.size());
    if (n < 3 || !(grid.step > 0.0)) return least;
    const double c = std::round((centre - grid.fmin) / grid.step);
    if (!(c >= 0.0 && c < static_cast<double>(n))) return least;
    const auto middle = static_cast<std::size_t>(c);
    const std::size_t reach = std::min(middle, n - 1 - middle);
    const double widest = static_cast<double>(reach) * grid.step;
    // The window at each distance from the centre, the higher side.
    std::vector<double> a(reach + 1);
    for (std::size_t d = 0; d <= reach; ++d) {
        const double left = amplitude[middle - d], right = amplitude[middle + d];
        a[d] = std::max(std::isfinite(left) ? left : 0.0, std::isfinite(right) ? right : 0.0);
    }
    std::size_t d = 1;
    while (d < reach && a[d + 1] <= a[d]) ++d;  // to the first minimum
    std::vector<std::size_t> lobes;
    double highest = 0.0;
    for (++d; d < reach; ++d)
        if (a[d] > a[d - 1] && a[d] >= a[d + 1]) {
            lobes.push_back(d);
            highest = std::max(highest, a[d]);
        }
    double farthest = 0.0;
    for (std::size_t l : lobes)
        if (a[l] >= 0.5 * highest) farthest = static_cast<double>(l) * grid.step;
    return std::min(widest, std::max(least, 1.25 * farthest));
}

std::string plain_text(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '_' || c == '^' || c == '{' || c == '}') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

void draw_picture(plotting::Plotter& plot, const PictureInput& input)
{
    plot.pap(page_width, page_aspect);
    plot.page();
    set_colours(plot);
    plot.slw(1);
    plot.sch(1.0f);
    plot.sci(black);
    draw_title(plot, input);
    const auto [x1, x2] = shown_frequencies(input);
    draw_spectrum(plot, input, x1, x2);
    draw_residuals(plot, input, x1, x2);
    draw_window(plot, input);
    draw_light_curve(plot, input);
}

void write_page(const fs::path& name, PictureType type, plotting::Plotter& plot,
                const std::function<void(plotting::Plotter&)>& draw)
{
    if (type == PictureType::none) throw WriteError(name.string() + ": cannot be created");
    // The library opens the file by its name, following whatever is there:
    // it writes inside the file's private folder, and the finished file is
    // renamed into place.  It names the file after the device, adding the
    // extension when missing: the name in the folder is the final one.
    WholeFile file(name);
    if (!plot.begin(0, file.path().string() + "/" + picture_type_name(type), 1, 1))
        throw WriteError(name.string() + ": cannot be created");
    try {
        draw(plot);
    } catch (...) {
        plot.end();
        throw;
    }
    if (const std::string failed = plot.end(); !failed.empty())
        throw WriteError(name.string() + ": cannot be written (" + failed + ")");
    if (!whole_file(file.path(), type))
        throw WriteError(name.string() + ": cannot be written (the picture is not whole)");
    file.commit();
}

void write_picture(const fs::path& name, PictureType type, const PictureInput& input, plotting::Plotter& plot)
{
    write_page(name, type, plot, [&input](plotting::Plotter& p) { draw_picture(p, input); });
}

}  // namespace prewhiten
