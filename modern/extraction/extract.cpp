#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "extraction/combinations.hpp"
#include "extraction/extraction.hpp"
#include "extraction/fit.hpp"
#include "baseline.hpp"
#include "numerics/parallel.hpp"
#include "numerics/sizes.hpp"
#include "peak.hpp"
#include "refit.hpp"

namespace extraction {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void check_input(std::span<const double> times, std::span<const double> values, std::span<const double> errors,
                 const Settings& settings)
{
    if (times.size() != values.size()) throw std::invalid_argument("times and values differ in number");
    if (settings.weights && errors.size() != times.size())
        throw std::invalid_argument("weights need one error per point");
    if (times.size() < 4) throw std::invalid_argument("fewer than 4 points");
    for (std::size_t k = 0; k < times.size(); ++k)
        if (!std::isfinite(times[k]) || !std::isfinite(values[k]))
            throw std::invalid_argument("a time or value is not a finite number");
    if (settings.weights)
        for (double e : errors)
            if (!(e > 0.0) || !std::isfinite(e)) throw std::invalid_argument("an error is not a positive number");
    if (settings.grid.count < 3 || !(settings.grid.step > 0.0))
        throw std::invalid_argument("the frequency grid needs at least three frequencies");
    for (const StartTerm& term : settings.start)
        if (!(term.frequency > 0.0) || !std::isfinite(term.frequency))
            throw std::invalid_argument("a frequency to start from is not a positive number");
    if (settings.start_t_ref && !std::isfinite(*settings.start_t_ref))
        throw std::invalid_argument("the reference time of the frequencies to start from is not a number");
    if (settings.harmonics) {
        const double f0 = *settings.harmonics;
        if (!(f0 > 0.0) || !std::isfinite(f0))
            throw std::invalid_argument("the fundamental of the harmonic series is not a positive number");
        if (f0 > settings.grid.frequency(settings.grid.count - 1))
            throw std::invalid_argument("the fundamental of the harmonic series lies above the frequencies searched");
    }
    if (1 + 3 * (settings.start.size() + (settings.harmonics ? 1 : 0)) >= times.size())
        throw std::invalid_argument("too few points for the frequencies to start from");
}

// The mean time t_ref, the origin of the phases.
double reference_time(std::span<const double> times)
{
    return std::accumulate(times.begin(), times.end(), 0.0) / static_cast<double>(times.size());
}

// Whether the plan is one of these times and this grid.
bool plan_fits(const spectrum::Plan& plan, std::span<const double> times, const spectrum::Grid& grid)
{
    const spectrum::Grid& g = plan.grid();
    return plan.size() == times.size() && g.fmin == grid.fmin && g.step == grid.step && g.count == grid.count;
}

// A segmentation of these points: a segment for each point, and segments
// that exist.
void check_segmentation(const Segmentation& segmentation, std::size_t n)
{
    if (segmentation.of_point.size() != n)
        throw std::invalid_argument("the segmentation is not one of these points");
    for (std::size_t s : segmentation.of_point)
        if (s >= segmentation.segments.size()) throw std::invalid_argument("a point lies in no segment");
}

// The residuals in time order, for the runs of the correlation factor.
std::vector<double> in_time_order(std::span<const double> times, const std::vector<double>& residuals)
{
    if (std::is_sorted(times.begin(), times.end())) return residuals;
    std::vector<std::size_t> order(times.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
    std::vector<double> sorted(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) sorted[k] = residuals[order[k]];
    return sorted;
}

// Why a fit must be undone, if it must: a frequency moved by more than
// the resolution 1/T from where the fit began, or two frequencies came
// within half of it (the fit stops as soon as either happens), or it did
// not converge.
bool diverged(const FitOutcome& outcome, const Model& start, double span, Rejection::Why& why)
{
    const std::vector<Sinusoid>& terms = outcome.model.terms;
    for (std::size_t i = 0; i < terms.size(); ++i)
        if (!(std::fabs(terms[i].frequency - start.terms[i].frequency) <= 1.0 / span)) {
            why = Rejection::Why::moved;
            return true;
        }
    for (std::size_t i = 0; i < terms.size(); ++i)
        for (std::size_t j = i + 1; j < terms.size(); ++j)
            if (std::fabs(terms[i].frequency - terms[j].frequency) < 0.5 / span) {
                why = Rejection::Why::merged;
                return true;
            }
    if (outcome.status != FitOutcome::Status::converged) {
        why = Rejection::Why::not_converged;
        return true;
    }
    return false;
}

// Whether an S/N would stop the loop, or is so near the limit that a fit
// which left the earlier frequencies in place might decide otherwise than
// the full one (the leftovers of frequencies not refitted lie in the noise
// box too).
bool may_stop(double snr, double limit) { return !(snr > 1.01 * limit); }

// The harmonic and combination labels of the final table, judged with the
// frequencies' errors from the covariance.
void label_frequencies(Result& result, const Settings& settings)
{
    if (result.frequencies.empty()) return;
    std::vector<double> freqs, errors, amps;
    for (const Frequency& f : result.frequencies) {
        freqs.push_back(f.value.frequency);
        errors.push_back(f.covariance.frequency);
        amps.push_back(f.value.amplitude);
    }
    LabelSettings label_settings;
    label_settings.resolution = settings.resolution > 0.0 ? settings.resolution : 1.5 / result.span;
    label_settings.fmin = std::max(settings.grid.fmin, 0.0);
    label_settings.fmax = settings.grid.frequency(settings.grid.count - 1);
    if (!(label_settings.fmin < label_settings.fmax)) return;
    const std::vector<Label> labels = frequency_labels(freqs, errors, amps, label_settings);
    for (std::size_t i = 0; i < labels.size(); ++i) result.frequencies[i].label = labels[i];
}

double rms_of(std::span<const double> x)
{
    double sum2 = 0.0;
    for (double v : x) sum2 += v * v;
    return x.empty() ? 0.0 : std::sqrt(sum2 / static_cast<double>(x.size()));
}

// significant_peak: the highest peak outside the zones that reaches the S/N
// limit against the local noise of the spectrum.  When none does, the
// highest peak, marked as the last try: a strong peak's own window (its
// sidelobes, the aliases of a short or gapped light curve) lies in the box
// around it and can hold its S/N below the limit before it is prewhitened.
// It is then judged by its S/N once prewhitened, and taken only if at
// least half the noise around it went with it; the loop ends otherwise.
// no_peak when there is no peak at all; `noise` the noise beside the peak.
//   Notes: 1. The highest peak is judged first, from the box around it
//             alone: it is the one taken at most steps.  Only when it
//             falls short are the spectrum's noise sums made, to judge the
//             lower peaks each in a few operations.
// (sums: the spectrum's noise sums, their memory kept from step to step)
std::size_t significant_peak(const Result& result, const Settings& settings, std::span<const double> amplitude,
                             std::span<const Zone> zones, int threads, NoiseSums& sums, double& noise, bool& last_try)
{
    const NoiseBox box = noise_box(settings, result.span);
    const double core = 2.0 / result.span;
    const std::span<const double> spectrum = amplitude.first(std::min(amplitude.size(), settings.grid.count));
    const std::size_t top = highest_peak(settings.grid, spectrum, zones, threads);
    last_try = false;
    if (top == no_peak) return no_peak;
    noise = noise_beside_peak(settings.grid, spectrum, top, box, core);
    if (spectrum[top] >= settings.snr * noise) return top;
    sums.sum(spectrum, threads);
    const std::size_t j = highest_significant_peak(settings.grid, spectrum, sums, box, core, settings.snr, zones, threads);
    last_try = j == no_peak;
    if (last_try) return top;
    noise = sums.beside(settings.grid, j, box, core);
    return j;
}

// The baselines' part of the result: each segment's polynomial in the unit
// of the values and days with its errors from the joint covariance, the
// model's constant taken into the offsets (it is the reference segment's),
// and the baseline at each point.
void finish_baselines(Result& result, const BaselineBasis& basis, std::span<const double> times,
                      std::vector<SegmentBaseline> shapes, const std::vector<double>& cov, const Settings& settings)
{
    // The errors grow by sqrt(D_b), as the frequencies' do by sqrt(D_f):
    // a baseline averages the noise of its segment's whole length, so it
    // sees the residuals' correlation (D) and their noise at the lowest
    // frequencies searched, where red noise is strongest.
    const double low_noise = box_mean(result.grid, result.residual_amplitude, settings.grid.fmin, noise_box(settings, result.span));
    const double d_b = std::max(result.D, noise_excess(low_noise, rms_of(result.residuals), result.n));
    const Layout layout(result.model.terms.size(), {}, harmonics(result.model), &basis);
    baselines_from_fit(basis, layout, result.model, cov, d_b, shapes);
    result.model.constant = 0.0;
    result.model.baseline.clear();
    result.baselines = std::move(shapes);
    result.baseline = baseline_at_points(times, basis.of_point, result.baselines);
}

// start_model: the model of the table to start from.  A term with its
// amplitude and phase (and a reference time for the phase) starts from
// them, its phase carried to t_ref; a term without them starts from the
// least-squares sinusoid at its frequency on the values less the terms
// before it.
Model start_model(const Settings& settings, std::span<const StartTerm> start, const Result& result,
                  const Series& series)
{
    Model model;
    model.constant = result.model.constant;
    model.baseline = result.model.baseline;
    std::vector<double> rest = result.residuals, wave(rest.size());
    for (const StartTerm& term : start) {
        Sinusoid s;
        if (std::isfinite(term.amplitude) && std::isfinite(term.phase) && settings.start_t_ref) {
            const double carried = term.phase + term.frequency * (result.t_ref - *settings.start_t_ref);
            s = {term.frequency, term.amplitude, carried - std::floor(carried)};
        } else {
            s = single_sinusoid(Series{series.tau, rest, series.weights}, term.frequency).sinusoid;
        }
        evaluate(Model{0.0, {s}}, series.tau, wave);
        for (std::size_t k = 0; k < rest.size(); ++k) rest[k] -= wave[k];
        model.terms.push_back(s);
    }
    return model;
}

// The locked series' frequency F of a model, when it has members.
std::optional<double> series_frequency(const Model& model)
{
    for (const Sinusoid& term : model.terms)
        if (term.harmonic > 0) return term.frequency / term.harmonic;
    return std::nullopt;
}

// series_member: the harmonic number n >= 2 a candidate at f takes in the
// model's locked series, or 0 when it stays an independent frequency.
//   Notes: 1. It joins when f lies within the resolution of n F and n F
//             within the range searched.
//          2. When a member n is taken already the candidate stays
//             independent: the search passes over everything within the
//             separation (1/T) of n F, so a peak found there is resolved
//             from n F, another signal as near as any other pair of
//             frequencies the loop accepts.
int series_member(const Model& model, double f, double resolution, double fmax)
{
    const std::optional<double> F = series_frequency(model);
    if (!F || !(*F > 0.0)) return 0;
    const double n = std::round(f / *F);
    if (!(n >= 2.0) || !(std::fabs(f - n * *F) <= resolution) || !(n * *F <= fmax) || n > 1e9) return 0;
    for (const Sinusoid& term : model.terms)
        if (term.harmonic == static_cast<int>(n)) return 0;
    return static_cast<int>(n);
}

// The terms to start from and their harmonic numbers: the table's, and
// with a locked series its fundamental at F0 first (a term of the table
// within the resolution of F0 is the fundamental itself), each term of the
// table within the resolution of n F0 its n-th member, at n F0.
std::vector<StartTerm> locked_start(const Settings& settings, double resolution, std::vector<int>& harmonic)
{
    std::vector<StartTerm> start = settings.start;
    harmonic.assign(start.size(), 0);
    if (!settings.harmonics) return start;
    const double f0 = *settings.harmonics;
    std::vector<int> taken;
    for (std::size_t i = 0; i < start.size(); ++i) {
        const double n = std::round(start[i].frequency / f0);
        if (!(n >= 1.0) || n > 1e9 || !(std::fabs(start[i].frequency - n * f0) <= resolution)) continue;
        if (std::find(taken.begin(), taken.end(), static_cast<int>(n)) != taken.end()) continue;
        taken.push_back(static_cast<int>(n));
        harmonic[i] = static_cast<int>(n);
        start[i].frequency = n * f0;
    }
    if (std::find(taken.begin(), taken.end(), 1) == taken.end()) {
        start.insert(start.begin(), StartTerm{f0});
        harmonic.insert(harmonic.begin(), 1);
    }
    return start;
}

// The labels and errors of the locked series' members: a member's label
// is its harmonic of the fundamental ("3f1", chance probability 0: locked,
// not found to match); its frequency error n times F's.  F's analytic
// error combines its members' (each member's frequency tells F with the
// error sigma_i / n_i, so 1 / sigma_F^2 = sum n_i^2 / sigma_i^2).
void finish_series(Result& result)
{
    const Frequency* fundamental = nullptr;
    double information = 0.0;
    for (const Frequency& f : result.frequencies) {
        if (f.harmonic == 1) fundamental = &f;
        if (f.harmonic > 0) information += f.harmonic * f.harmonic / (f.analytic.frequency * f.analytic.frequency);
    }
    if (!fundamental) return;
    const int id = fundamental->id;
    const double sigma_f = fundamental->covariance.frequency;
    const double analytic_f = information > 0.0 ? 1.0 / std::sqrt(information) : NAN;
    for (Frequency& f : result.frequencies) {
        if (f.harmonic == 0) continue;
        f.covariance.frequency = f.harmonic * sigma_f;
        f.analytic.frequency = f.harmonic * analytic_f;
        f.label = f.harmonic == 1 ? Label{} : Label{std::to_string(f.harmonic) + "f" + std::to_string(id), 0.0};
    }
}

// The per-frequency figures that need the final residuals.
void finish(Result& result, std::span<const double> times, const Settings& settings,
            const std::vector<double>& log10_faps, const std::vector<double>& snr_at_pick,
            const std::vector<double>& cov)
{
    result.D = correlation_factor(in_time_order(times, result.residuals));
    double sum2 = 0.0;
    for (double r : result.residuals) sum2 += r * r;
    result.rms = std::sqrt(sum2 / static_cast<double>(result.n));

    const auto p = static_cast<std::size_t>(std::llround(std::sqrt(static_cast<double>(cov.size()))));
    auto sigma = [&](std::size_t index) { return cov.empty() ? NAN : std::sqrt(cov[index * p + index]); };

    for (std::size_t i = 0; i < result.model.terms.size(); ++i) {
        Frequency f;
        f.id = static_cast<int>(i) + 1;
        f.value = result.model.terms[i];
        const double noise = box_mean(result.grid, result.residual_amplitude, f.value.frequency, noise_box(settings, result.span));
        // Both kinds of error grow by sqrt(D_f): the white-noise formulas
        // and the covariance scaled by the overall residual variance both
        // assume residuals as white at this frequency as on average.
        f.correlation = std::max(result.D, noise_excess(noise, result.rms, result.n));
        const double root_d = std::sqrt(f.correlation);
        f.covariance = {sigma(1 + 3 * i) * root_d, sigma(2 + 3 * i) * root_d, sigma(3 + 3 * i) * root_d};
        f.analytic = analytic_uncertainty(f.value.amplitude, result.rms, result.n, result.span);
        f.analytic.frequency *= root_d;
        f.analytic.amplitude *= root_d;
        f.analytic.phase *= root_d;
        f.snr = noise > 0.0 ? f.value.amplitude / noise : INFINITY;
        f.snr_at_pick = snr_at_pick[i];
        f.log10_fap = log10_faps[i];
        f.harmonic = f.value.harmonic;
        result.frequencies.push_back(f);
    }
    label_frequencies(result, settings);
    finish_series(result);
}

// The extraction on values and errors within the range of
// spectrum::range_exponent.
Result extract_in_range(const spectrum::Plan& plan, std::span<const double> times, std::span<const double> values,
                        std::span<const double> errors, const Segmentation& segmentation, const Settings& settings,
                        const ProgressCallback& progress, Clock::time_point start)
{
    const int threads = numerics::thread_count(settings.threads);
    Result result;
    result.n = times.size();
    result.grid = settings.grid;
    result.weighted = settings.weights;
    const auto [tmin, tmax] = std::minmax_element(times.begin(), times.end());
    result.span = *tmax - *tmin;
    if (!(result.span > 0.0)) throw std::invalid_argument("all times are equal");
    result.t_ref = reference_time(times);

    std::vector<double> tau(result.n), weights;
    for (std::size_t k = 0; k < result.n; ++k) tau[k] = times[k] - result.t_ref;
    if (settings.weights)
        for (double e : errors) weights.push_back(1.0 / e);

    // The segments' baselines: columns of every fit.
    result.segments = segmentation.segments;
    std::vector<SegmentBaseline> shapes;
    std::optional<BaselineBasis> basis;
    if (settings.baseline != Baseline::none) {
        shapes = segment_shapes(segmentation.segments, settings.baseline);
        limit_to_distinct_times(times, segmentation.of_point, shapes);
        basis = baseline_basis(times, segmentation.of_point, shapes);
    }
    const std::size_t baseline_columns = basis ? Layout(0, {}, {}, &*basis).size() - 1 : 0;
    const Series series{tau, values, weights, basis ? &*basis : nullptr};

    result.data_amplitude = plan.amplitude(values);
    Refitter refitter(series, settings, result.span, threads);
    result.timing.setup = seconds_since(start);

    const double separation = settings.separation > 0.0 ? settings.separation : 1.0 / result.span;
    const double fmax = settings.grid.frequency(settings.grid.count - 1);
    const double t_eff = effective_span(tau);

    // Start: the model is the (weighted) mean.
    {
        double wsum = 0.0, wy = 0.0;
        for (std::size_t k = 0; k < result.n; ++k) {
            const double w2 = weights.empty() ? 1.0 : weights[k] * weights[k];
            wsum += w2;
            wy += w2 * values[k];
        }
        result.model.constant = wy / wsum;
    }
    result.residuals.resize(result.n);
    for (std::size_t k = 0; k < result.n; ++k) result.residuals[k] = values[k] - result.model.constant;
    // With baselines, step 0 is the fit of the baselines alone.
    if (basis) {
        result.model.baseline.assign(3 * basis->segments(), 0.0);
        result.model = refitter.baselines_alone(result.model);
        refitter.residuals(result.model, result.residuals);
        refitter.accept(result.model);
    }

    std::vector<Zone> rejected_zones;
    NoiseSums noise_sums;
    std::vector<double> log10_faps, snr_at_pick;
    std::vector<double> spectrum_now = result.data_amplitude, next(result.n), next_spectrum;
    if (basis) plan.amplitude(result.residuals, spectrum_now);
    int rejected_in_a_row = 0;
    const int most = std::max(settings.max_frequencies, 0);

    // The table to start from (and the locked series' fundamental), fitted
    // first.  Harmonics closer together than the resolution cannot be told
    // from each other, nor any candidate from one of them.
    const double lock_resolution = settings.resolution > 0.0 ? settings.resolution : 1.5 / result.span;
    if (settings.harmonics && !(*settings.harmonics >= lock_resolution))
        throw std::invalid_argument("the fundamental of the harmonic series lies below the resolution");
    std::vector<int> start_harmonic;
    const std::vector<StartTerm> start_terms = locked_start(settings, lock_resolution, start_harmonic);
    if (!start_terms.empty()) {
        Model started = start_model(settings, start_terms, result, series);
        for (std::size_t i = 0; i < started.terms.size(); ++i) started.terms[i].harmonic = start_harmonic[i];
        FitOutcome fitted = refitter.final_fit(started);
        Rejection::Why why;
        result.model = diverged(fitted, started, result.span, why) ? started : fitted.model;
        refitter.residuals(result.model, result.residuals);
        refitter.accept(result.model);
        plan.amplitude(result.residuals, spectrum_now);
        for (const Sinusoid& term : result.model.terms) {
            const double noise = box_mean(settings.grid, spectrum_now, term.frequency, noise_box(settings, result.span));
            snr_at_pick.push_back(noise > 0.0 ? term.amplitude / noise : INFINITY);
            log10_faps.push_back(NAN);  // not picked from the spectrum
        }
    }

    for (;;) {
        const std::size_t terms = result.model.terms.size();
        if (static_cast<int>(terms) >= most) {
            result.stop = Stop::max_frequencies;
            break;
        }
        if (1 + 3 * (terms + 1) + baseline_columns >= result.n) {
            result.stop = Stop::too_few_points;
            break;
        }
        StepTiming step;
        step.terms = static_cast<int>(terms) + 1;

        // The candidate.  Passed over: the neighbourhood of every frequency
        // taken (a peak there is an unresolved partner or the leftover of a
        // changing signal) and of every candidate rejected.
        Clock::time_point t0 = Clock::now();
        std::vector<Zone> zones = rejected_zones;
        for (const Sinusoid& s : result.model.terms) zones.push_back({s.frequency, separation});
        bool last_try = false;
        double noise_at_peak = 0.0;
        const std::size_t j =
            settings.select == Select::snr
                ? significant_peak(result, settings, spectrum_now, zones, threads, noise_sums, noise_at_peak, last_try)
                : highest_peak(settings.grid, spectrum_now, zones);
        if (j == no_peak) {
            result.stop = Stop::no_peak;
            break;
        }
        const double f = refine_peak(settings.grid, j, tau, result.residuals, threads);
        const Series residual_series{tau, result.residuals, weights};
        // A candidate near a harmonic of the locked series joins it at n F.
        const int member = series_member(result.model, f, lock_resolution, fmax);
        SingleSinusoid single =
            single_sinusoid(residual_series, member > 0 ? member * *series_frequency(result.model) : f);
        single.sinusoid.harmonic = member;
        const double log10_fap = log10_false_alarm(single.z, result.n, fmax, t_eff);
        if (settings.fap > 0.0 && log10_fap > std::log10(settings.fap)) {
            result.stop = Stop::fap;
            result.stop_value = log10_fap;
            result.stop_frequency = f;
            break;
        }
        step.search = seconds_since(t0);

        // The joint fit with the candidate added, the residuals and their
        // spectrum.  A fit that left the earlier frequencies in place is
        // done again with all of them free before it rejects the candidate
        // or its S/N stops the loop, so that these decisions are the full
        // fit's.
        Model trial = result.model;
        trial.terms.push_back(single.sinusoid);
        FitOutcome outcome;
        Rejection::Why why{};
        bool rejected = false;
        double snr = 0.0, noise_after = 0.0;
        for (bool whole = false;; whole = true) {
            t0 = Clock::now();
            outcome = refitter.fit_candidate(result.model, result.residuals, single.sinusoid, whole);
            step.fit += seconds_since(t0);
            step.iterations += outcome.iterations;
            rejected = diverged(outcome, trial, result.span, why);
            if (rejected && refitter.partial()) continue;
            if (rejected) break;
            t0 = Clock::now();
            refitter.residuals(outcome.model, next);
            plan.amplitude(next, next_spectrum);
            step.spectrum += seconds_since(t0);
            // The S/N of the candidate: its amplitude over the mean
            // amplitude around it once it is prewhitened (Breger et al.
            // 1993), so that neither its own peak nor its window's
            // sidelobes count as noise.
            const double noise = box_mean(settings.grid, next_spectrum, outcome.model.terms.back().frequency,
                                          noise_box(settings, result.span));
            snr = noise > 0.0 ? outcome.model.terms.back().amplitude / noise : INFINITY;
            noise_after = noise;
            if (!refitter.partial() || !may_stop(snr, settings.snr)) break;
        }
        result.timing.steps.push_back(step);
        if (rejected) {
            result.rejected.push_back({f, single.sinusoid.amplitude, why, static_cast<int>(terms)});
            rejected_zones.push_back({f, std::max(separation, 1.0 / result.span)});  // its whole peak
            if (++rejected_in_a_row >= settings.rejections) {
                result.stop = Stop::rejections;
                break;
            }
            continue;
        }

        // Below the limit, the candidate is not taken: selected by height
        // (or as the last try), the loop ends; selected by S/N, it is
        // passed over with its neighbourhood and the search goes on.
        const Sinusoid& added = outcome.model.terms.back();
        if (!(snr >= settings.snr) && settings.select == Select::snr && !last_try) {
            result.rejected.push_back({f, single.sinusoid.amplitude, Rejection::Why::low_snr, static_cast<int>(terms)});
            rejected_zones.push_back({f, std::max(separation, 1.0 / result.span)});
            if (++rejected_in_a_row >= settings.rejections) {
                result.stop = Stop::rejections;
                break;
            }
            continue;
        }
        // The last try is taken only when its own window held it down: at
        // least half the noise around it left with it.  A peak of red
        // noise leaves the noise around it as it was, and the loop ends
        // with its S/N before the fit, as no peak reached the limit.
        if (last_try && snr >= settings.snr && !(noise_after <= 0.5 * noise_at_peak)) {
            result.stop = Stop::snr;
            result.stop_value = noise_at_peak > 0.0 ? spectrum_now[j] / noise_at_peak : INFINITY;
            result.stop_frequency = settings.grid.frequency(j);
            break;
        }
        rejected_in_a_row = 0;
        if (!(snr >= settings.snr)) {
            result.stop = Stop::snr;
            result.stop_value = snr;
            result.stop_frequency = added.frequency;
            break;
        }
        refitter.accept(outcome.model);
        result.model = outcome.model;
        result.residuals.swap(next);
        spectrum_now.swap(next_spectrum);
        log10_faps.push_back(log10_fap);
        snr_at_pick.push_back(snr);
        if (progress)
            progress({static_cast<int>(result.model.terms.size()), most, seconds_since(start), added.frequency, snr});
    }

    // The final fit, converged tightly, and the residuals of its model
    // (the baselines' alone were fitted tightly at the start).
    const Clock::time_point t_final = Clock::now();
    if (!result.model.terms.empty()) {
        const FitOutcome final_fit = refitter.final_fit(result.model);
        Rejection::Why why;
        if (!diverged(final_fit, result.model, result.span, why)) {
            result.model = final_fit.model;
            refitter.residuals(result.model, result.residuals);
        }
        plan.amplitude(result.residuals, spectrum_now);
    }
    result.residual_amplitude = std::move(spectrum_now);
    const std::vector<double> cov = refitter.covariance(result.model);
    finish(result, times, settings, log10_faps, snr_at_pick, cov);
    if (basis) finish_baselines(result, *basis, times, shapes, cov, settings);
    result.timing.final = seconds_since(t_final);
    result.timing.total = seconds_since(start);
    return result;
}

std::vector<double> scaled(std::span<const double> x, int k)
{
    std::vector<double> y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) y[i] = std::ldexp(x[i], k);
    return y;
}

void scale(std::vector<double>& x, int k)
{
    for (double& v : x) v = std::ldexp(v, k);
}

// The parts of a result in the unit of the values multiplied by 2^k: the
// model's constant and amplitudes, their errors, the residuals, the
// spectra and the rms.  Frequencies, phases, S/N, false-alarm
// probabilities and D do not depend on the scale of the values.
void scale(Result& result, int k)
{
    result.model.constant = std::ldexp(result.model.constant, k);
    for (Sinusoid& s : result.model.terms) s.amplitude = std::ldexp(s.amplitude, k);
    for (Frequency& f : result.frequencies) {
        f.value.amplitude = std::ldexp(f.value.amplitude, k);
        f.covariance.amplitude = std::ldexp(f.covariance.amplitude, k);
        f.analytic.amplitude = std::ldexp(f.analytic.amplitude, k);
    }
    for (Rejection& r : result.rejected) r.amplitude = std::ldexp(r.amplitude, k);
    for (SegmentBaseline& b : result.baselines)
        for (int i = 0; i < 3; ++i) {
            b.value[i] = std::ldexp(b.value[i], k);
            b.error[i] = std::ldexp(b.error[i], k);
        }
    scale(result.baseline, k);
    scale(result.residuals, k);
    scale(result.data_amplitude, k);
    scale(result.residual_amplitude, k);
    result.rms = std::ldexp(result.rms, k);
}

}  // namespace

// Values or errors so large or so small that their squares would overflow
// or underflow are scaled by exact powers of two into a safe range first:
// the values by 2^k, the results in their unit back by 2^-k; the errors by
// 2^kw alone, since weights all multiplied by one factor change no result
// (the fit's covariance is scaled by the weighted residual variance).
// Usual light curves are not scaled at all.
spectrum::Plan spectrum_plan(std::span<const double> times, const Settings& settings)
{
    if (times.empty()) throw std::invalid_argument("no points");
    const double t_ref = reference_time(times);
    std::vector<double> tau(times.size());
    for (std::size_t k = 0; k < times.size(); ++k) tau[k] = times[k] - t_ref;
    spectrum::Settings spectrum_settings = settings.spectrum;
    spectrum_settings.threads = numerics::thread_count(settings.threads);
    return spectrum::Plan(tau, settings.grid, spectrum_settings);
}

Result extract(const spectrum::Plan& plan, std::span<const double> times, std::span<const double> values,
               std::span<const double> errors, const Segmentation& segmentation, const Settings& settings,
               const ProgressCallback& progress)
{
    const Clock::time_point start = Clock::now();
    check_input(times, values, errors, settings);
    if (!plan_fits(plan, times, settings.grid))
        throw std::invalid_argument("the spectrum plan is not one of these times and this grid");
    check_segmentation(segmentation, times.size());
    double largest = 0.0;
    for (double v : values) largest = std::max(largest, std::fabs(v));
    const int k = spectrum::range_exponent(largest);
    const int kw = settings.weights ? spectrum::range_exponent(*std::min_element(errors.begin(), errors.end())) : 0;
    if (k == 0 && kw == 0)
        return extract_in_range(plan, times, values, errors, segmentation, settings, progress, start);
    const std::vector<double> scaled_errors = kw == 0 ? std::vector<double>(errors.begin(), errors.end())
                                                      : scaled(errors, kw);
    Result result =
        extract_in_range(plan, times, scaled(values, k), scaled_errors, segmentation, settings, progress, start);
    scale(result, -k);
    return result;
}

Segmentation one_segment(std::span<const double> times)
{
    Segmentation out;
    out.of_point.assign(times.size(), 0);
    Segment segment;
    if (!times.empty()) {
        const auto [low, high] = std::minmax_element(times.begin(), times.end());
        segment.first = *low;
        segment.last = *high;
    }
    segment.count = times.size();
    out.segments.push_back(segment);
    return out;
}

std::vector<double> model_at(const Result& result, std::span<const double> times)
{
    std::vector<double> tau(times.size()), out(times.size());
    for (std::size_t k = 0; k < times.size(); ++k) tau[k] = times[k] - result.t_ref;
    evaluate(result.model, tau, out);
    if (result.baselines.empty() || result.baselines.size() != result.segments.size()) return out;
    for (std::size_t k = 0; k < times.size(); ++k) {
        // The segment that holds the time, else the nearest one.
        std::size_t best = 0;
        double distance = INFINITY;
        for (std::size_t s = 0; s < result.segments.size(); ++s) {
            const Segment& g = result.segments[s];
            const double d = times[k] < g.first ? g.first - times[k] : times[k] > g.last ? times[k] - g.last : 0.0;
            if (d < distance) {
                distance = d;
                best = s;
            }
        }
        out[k] += baseline_value(result.baselines[best], times[k]);
    }
    return out;
}

NoiseBox noise_box(const Settings& settings, double span)
{
    NoiseBox box{settings.box};
    if (settings.select == Select::snr && span > 0.0) {
        box.centred = true;
        box.least = std::min(0.5 * settings.box, 10.0 / span);
    }
    return box;
}

std::size_t memory_needed(std::size_t n, const spectrum::Grid& grid, double span, int most, FitMethod fit,
                          std::size_t baseline_columns)
{
    using numerics::multiply_sizes;
    using numerics::sum_sizes;
    const std::size_t p = numerics::add_sizes(1 + 3 * static_cast<std::size_t>(std::max(most, 0)), baseline_columns);
    const std::size_t pp = multiply_sizes(p, p);
    // Six spectra (the data's, the residuals' now and next, the final one,
    // and the noise sums' two); about a dozen series of n (values, times, residuals,
    // weights, the solver's vectors).  With baselines, four more (the scaled
    // time and segment of each point, the values less the baselines and
    // their residuals in a pass), and the sums of each segment's powers
    // against every frequency (18 per segment and frequency, at most one
    // segment more than the columns).
    const std::size_t baseline_sums =
        baseline_columns == 0
            ? 0
            : sum_sizes({multiply_sizes(4, n),
                         multiply_sizes(multiply_sizes(18, static_cast<std::size_t>(std::max(most, 0)) + 1),
                                        numerics::add_sizes(baseline_columns, 1))});
    const std::size_t series = sum_sizes({multiply_sizes(6, grid.count), multiply_sizes(12, n), baseline_sums});
    if (fit == FitMethod::exact) {
        // The normal equations of each partition and the solver's own
        // p x p matrices (and the final polish's); a block of the Jacobian
        // per partition.
        return multiply_sizes(sizeof(double),
                              sum_sizes({series, multiply_sizes(16 + 8, pp), multiply_sizes(16 * 256, p)}));
    }
    // The solver's p x p matrices and ours (the latest J^T J, the factors
    // of the convergence test and of the covariance, the products of the
    // known columns); the pair table; the sums of the sampling; a block of
    // sines and cosines per partition.
    const double f =
        grid.count > 0 ? std::max(std::fabs(grid.fmin), std::fabs(grid.frequency(grid.count - 1))) : 0.0;
    const double highest = span > 0.0 ? 2.0 * (f + 2.0 / span) : 0.0;
    return sum_sizes({multiply_sizes(sizeof(double), sum_sizes({series, multiply_sizes(10, pp),
                                                                 multiply_sizes(16 * 128, p)})),
                      PairTable::bytes(static_cast<std::size_t>(std::max(most, 0)) + 1),
                      spectrum::SamplingSums::bytes(n, highest, span)});
}

std::optional<LockedSeries> locked_series(const Result& result)
{
    std::optional<LockedSeries> series;
    for (const Frequency& f : result.frequencies)
        if (f.harmonic == 1) series = LockedSeries{f.id, 0, f.value.frequency, f.covariance.frequency};
    if (series)
        for (const Frequency& f : result.frequencies) series->members += f.harmonic > 0 ? 1 : 0;
    return series;
}

std::string stop_name(Stop stop)
{
    switch (stop) {
    case Stop::snr: return "snr";
    case Stop::fap: return "fap";
    case Stop::max_frequencies: return "max-frequencies";
    case Stop::no_peak: return "no-peak";
    case Stop::too_few_points: return "too-few-points";
    case Stop::rejections: return "rejections";
    }
    return "";
}

std::string stop_sentence(const Result& result, const Settings& settings)
{
    std::ostringstream out;
    out.precision(3);
    switch (result.stop) {
    case Stop::snr:
        if (settings.select == Select::snr)
            out << "no peak left reaches S/N " << settings.snr << " (the highest, at " << result.stop_frequency
                << " c/d, has " << result.stop_value << ")";
        else
            out << "the next peak, at " << result.stop_frequency << " c/d, has S/N " << result.stop_value
                << ", below " << settings.snr;
        break;
    case Stop::fap:
        out << "the next peak, at " << result.stop_frequency << " c/d, has false-alarm probability 10^"
            << result.stop_value << ", above " << settings.fap;
        break;
    case Stop::max_frequencies:
        out << result.frequencies.size() << (result.frequencies.size() == 1 ? " frequency" : " frequencies")
            << " extracted, the most asked for";
        break;
    case Stop::no_peak: out << "no peak left in the frequency range"; break;
    case Stop::too_few_points: out << "too few points for another frequency"; break;
    case Stop::rejections:
        if (settings.select == Select::snr)
            out << settings.rejections << " candidates in a row were passed over";
        else
            out << settings.rejections << " candidates in a row made the fit diverge";
        break;
    }
    return out.str();
}

std::string rejection_name(Rejection::Why why)
{
    switch (why) {
    case Rejection::Why::moved: return "moved";
    case Rejection::Why::merged: return "merged";
    case Rejection::Why::not_converged: return "not-converged";
    case Rejection::Why::low_snr: return "low-snr";
    }
    return "";
}

}  // namespace extraction
