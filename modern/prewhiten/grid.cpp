// The frequency grid of a star and the memory its run needs.
#include "grid.hpp"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "extraction/extraction.hpp"
#include "numerics/median.hpp"
#include "numerics/sizes.hpp"
#include "numerics/text.hpp"
#include "screen.hpp"
#include "star.hpp"

namespace prewhiten {

namespace {

// The narrowest noise box that is not mostly one peak, in units of 1/T.
constexpr double narrowest_box_in_peaks = 4.0;

}  // namespace

spectrum::Grid grid_for(const lightcurve::LightCurve& curve, const Options& options,
                        std::span<const extraction::Segment> segments)
{
    const double span = lightcurve::time_span(curve.times);
    if (curve.size() == 0) throw StarError("no usable observations");
    if (!(span > 0))
        throw StarError("a spectrum needs observations at two different times at least (" +
                        std::to_string(curve.size()) + " usable, all at one time)");
    // Variations slower than the span cannot be told from a trend: 1/T;
    // with baselines, nor from the baselines of the segments.
    const bool baselines = options.baseline != extraction::Baseline::none && !segments.empty();
    const double lowest = baselines ? extraction::lowest_candidate_frequency(span, segments) : 1.0 / span;
    const double fmin = options.fmin ? *options.fmin : lowest;
    // The Nyquist frequency of the median cadence, which gaps do not move.
    const double fmax = options.fmax ? *options.fmax : 0.5 / numerics::median_step(curve.times);
    const double step = options.step ? *options.step : 1.0 / (options.oversample * span);
    if (!std::isfinite(fmax) || !std::isfinite(step) || !(step > 0))
        throw StarError("no frequency grid from fmin " + g6(fmin) + ", fmax " + g6(fmax) + ", step " + g6(step));
    if (fmax < fmin)
        throw StarError("the grid is empty: fmin " + g6(fmin) + " c/d is above fmax " + g6(fmax) + " c/d");
    // fmax belongs to the grid when it lies on it within rounding.
    const double intervals = std::floor((fmax - fmin) / step * (1 + 1e-12));
    if (!(intervals + 1 <= static_cast<double>(spectrum::max_grid_count)))
        throw StarError("a grid of " + g6(intervals + 1) + " frequencies from " + g6(fmin) + " to " + g6(fmax) +
                        " c/d in steps of " + g6(step) + " is more than the " +
                        std::to_string(spectrum::max_grid_count) + " a spectrum can have");
    spectrum::Grid grid;
    grid.fmin = fmin;
    grid.step = step;
    grid.count = static_cast<std::size_t>(intervals) + 1;
    const double resolution = options.resolution ? *options.resolution : 1.5 / span;
    if (options.harmonics && *options.harmonics < resolution)
        throw StarError("--harmonics " + g6(*options.harmonics) + " c/d lies below the resolution, " +
                        g6(resolution) + " c/d: its harmonics cannot be told apart");
    if (options.harmonics && *options.harmonics > grid.frequency(grid.count - 1))
        throw StarError("--harmonics " + g6(*options.harmonics) + " c/d lies above the highest frequency searched, " +
                        g6(grid.frequency(grid.count - 1)) + " c/d");
    return grid;
}

std::uint64_t memory_needed(const lightcurve::LightCurve& curve, const spectrum::Grid& grid, const Options& options,
                            std::size_t segments)
{
    // The baselines' columns in the fit: as many per segment as the
    // polynomial has coefficients.
    const std::size_t per_segment = options.baseline == extraction::Baseline::none       ? 0
                                    : options.baseline == extraction::Baseline::offset   ? 1
                                    : options.baseline == extraction::Baseline::linear   ? 2
                                                                                         : 3;
    std::uint64_t bytes = spectrum::memory_needed(curve.size(), grid, options.spectrum);
    bytes = numerics::add_sizes(bytes, curve.bytes());
    // The spectral window is a second spectrum on the same grid.
    if (options.window) bytes = numerics::add_sizes(bytes, numerics::multiply_sizes(grid.count, sizeof(double)));
    // The extraction: its spectra, series and normal equations.
    if (!options.spectrum_only)
        bytes = numerics::add_sizes(bytes,
                                    extraction::memory_needed(curve.size(), grid, lightcurve::time_span(curve.times),
                                                              options.max_frequencies, options.fit,
                                                              numerics::multiply_sizes(per_segment, segments)));
    return bytes;
}

std::uint64_t memory_limit(const Options& options)
{
    if (options.max_memory) return *options.max_memory;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size) / 2;
}

void check_window(const lightcurve::LightCurve& curve, const Options& options)
{
    if (!options.window) return;
    // The spectrum keeps the phase of f (t - t_mid) to 1e-16 cycles while
    // |f| T/2 stays below 2^49 cycles (spectrum::Plan).
    const double cycles = std::fabs(*options.window) * lightcurve::time_span(curve.times) / 2;
    if (!(cycles < 0x1p49))
        throw StarError("--window " + g6(*options.window) + " c/d is too high for a span of " +
                        g6(lightcurve::time_span(curve.times)) + " d: |F| T/2 must stay below 2^49 cycles");
}

std::string box_warning(const lightcurve::LightCurve& curve, const Options& options)
{
    // A peak's main lobe is 2/T wide.  In a box of a few 1/T the dip its
    // prewhitening leaves makes much of the noise, which comes out too low:
    // on white noise, 4 peaks of noise passed S/N 4 with a box of 3/T to
    // 6/T, 13 to 17 with 1/T to 2/T, and below 1/T every candidate passed
    // until --max-frequencies (1 with the usual box of 20/T).
    const double span = lightcurve::time_span(curve.times);
    const double narrowest = narrowest_box_in_peaks / span;
    if (!(options.box < narrowest)) return "";
    return "--box " + g6(options.box) + " c/d is narrower than " + g6(narrowest_box_in_peaks) + "/T = " +
           g6(narrowest) +
           " c/d, twice a peak's width: the noise around a peak is then mostly the dip its removal leaves, "
           "and peaks of noise pass --snr";
}

std::string memory_limit_text(const Options& options)
{
    if (options.max_memory) return "--max-memory " + numerics::bytes_text(*options.max_memory);
    return numerics::bytes_text(memory_limit(options)) +
           ", half this machine's memory (--max-memory raises the limit)";
}

void check_memory(const lightcurve::LightCurve& curve, const spectrum::Grid& grid, const Options& options,
                  std::size_t segments)
{
    const std::uint64_t needed = memory_needed(curve, grid, options, segments);
    const std::uint64_t limit = memory_limit(options);
    if (needed <= limit) return;
    throw StarError(std::string(options.spectrum_only ? "the spectrum" : "the extraction") + " of " +
                    std::to_string(curve.size()) + " points at " + std::to_string(grid.count) + " frequencies needs " +
                    numerics::bytes_text(needed) + ", more than " + memory_limit_text(options));
}

}  // namespace prewhiten
