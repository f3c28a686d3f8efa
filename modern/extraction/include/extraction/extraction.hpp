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
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "extraction/combinations.hpp"
#include "extraction/model.hpp"
#include "extraction/segments.hpp"
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

// How the next candidate is chosen.
enum class Select {
    snr,     // the highest peak that reaches snr times its local noise; one that falls short after its fit is passed over
    height,  // the highest peak; the first whose S/N after its fit is below the limit ends the loop (the classical way)
};

// The baseline of each segment, fitted with the sinusoids: a polynomial in
// t - centre of the segment.
enum class Baseline {
    none,       // one constant for the whole light curve
    offset,     // a constant per segment
    linear,     // c0 + c1 (t - centre) per segment
    quadratic,  // c0 + c1 (t - centre) + c2 (t - centre)^2 per segment
};

// A frequency to start from, with its amplitude and phase (cycles, at the
// table's reference time) when known.
struct StartTerm {
    double frequency = 0.0;  // c/d
    double amplitude = std::numeric_limits<double>::quiet_NaN();
    double phase = std::numeric_limits<double>::quiet_NaN();
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
    // phases; all of them at the end in any case.  Select::height refits
    // all at every step (the classical procedure).
    int full_refit_every = 10;
    int threads = 0;              // 0: as many as the machine has; results never depend on it
    Select select = Select::snr;
    Baseline baseline = Baseline::linear;
    // A harmonic series n F locked in the fit: the terms found within the
    // resolution of n F0 follow one frequency F (refined unless refine is
    // none), starting at F0, c/d: the fundamental is fitted first, as the
    // first of the terms to start from; within the grid, and not below
    // the resolution.
    //   A candidate within the resolution (as for the labels) of n F,
    //   n >= 2, joins the series as its n-th member at n F when n is not
    //   taken, else stays an independent frequency.
    std::optional<double> harmonics;
    // Frequencies fitted before the loop begins (free unless refine is
    // none), with the reference time of their phases, when they have any.
    std::vector<StartTerm> start;
    std::optional<double> start_t_ref;
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
    Label label;                // "2f1", "f1+f2", ... with its chance probability; empty text when independent
    int harmonic = 0;           // n in the locked harmonic series (1 for its fundamental), 0 otherwise
};

// A candidate whose fit was undone, or (low_snr) whose S/N after its fit
// fell below the limit when candidates are selected by S/N.
struct Rejection {
    enum class Why { moved, merged, not_converged, low_snr };
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

// The baseline of one segment: value[0] + value[1] (t - centre) +
// value[2] (t - centre)^2 with its standard errors (from the covariance of
// the joint fit), in the unit of the values and days.
struct SegmentBaseline {
    int coefficients = 0;  // 0 (baseline none), 1, 2 or 3: fewer than asked when the segment has too few points
    double centre = 0.0;   // the middle of the segment's times, d
    double value[3] = {0.0, 0.0, 0.0};
    double error[3] = {0.0, 0.0, 0.0};
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
    std::vector<Segment> segments;           // the light curve's segments
    std::vector<SegmentBaseline> baselines;  // one per segment (empty with baseline none)
    std::vector<double> baseline;            // the baseline at each point (empty with baseline none)
    std::vector<double> residuals;           // values - model - baseline, one per point
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

// The harmonic series a result's fit locked: F (the fundamental's
// frequency) and its error from the covariance, c/d.
struct LockedSeries {
    int id = 0;       // the fundamental's
    int members = 0;  // with the fundamental
    double frequency = 0.0, error = 0.0;
};
std::optional<LockedSeries> locked_series(const Result& result);

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
//   Given:    plan           spectrum_plan(times, settings), the plan of
//                            the data's spectrum and of every residual one
//             times, values  one each per point (finite; any order of time)
//             errors         one per point, > 0, or empty; used when settings.weights
//             segmentation   the segment of each point (segment_light_curve);
//                            its segments' baselines are fitted unless
//                            settings.baseline is none
//             settings       with a grid of at least three frequencies
//   Returned: the result; throws std::invalid_argument on input it cannot
//             use, a plan of other times or another grid, or a
//             segmentation of another number of points
//   Notes: 1. Values and errors of any finite size: beyond the range of
//             spectrum::range_exponent they are scaled into it by exact
//             powers of two, and the results in the unit of the values
//             scaled back.  Within it nothing is scaled.
Result extract(const spectrum::Plan& plan, std::span<const double> times, std::span<const double> values,
               std::span<const double> errors, const Segmentation& segmentation, const Settings& settings,
               const ProgressCallback& progress = {});

// one_segment: the segmentation of n points into one segment (a light curve
// whose baseline is one constant).
Segmentation one_segment(std::span<const double> times);

// model_at: the fitted model plus the baseline at any times, days: the
// baseline of the segment that holds each time (of the nearest segment for
// a time in a gap or beyond the ends).
std::vector<double> model_at(const Result& result, std::span<const double> times);

// noise_box: the box whose mean amplitude is the noise of a frequency, for
// the settings and a light curve spanning `span` days: settings.box wide;
// with candidates chosen by S/N, centred on the frequency near the ends of
// the grid down to a half-width of 10 / span (the classical box, cut at
// the ends, with candidates chosen by height).
NoiseBox noise_box(const Settings& settings, double span);

// memory_needed: bytes an extraction needs at most beyond the spectrum's
// plan, for n points over a time span (days), the grid and at most `most`
// frequencies and `baseline_columns` baseline coefficients (the spectra
// and series it keeps, the normal equations of the largest fit, and for
// the fast fit the sums of the sampling and their table of pairs).
// Saturates instead of overflowing.
std::size_t memory_needed(std::size_t n, const spectrum::Grid& grid, double span, int most,
                          FitMethod fit = FitMethod::fast, std::size_t baseline_columns = 0);

// A word for the stop reason ("snr", "fap", "max-frequencies", "no-peak",
// "too-few-points", "rejections") and a sentence for the reader.
std::string stop_name(Stop stop);
std::string stop_sentence(const Result& result, const Settings& settings);
std::string rejection_name(Rejection::Why why);

}  // namespace extraction
