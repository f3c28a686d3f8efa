// The picture of one star's frequency analysis: one page through the
// plotting seam, readable at a glance.
//
//   (a) the amplitude spectrum of the data, each extracted frequency marked
//       and labelled by its id (firm combinations in another colour), and the
//       curve of the S/N threshold times the local noise;
//   (b) the spectrum of the residuals after the last frequency, on the same
//       frequency axis, with the same curve;
//   (c) the spectral window around its central peak;
//   (d) the light curve over a stretch of a few cycles of f1 with the model
//       drawn through it.
//
// Spectra of 10^5 to 10^7 frequencies are reduced, before drawing, to the
// lowest and highest amplitude in each pixel column: the line covers the
// same pixels, and the page is drawn in milliseconds and stays small.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "extraction/extraction.hpp"
#include "extraction/segments.hpp"
#include "lightcurve/lightcurve.hpp"
#include "plotting/plot.hpp"
#include "spectrum/spectrum.hpp"

namespace prewhiten {

// --plot: the picture's file type, or none.
enum class PictureType { none, png, pdf };

// "png", "pdf" or "none".
const char* picture_type_name(PictureType type);

// An extracted frequency as the picture marks it.
struct MarkedFrequency {
    int id = 0;                // 1, 2, ... in extraction order: the label "f<id>"
    double frequency = 0.0;    // c/d
    double amplitude = 0.0;    // unit of the run
    bool combination = false;  // a harmonic or combination of stronger ones, not only possible
};

// Everything the page shows, held by the page's input itself.
struct PictureInput {
    std::string file;         // the star's file name, in the title
    std::string stop_reason;  // why the extraction ended, in the title
    lightcurve::Unit unit = lightcurve::Unit::none;

    // The spectra, one amplitude per grid frequency (NaN where undefined).
    spectrum::Grid grid;
    std::vector<double> data_amplitude;
    std::vector<double> residual_amplitude;

    // The S/N threshold and the curve of the threshold times the local
    // noise, at increasing frequencies.
    double snr = 4.0;
    std::vector<double> noise_frequency;
    std::vector<double> noise_level;

    std::vector<MarkedFrequency> frequencies;

    // The spectral window on its own grid: the spectrum of a unit sinusoid
    // at window_centre; shown within window_half_width of it.
    spectrum::Grid window_grid;
    std::vector<double> window_amplitude;
    double window_centre = 0.0;
    double window_half_width = 1.0;

    // The light curve over the stretch, and the model (with the baselines)
    // sampled finely over the same stretch; times in days.  The model is
    // drawn in pieces, each from one of model_starts (an index into
    // model_times, in increasing order; empty: one piece) to the next, so
    // that no line crosses a gap or joins two segments' baselines.
    std::vector<double> times;
    std::vector<double> values;
    std::vector<double> model_times;
    std::vector<double> model_values;
    std::vector<std::size_t> model_starts;
};

// --- the pieces, public for their tests ------------------------------------

// A line to draw, in single precision as the plotting library takes it.
struct Polyline {
    std::vector<float> x, y;
};

// envelope: a spectrum reduced to what a line `columns` pixels wide can show.
//   Given:    grid, amplitude  the spectrum (NaN amplitudes are passed over)
//             x1, x2           the frequency range drawn, x1 < x2
//             columns          pixel columns across it, > 0
//             origin           subtracted from each frequency drawn
//   Returned: the grid points within [x1, x2]: in each column the lowest and
//             the highest (once when they are the same point), in grid order
//   Notes: 1. A column of one or two grid points keeps them all, so a
//             coarse spectrum is drawn exactly as it is.
//          2. The drawn x is the grid frequency itself, not the column's
//             middle: a peak stays where it is.
Polyline envelope(const spectrum::Grid& grid, std::span<const double> amplitude, double x1, double x2, int columns,
                  double origin = 0.0);

// The indices [first, last) of the observations in a stretch.
struct Stretch {
    std::size_t first = 0, last = 0;
};

// choose_stretch: the stretch of the light curve the picture shows.
//   Given:    times       in increasing order, days
//             length      the stretch's duration, days
//             max_points  the most observations it may hold, > 0
//   Returned: of the windows [t_i, t_i + length], the first that holds the
//             most observations, cut to max_points
Stretch choose_stretch(std::span<const double> times, double length, std::size_t max_points);

// The duration shown in panel (d): five cycles of f1, lengthened to hold
// about fifty observations at the median step, and at most the span.
double stretch_length(double f1, double median_step, double span);

// window_half_width: how far from its central peak the spectral window is
// shown, so that its structure fills the panel whatever the span.
//   Given:    grid, amplitude  the window of a unit sinusoid at `centre`,
//                              computed around it
//             centre           c/d
//             span             T, the light curve's span, d
//   Returned: c/d: a quarter beyond the farthest of the strongest sidelobes
//             (those at least half as high as the highest one), and at
//             least 4/T; at most as far as the grid reaches on both sides
//   Notes: 1. The central peak is 2/T wide at its base: 4/T either side
//             shows it whole with its first sidelobes.  The strongest
//             sidelobes are those of the gaps: 1 c/d from a single site,
//             1/13.7 c/d from a space sector's orbits, 1/372 c/d from the
//             yearly gaps of four years of Kepler photometry.
//          2. The main lobe ends at the first minimum on either side; the
//             sidelobes are the local maxima beyond it, taken at each
//             distance as the higher of the two sides.
double window_half_width(const spectrum::Grid& grid, std::span<const double> amplitude, double centre, double span);

// Text for the plotting library, which reads _ ^ { } and the backslash as
// markup: each of them escaped.
std::string plain_text(const std::string& text);

// --- from an extraction ----------------------------------------------------

// picture_of: what the page of one star's extraction shows.
//   Given:    label     the star as the screen names it (the title)
//             stop      why the loop ended, a sentence (the title)
//             curve     the light curve analysed, in time order
//             result    its extraction, and the settings it ran with
//             segmentation  its segments (none: one piece of model)
//   Returned: the input, with its own copy of everything it shows
//   Notes: 1. The noise curve is settings.snr times the mean amplitude of
//             the final residual spectrum in a box of settings.box (the S/N
//             of the table), every quarter box.
//          2. The window is computed on a grid of its own, with the step of
//             the result's, within max(1.5 c/d, 5/T) of a frequency beyond
//             ten times that from zero, so that its mirror image at the
//             negative frequency stays out of sight; it is shown within
//             window_half_width of its centre.
//          3. The model is broken at the segments' ends and at gaps of more
//             than ten median steps.
PictureInput picture_of(const std::string& label, const std::string& stop, const lightcurve::LightCurve& curve,
                        const extraction::Result& result, const extraction::Settings& settings,
                        const extraction::Segmentation& segmentation = {});

// --- drawing ---------------------------------------------------------------

// Page size in inches and aspect (height / width): 1320 x 950 pixels in PNG.
inline constexpr float page_width = 14.0f;
inline constexpr float page_aspect = 0.72f;

// draw_picture: the page on a plotter whose device is open (pap, page,
// the four panels; the caller ends it).
void draw_picture(plotting::Plotter& plot, const PictureInput& input);

// write_picture: the page as a file of the type (png or pdf), drawn on the
// plotter handed in (the giza library: GizaPlotter), written whole (see
// WholeFile): inside a private folder beside `name`, renamed to `name`
// only when the file is whole.
//   Throws WriteError when the file cannot be opened, the plotter says it
//   could not be written, or it is not whole; nothing is then left under
//   either name, nor the folder.
void write_picture(const std::filesystem::path& name, PictureType type, const PictureInput& input,
                   plotting::Plotter& plot);

// write_page: a page that `draw` draws on the opened plotter, as a file of
// the type, written whole in the same way (the way of every picture).
void write_page(const std::filesystem::path& name, PictureType type, plotting::Plotter& plot,
                const std::function<void(plotting::Plotter&)>& draw);

}  // namespace prewhiten
