#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>

#include "extraction/combinations.hpp"
#include "extraction/extraction.hpp"
#include "extraction/fit.hpp"
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

// The per-frequency figures that need the final residuals.
void finish(Result& result, std::span<const double> times, const Settings& settings,
            const std::vector<double>& log10_faps, const std::vector<double>& snr_at_pick,
            const std::vector<double>& cov)
{
    result.D = correlation_factor(in_time_order(times, result.residuals));
    double sum2 = 0.0;
    for (double r : result.residuals) sum2 += r * r;
    result.rms = std::sqrt(sum2 / static_cast<double>(result.n));

    const std::size_t p = 1 + 3 * result.model.terms.size();
    auto sigma = [&](std::size_t index) { return cov.empty() ? NAN : std::sqrt(cov[index * p + index]); };

    const double resolution = settings.resolution > 0.0 ? settings.resolution : 1.5 / result.span;
    std::vector<double> freqs, amps;
    for (const Sinusoid& s : result.model.terms) {
        freqs.push_back(s.frequency);
        amps.push_back(s.amplitude);
    }
    const std::vector<std::string> labels = combination_labels(freqs, amps, resolution);

    for (std::size_t i = 0; i < result.model.terms.size(); ++i) {
        Frequency f;
        f.id = static_cast<int>(i) + 1;
        f.value = result.model.terms[i];
        const double noise = box_mean(result.grid, result.residual_amplitude, f.value.frequency, settings.box);
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
        f.combination = labels[i];
        result.frequencies.push_back(f);
    }
}

// The extraction on values and errors within the range of
// spectrum::range_exponent.
Result extract_in_range(std::span<const double> times, std::span<const double> values,
                        std::span<const double> errors, const Settings& settings, const spectrum::Plan& plan,
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
    const Series series{tau, values, weights};

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

    std::vector<Zone> rejected_zones;
    std::vector<double> log10_faps, snr_at_pick;
    std::vector<double> spectrum_now = result.data_amplitude, next(result.n), next_spectrum;
    int rejected_in_a_row = 0;
    const int most = std::max(settings.max_frequencies, 0);
    for (;;) {
        const std::size_t terms = result.model.terms.size();
        if (static_cast<int>(terms) >= most) {
            result.stop = Stop::max_frequencies;
            break;
        }
        if (1 + 3 * (terms + 1) >= result.n) {
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
        const std::size_t j = highest_peak(settings.grid, spectrum_now, zones);
        if (j == no_peak) {
            result.stop = Stop::no_peak;
            break;
        }
        const double f = refine_peak(settings.grid, j, tau, result.residuals);
        const Series residual_series{tau, result.residuals, weights};
        const SingleSinusoid single = single_sinusoid(residual_series, f);
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
        double snr = 0.0;
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
                                          settings.box);
            snr = noise > 0.0 ? outcome.model.terms.back().amplitude / noise : INFINITY;
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
        rejected_in_a_row = 0;

        // Below the limit, the candidate is not taken and the loop ends.
        const Sinusoid& added = outcome.model.terms.back();
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

    // The final fit, converged tightly, and the residuals of its model.
    const Clock::time_point t_final = Clock::now();
    if (!result.model.terms.empty()) {
        const FitOutcome final_fit = refitter.final_fit(result.model);
        Rejection::Why why;
        if (!diverged(final_fit, result.model, result.span, why)) {
            result.model = final_fit.model;
            refitter.residuals(result.model, result.residuals);
            plan.amplitude(result.residuals, spectrum_now);
        }
    }
    result.residual_amplitude = spectrum_now;
    finish(result, times, settings, log10_faps, snr_at_pick, refitter.covariance(result.model));
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

Result extract(std::span<const double> times, std::span<const double> values, std::span<const double> errors,
               const Settings& settings, const spectrum::Plan& plan, const ProgressCallback& progress)
{
    const Clock::time_point start = Clock::now();
    check_input(times, values, errors, settings);
    if (!plan_fits(plan, times, settings.grid))
        throw std::invalid_argument("the spectrum plan is not one of these times and this grid");
    double largest = 0.0;
    for (double v : values) largest = std::max(largest, std::fabs(v));
    const int k = spectrum::range_exponent(largest);
    const int kw = settings.weights ? spectrum::range_exponent(*std::min_element(errors.begin(), errors.end())) : 0;
    if (k == 0 && kw == 0) return extract_in_range(times, values, errors, settings, plan, progress, start);
    const std::vector<double> scaled_errors = kw == 0 ? std::vector<double>(errors.begin(), errors.end())
                                                      : scaled(errors, kw);
    Result result = extract_in_range(times, scaled(values, k), scaled_errors, settings, plan, progress, start);
    scale(result, -k);
    return result;
}

std::size_t memory_needed(std::size_t n, const spectrum::Grid& grid, double span, int most, FitMethod fit)
{
    using numerics::multiply_sizes;
    using numerics::sum_sizes;
    const std::size_t p = 1 + 3 * static_cast<std::size_t>(std::max(most, 0));
    const std::size_t pp = multiply_sizes(p, p);
    // Four spectra; about a dozen series of n (values, times, residuals,
    // weights, the solver's vectors).
    const std::size_t series = sum_sizes({multiply_sizes(4, grid.count), multiply_sizes(12, n)});
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
        out << "the next peak, at " << result.stop_frequency << " c/d, has S/N " << result.stop_value << ", below "
            << settings.snr;
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
    case Stop::rejections: out << settings.rejections << " candidates in a row made the fit diverge"; break;
    }
    return out.str();
}

std::string rejection_name(Rejection::Why why)
{
    switch (why) {
    case Rejection::Why::moved: return "moved";
    case Rejection::Why::merged: return "merged";
    case Rejection::Why::not_converged: return "not-converged";
    }
    return "";
}

}  // namespace extraction
