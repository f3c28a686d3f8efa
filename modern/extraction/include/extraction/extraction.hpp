// Frequency extraction by prewhitening: from a light curve to a table of
// optimised frequencies, amplitudes and phases with their uncertainties,
// signal-to-noise ratios and false-alarm probabilities.
//
// Each step takes the highest peak of the residual spectrum (all spectra
// on one plan, which the caller makes), refines it off the grid, judges it
// against the noise around it, adds it to the model and fits it with every
// amplitude and phase and the constant (every frequency too every few
// steps, refit.hpp); the residuals of that fit are the next step's series.
// A final fit of every sinusoid and the constant together, converged
// tightly, gives the table.  Nothing here prints: progress goes to an
// optional callback and everything else into the result.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "extraction/model.hpp"
#include "extraction/statistics.hpp"
#include "spectrum/spectrum.hpp"

namespace extraction {

// Which frequencies move in each fit (amplitudes and phases always do).
enum class Refine {
    all,    // every frequency
    fresh,  // only the one just added
    none,   // none: each stays where its peak was found
};

// How the joint fit's sums of squares and normal equations are made (the
// fits themselves, and which parameters move in each, are the same).
enum class FitMethod {
    exact,  // from the rows of the Jacobian at every point, N p^2 per iteration: the reference
    fast,   // from the sums of the sampling and one pass over the points (refit.hpp): the same table
};

struct Settings {
    spectrum::Grid grid;          // the frequencies searched
    spectrum::Settings spectrum;  // how the spectra are computed
    double box = 1.0;             // width of the noise box, c/d
    double snr = 4.0;             // stop when the next peak's S/N is below this
    int max_frequencies = 200;    // stop when this many are extracted
    double fap = 0.0;             // stop when the next peak's false-alarm probability exceeds this; 0: off
    bool weights = false;         // weight the fit by 1/error^2
    Refine refine = Refine::all;
    double resolution = 0.0;      // for the combination labels, c/d; 0: 1.5 / T
    double separation = 0.0;      // candidates closer than this to a frequency taken are passed over, c/d; 0: 1 / T
    int rejections = 10;          // stop after this many candidates in a row are rejected
    FitMethod fit = FitMethod::fast;
    // With refine all: every frequency is refitted at every this many
    // steps (1: at each), else only the new one with all amplitudes and
    // phases; all of them at the end in any case.
    int full_refit_every = 10;
    int threads = 0;              // 0: as many as the machine has; results never depend on it
};

enum class Stop {
    snr,              // the next peak's S/N is below the limit
    fap,              // the next peak's false-alarm probability is above the limit
    max_frequencies,  // the most frequencies asked for are extracted
    no_peak,          // no peak left in the range (outside the zones passed over)
    too_few_points,   // another sinusoid would leave no degree of freedom
    rejections,       // too many candidates in a row made the fit diverge
};

struct Frequency {
    int id = 0;                 // 1, 2, ... in extraction order
    Sinusoid value;             // amplitude >= 0, phase in [0, 1) at t_ref
    Uncertainty covariance;     // from the least-squares covariance, times sqrt(D_f)
    Uncertainty analytic;       // Montgomery & O'Donoghue, times sqrt(D_f)
    // D_f: the larger of the correlation factor D of the residuals and
    // their noise excess around this frequency (noise_excess): the runs of
    // equal sign see the correlation of neighbouring points, the local
    // noise sees red noise and unresolved signals at this frequency.
    double correlation = 1.0;
    double snr = 0.0;           // on the final residual spectrum
    double snr_at_pick = 0.0;   // on the residual spectrum just after it was taken
    double log10_fap = 0.0;     // false-alarm probability when it was picked
    std::string combination;    // "2f1", "f1+f2", ... or empty
};

// A candidate whose fit was undone.
struct Rejection {
    enum class Why { moved, merged, not_converged };
    double frequency = 0.0, amplitude = 0.0;  // where the candidate was found
    Why why = Why::not_converged;
    int extracted = 0;  // frequencies in the model when it was tried
};

// Time spent in one step of the loop, seconds.
struct StepTiming {
    int terms = 0;          // sinusoids in the fit
    double spectrum = 0.0;  // the residuals and their spectrum after the fit
    double search = 0.0;    // peak, refinement, single-sinusoid fit, FAP
    double fit = 0.0;       // the joint fit (and a second one, every frequency free, when asked)
    int iterations = 0;     // of the fits
};

struct Timing {
    std::vector<StepTiming> steps;
    double setup = 0.0;   // the plan and the spectrum of the data (the fast fit's sums are made in the fits)
    double final = 0.0;   // final fit, residual spectrum, covariance, S/N, labels
    double total = 0.0;
};

struct Result {
    std::size_t n = 0;        // points
    double span = 0.0;        // T, days
    double t_ref = 0.0;       // mean time, the origin of the phases
    double D = 1.0;           // correlation factor of the final residuals
    double rms = 0.0;         // of the final residuals
    bool weighted = false;
    spectrum::Grid grid;
    Model model;              // the final model, in tau = t - t_ref
    std::vector<Frequency> frequencies;
    std::vector<Rejection> rejected;
    Stop stop = Stop::no_peak;
    double stop_value = 0.0;      // the S/N or log10 FAP of the peak that stopped it
    double stop_frequency = 0.0;  // and its frequency
    std::vector<double> residuals;           // values - model, one per point
    std::vector<double> data_amplitude;      // spectrum of the data on the grid
    std::vector<double> residual_amplitude;  // spectrum of the final residuals
    Timing timing;
};

struct Progress {
    int extracted = 0;     // frequencies in the model
    int most = 0;          // the most that will be extracted
    double elapsed = 0.0;  // seconds since the start
    double frequency = 0.0, snr = 0.0;  // the one just taken
};

using ProgressCallback = std::function<void(const Progress&)>;

// spectrum_plan: the plan of every spectrum of an extraction on these
// times: made once per star by the caller, handed to extract, and there
// for any other spectrum of the star on the same grid (its spectral window).
//   Given:    times     the light curve's times, days
//             settings  the grid and how the spectra are computed
//   Returned: the plan, on the times relative to their mean t_ref (the
//             origin of the extraction's phases)
//   Notes: 1. Throws std::invalid_argument where spectrum::Plan does
//             (times without a span, a grid it refuses).
spectrum::Plan spectrum_plan(std::span<const double> times, const Settings& settings);

// extract: the extraction loop on one light curve.
//   Given:    times, values  one each per point (finite; any order of time)
//             errors         one per point, > 0, or empty; used when settings.weights
//             settings       with a grid of at least three frequencies
//             plan           spectrum_plan(times, settings), the plan of
//                            the data's spectrum and of every residual one
//   Returned: the result; throws std::invalid_argument on input it cannot
//             use, or a plan of other times or another grid
//   Notes: 1. Values and errors of any finite size: beyond the range of
//             spectrum::range_exponent they are scaled into it by exact
//             powers of two, and the results in the unit of the values
//             scaled back.  Within it nothing is scaled.
Result extract(std::span<const double> times, std::span<const double> values, std::span<const double> errors,
               const Settings& settings, const spectrum::Plan& plan, const ProgressCallback& progress = {});

// memory_needed: bytes an extraction needs at most beyond the spectrum's
// plan, for n points over a time span (days), the grid and at most `most`
// frequencies (the spectra and series it keeps, the normal equations of
// the largest fit, and for the fast fit the sums of the sampling and their
// table of pairs).  Saturates instead of overflowing.
std::size_t memory_needed(std::size_t n, const spectrum::Grid& grid, double span, int most,
                          FitMethod fit = FitMethod::fast);

// A word for the stop reason ("snr", "fap", "max-frequencies", "no-peak",
// "too-few-points", "rejections") and a sentence for the reader.
std::string stop_name(Stop stop);
std::string stop_sentence(const Result& result, const Settings& settings);
std::string rejection_name(Rejection::Why why);

}  // namespace extraction
