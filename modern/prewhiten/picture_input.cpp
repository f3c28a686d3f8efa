// The picture's input from an extraction: the noise curve, the window and
// the model over a stretch of the light curve.
#include <algorithm>
#include <cmath>

#include "numerics/median.hpp"
#include "extraction/statistics.hpp"
#include "picture.hpp"

namespace prewhiten {

namespace {

// Most samples of the noise curve, the window and the model.
constexpr std::size_t most_noise_samples = 4000;
constexpr std::size_t most_window_frequencies = 200000;
constexpr std::size_t most_stretch_points = 5000;
constexpr std::size_t fewest_model_points = 500;
constexpr std::size_t most_model_points = 20000;
// Model samples per cycle of its highest frequency: a smooth curve.
constexpr double model_samples_per_cycle = 25.0;

void noise_curve(const extraction::Result& result, const extraction::Settings& settings, PictureInput& input)
{
    const spectrum::Grid& grid = result.grid;
    if (grid.count == 0) return;
    const double first = grid.fmin, last = grid.frequency(grid.count - 1);
    const double spacing = std::max(settings.box / 4.0, (last - first) / most_noise_samples);
    if (!(spacing > 0.0)) return;
    for (double f = first;; f += spacing) {
        const double at = std::min(f, last);
        input.noise_frequency.push_back(at);
        input.noise_level.push_back(settings.snr *
                                    extraction::box_mean(grid, result.residual_amplitude, at, extraction::noise_box(settings, result.span)));
        if (at >= last) break;
    }
}

// The stretch's pieces of unbroken observation: [first, last) index
// pairs of the light curve, split at the segments' ends and at gaps of more
// than ten median steps.
std::vector<Stretch> pieces_of(const lightcurve::LightCurve& curve, const Stretch& stretch,
                               const extraction::Segmentation& segmentation)
{
    const double longest_step = 10.0 * numerics::median_step(curve.times);
    const bool segmented = segmentation.of_point.size() == curve.size();
    std::vector<Stretch> pieces;
    for (std::size_t k = stretch.first; k < stretch.last; ++k) {
        const bool breaks = k == stretch.first || curve.times[k] - curve.times[k - 1] > longest_step ||
                            (segmented && segmentation.of_point[k] != segmentation.of_point[k - 1]);
        if (breaks) pieces.push_back({k, k});
        pieces.back().last = k + 1;
    }
    return pieces;
}

// The model sampled finely over each piece of the stretch, the pieces one
// after another.
void model_curve(const lightcurve::LightCurve& curve, const extraction::Result& result, const Stretch& stretch,
                 const extraction::Segmentation& segmentation, PictureInput& input)
{
    if (stretch.last <= stretch.first) return;
    const double t0 = curve.times[stretch.first], t1 = curve.times[stretch.last - 1];
    double highest = 0.0;
    for (const extraction::Sinusoid& s : result.model.terms) highest = std::max(highest, std::fabs(s.frequency));
    const double wanted = std::ceil((t1 - t0) * highest * model_samples_per_cycle);
    const double samples = std::clamp(wanted, double(fewest_model_points), double(most_model_points));
    for (const Stretch& piece : pieces_of(curve, stretch, segmentation)) {
        const double a = curve.times[piece.first], b = curve.times[piece.last - 1];
        const std::size_t m =
            b > a && t1 > t0 ? std::max<std::size_t>(2, static_cast<std::size_t>(samples * (b - a) / (t1 - t0))) : 1;
        if (!input.model_times.empty()) input.model_starts.push_back(input.model_times.size());
        for (std::size_t i = 0; i < m; ++i)
            input.model_times.push_back(m == 1 ? a : a + (b - a) * static_cast<double>(i) / static_cast<double>(m - 1));
    }
    input.model_values = extraction::model_at(result, input.model_times);
}

}  // namespace

PictureInput picture_of(const std::string& label, const std::string& stop, const lightcurve::LightCurve& curve,
                        const extraction::Result& result, const extraction::Settings& settings,
                        const extraction::Segmentation& segmentation)
{
    PictureInput input;
    input.file = label;
    input.stop_reason = stop;
    input.unit = curve.unit;
    input.grid = result.grid;
    input.data_amplitude = result.data_amplitude;
    input.residual_amplitude = result.residual_amplitude;
    input.snr = settings.snr;
    for (const extraction::Frequency& f : result.frequencies)
        input.frequencies.push_back({f.id, f.value.frequency, f.value.amplitude, !f.label.text.empty() && !f.label.possible()});

    noise_curve(result, settings, input);

    const double span = lightcurve::time_span(curve.times);
    if (span > 0.0 && result.grid.step > 0.0) {
        const double half = std::max(1.5, 5.0 / span);
        const double step = std::max(result.grid.step, 2.0 * half / most_window_frequencies);
        const double centre = std::max(result.grid.fmin + 0.5 * (result.grid.frequency(result.grid.count - 1) -
                                                                 result.grid.fmin),
                                       10.0 * half);
        const auto count = static_cast<std::size_t>(std::ceil(2.0 * half / step)) + 1;
        input.window_grid = {centre - half, step, count};
        const spectrum::Plan plan(curve.times, input.window_grid, settings.spectrum);
        input.window_amplitude = plan.window(centre);
        input.window_centre = centre;
        input.window_half_width = window_half_width(input.window_grid, input.window_amplitude, centre, span);
    }

    const double f1 = result.frequencies.empty() ? 0.0 : result.frequencies.front().value.frequency;
    const double length = stretch_length(f1, numerics::median_step(curve.times), span);
    const Stretch stretch = choose_stretch(curve.times, length, most_stretch_points);
    const auto first = static_cast<std::ptrdiff_t>(stretch.first), last = static_cast<std::ptrdiff_t>(stretch.last);
    input.times.assign(curve.times.begin() + first, curve.times.begin() + last);
    input.values.assign(curve.values.begin() + first, curve.values.begin() + last);
    model_curve(curve, result, stretch, segmentation, input);
    return input;
}

}  // namespace prewhiten
