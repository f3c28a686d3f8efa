// The frequency grid of a star, and what its run may take: the spans its
// light curve allows, the memory it needs.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "extraction/segments.hpp"
#include "lightcurve/lightcurve.hpp"
#include "options.hpp"
#include "spectrum/spectrum.hpp"

namespace prewhiten {

// The frequency grid of a star: the options, with the defaults from its
// light curve (1/T, the Nyquist frequency of the median step, 1/(10 T)).
// With a baseline per segment the lowest frequency is by default
// max(1/T, 2/L), L the median length of the segments given: slower
// sinusoids are mostly taken up by the baselines.  A StarError when there
// is no grid.
spectrum::Grid grid_for(const lightcurve::LightCurve& curve, const Options& options,
                        std::span<const extraction::Segment> segments = {});

// A spectral window the light curve's span cannot take (|F| T/2 at 2^49
// cycles or more, where the phases lose their accuracy): a StarError,
// before anything of the star is written.
void check_window(const lightcurve::LightCurve& curve, const Options& options);

// A warning when the noise box is so narrow for the light curve's span that
// a peak (about 2/T wide) fills much of it (without the star's name); empty
// otherwise.
std::string box_warning(const lightcurve::LightCurve& curve, const Options& options);

// Memory a star's run needs at most, and the limit it must stay within
// (--max-memory, or by default half the machine's memory, which leaves room
// for the system and the other jobs).  `segments`: the light curve's
// segments, each with its baseline's columns in the fit.
std::uint64_t memory_needed(const lightcurve::LightCurve& curve, const spectrum::Grid& grid, const Options& options,
                            std::size_t segments = 1);
std::uint64_t memory_limit(const Options& options);

// The memory limit as messages give it: "--max-memory 1.0 GiB", or the
// default with the option that raises it.
std::string memory_limit_text(const Options& options);

// A star that needs more memory than the limit: a StarError that says how
// much, before anything of it is computed.
void check_memory(const lightcurve::LightCurve& curve, const spectrum::Grid& grid, const Options& options,
                  std::size_t segments = 1);

}  // namespace prewhiten
