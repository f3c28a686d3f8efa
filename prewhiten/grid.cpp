// The frequency grid of a star and the memory its run needs.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "prewhiten/run.hpp"
#include "prewhiten/screen.hpp"

namespace prewhiten {

namespace {

std::uint64_t add(std::uint64_t a, std::uint64_t b)
{
    return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

}  // namespace

spectrum::Grid grid_for(const lightcurve::LightCurve& curve, const Options& options)
{
    const double span = lightcurve::time_span(curve.times);
    if (curve.size() == 0) throw StarError("no usable observations");
    if (!(span > 0))
        throw StarError("a spectrum needs observations at two different times at least (" +
                        std::to_string(curve.size()) + " usable, all at one time)");
    // Variations slower than the span cannot be told from a trend: 1/T.
    const double fmin = options.fmin ? *options.fmin : 1.0 / span;
    // The Nyquist frequency of the median cadence, which gaps do not move.
    const double fmax = options.fmax ? *options.fmax : 0.5 / lightcurve::median_step(curve.times);
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
    return grid;
}

std::uint64_t memory_needed(const lightcurve::LightCurve& curve, const spectrum::Grid& grid, const Options& options)
{
    std::uint64_t bytes = spectrum::memory_needed(curve.size(), grid, options.spectrum);
    bytes = add(bytes, curve.bytes());
    // The spectral window is a second spectrum on the same grid.
    if (options.window) bytes = add(bytes, std::uint64_t{grid.count} * sizeof(double));
    // The extraction: its spectra, series and normal equations.
    if (!options.spectrum_only)
        bytes = add(bytes, extraction::memory_needed(curve.size(), grid, lightcurve::time_span(curve.times),
                                                     options.max_frequencies, options.fit));
    return bytes;
}

std::uint64_t memory_limit(const Options& options)
{
    if (options.max_memory) return *options.max_memory;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

}  // namespace prewhiten
