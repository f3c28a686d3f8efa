// The picture of a star's frequencies tracked through time: one page
// through the plotting seam.
//
//   (a) the amplitudes of the strongest frequencies in each window;
//   (b) their phases, each about its mean (cycles): an orbit moves them
//       all alike, in proportion to the frequency;
//   (c) the time delays of the windows with their errors, and the orbit
//       drawn through them when one is claimed;
//   (d) the spectrum of the time delays (the fraction of their chi2 a
//       sinusoid removes) with the level of the false-alarm probability
//       at which an orbit is claimed.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "lightcurve/lightcurve.hpp"
#include "picture.hpp"
#include "plotting/plot.hpp"
#include "tracking/track.hpp"

namespace prewhiten {

// One frequency's course through the windows.
struct TrackedSeries {
    int id = 0;
    double frequency = 0.0;                     // c/d
    std::vector<double> t, amplitude, amplitude_err;   // the fitted windows
    std::vector<double> phase_t, phase, phase_err;     // the windows whose phase is used; cycles about the mean
};

struct TrackPictureInput {
    std::string file;      // the star, in the title
    std::string subtitle;  // the windows and the orbit in a line
    lightcurve::Unit unit = lightcurve::Unit::none;
    std::vector<TrackedSeries> strongest;
    std::vector<double> delay_t, delay, delay_err;  // days, seconds
    std::vector<double> orbit_t, orbit_delay;       // the orbit sampled finely; empty without one
    // The delays' spectrum: fmin + j step, the fraction z of chi2 removed.
    double spectrum_fmin = 0.0, spectrum_step = 0.0;
    std::vector<double> power;
    double fap_level = 0.0;       // z at the claiming false-alarm probability; NaN when unknown
    double peak_frequency = 0.0;  // c/d, of the highest peak
    bool claimed = false;
};

// The most frequencies panels (a) and (b) show: more would not be told apart.
inline constexpr std::size_t track_picture_frequencies = 4;

// track_picture_of: what the page of a star's tracking shows.
//   Given:    label      the star as the screen names it
//             result     its tracking
//             unit       of the amplitudes
//             orbit_fap  the false-alarm probability an orbit is claimed below
//   Notes: 1. The strongest frequencies are those of the largest table
//             amplitudes among the fitted ones.
//          2. The level of panel (d) is the z whose false-alarm probability
//             (Baluev 2008, with the number of delays and the searched
//             range, as the search computes it) equals orbit_fap, found
//             by bisection.
TrackPictureInput track_picture_of(const std::string& label, const tracking::Result& result, lightcurve::Unit unit,
                                   double orbit_fap);

// draw_track_picture: the page on a plotter whose device is open.
void draw_track_picture(plotting::Plotter& plot, const TrackPictureInput& input);

// write_track_picture: the page as a file of the type, written whole on
// the plotter handed in (as write_picture).
void write_track_picture(const std::filesystem::path& name, PictureType type, const TrackPictureInput& input,
                         plotting::Plotter& plot);

}  // namespace prewhiten
