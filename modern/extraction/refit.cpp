#include "refit.hpp"

#include <algorithm>
#include <cmath>
#include <memory>

#include "lm.hpp"
#include "extraction/model.hpp"
#include "objectives.hpp"
#include "solve.hpp"

namespace extraction {
namespace {

// A candidate within this many resolutions 1/T of a frequency taken is
// fitted with every frequency free.
constexpr double near_resolutions = 1.5;
// Newton steps of the final polish at most.
constexpr int polish_steps = 6;

bool same_model(const Model& a, const Model& b)
{
    if (a.constant != b.constant || a.terms.size() != b.terms.size() || a.baseline != b.baseline) return false;
    for (std::size_t i = 0; i < a.terms.size(); ++i)
        if (a.terms[i].frequency != b.terms[i].frequency || a.terms[i].amplitude != b.terms[i].amplitude ||
            a.terms[i].phase != b.terms[i].phase || a.terms[i].harmonic != b.terms[i].harmonic)
            return false;
    return true;
}

// The highest |f_i + f_j| the normal equations of these frequencies ask
// of the sums, with two resolutions' room (a fit that moves further is
// undone anyway).
double highest_sum(double f, double span) { return 2.0 * (std::fabs(f) + 2.0 / span); }

double highest_frequency(const Model& model)
{
    double f = 0.0;
    for (const Sinusoid& s : model.terms) f = std::max(f, std::fabs(s.frequency));
    return f;
}

}  // namespace

std::vector<bool> free_frequencies(Refine refine, std::size_t terms)
{
    std::vector<bool> free(terms, refine == Refine::all);
    if (refine == Refine::fresh && terms > 0) free.back() = true;
    return free;
}

Refitter::Refitter(const Series& series, const Settings& settings, double span, int threads)
    : series_(series), settings_(settings), span_(span), threads_(threads)
{
    fit_settings_.threads = threads;
    if (series.baseline && settings.fit != FitMethod::exact) baseline_.emplace(*series.baseline, series.tau, series.weights);
}

void Refitter::cover(const Model& model)
{
    const double needed = highest_sum(highest_frequency(model), span_);
    if (sums_ && needed <= sums_->highest()) return;
    // At least twice the range of the sums before, at most the grid's.
    const spectrum::Grid& grid = settings_.grid;
    const double full = highest_sum(std::max(std::fabs(grid.fmin), std::fabs(grid.frequency(grid.count - 1))), span_);
    const double highest = std::min(full, std::max(1.5 * needed, sums_ ? 2.0 * sums_->highest() : 0.0));
    sums_.emplace(series_.tau, series_.weights, std::max(highest, needed), threads_);
    if (!table_) table_.emplace(*sums_);
}

bool Refitter::near_taken(const Model& model, double frequency) const
{
    for (const Sinusoid& s : model.terms)
        if (std::fabs(s.frequency - frequency) < near_resolutions / span_) return true;
    return false;
}

FitOutcome Refitter::fit_candidate(const Model& model, std::span<const double> residuals, const Sinusoid& candidate,
                                   bool whole)
{
    Model trial = model;
    trial.terms.push_back(candidate);
    const std::size_t terms = trial.terms.size();
    std::vector<bool> free = free_frequencies(settings_.refine, terms);
    // The classical procedure (highest peak first) moves every frequency at
    // every step, as its tables always did.
    const int every = settings_.select == Select::height ? 1 : std::max(settings_.full_refit_every, 1);
    partial_ = settings_.refine == Refine::all && !whole && terms % static_cast<std::size_t>(every) != 0 &&
               !near_taken(model, candidate.frequency);
    if (partial_) std::fill(free.begin(), free.end() - 1, false);
    // Fast: every frequency free, one pass over the points per evaluation;
    // else only the new term's, on the known residuals of the model.
    const bool added = settings_.refine != Refine::all || partial_;
    return run(trial, free, model, residuals, added);
}

bool Refitter::gone_too_far(const Layout& layout, std::span<const double> x, const Model& start) const
{
    // As the loop judges a fit's outcome: a frequency moved by more than
    // 1/T from its start, or two within 1/(2T).
    std::vector<double> f(start.terms.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        f[i] = layout.frequency(i) == Layout::fixed ? start.terms[i].frequency : layout.frequency_at(i, x);
        if (!(std::fabs(f[i] - start.terms[i].frequency) <= 1.0 / span_)) return true;
    }
    std::sort(f.begin(), f.end());
    for (std::size_t i = 1; i < f.size(); ++i)
        if (f[i] - f[i - 1] < 0.5 / span_) return true;
    return false;
}

FitOutcome Refitter::run(const Model& trial, const std::vector<bool>& free, const Model& model,
                         std::span<const double> residuals, bool added)
{
    const Layout layout(trial.terms.size(), free, harmonics(trial), series_.baseline);
    const std::size_t n = series_.tau.size();
    const Abandon abandon = [&](std::span<const double> x) { return gone_too_far(layout, x, trial); };
    if (settings_.fit == FitMethod::exact) {
        ExactObjective objective(series_, layout, trial, threads_);
        return levenberg_marquardt(objective, layout, trial, n, fit_settings_, abandon);
    }
    cover(trial);
    if (!added) {
        DirectObjective objective(series_, layout, trial, *table_, threads_, baseline_products());
        return levenberg_marquardt(objective, layout, trial, n, fit_settings_, abandon);
    }
    if (!has_known_ || !same_model(known_model_, model)) {
        known_ = project_model(series_, model, waves_of(model), 0, {}, threads_);
        known_model_ = model;
        has_known_ = true;
    }
    const KnownResiduals known{residuals, known_};
    std::vector<double> start(layout.size());
    layout.pack(trial, start);
    AddedObjective objective(series_, layout, start, trial, model.terms.size(), known, *table_, threads_,
                             baseline_products());
    return levenberg_marquardt(objective, layout, trial, n, fit_settings_, abandon);
}

Model Refitter::baselines_alone(const Model& model) const
{
    Model out = model;
    out.terms.clear();
    const Layout layout(0, {}, {}, series_.baseline);
    const std::size_t n = series_.tau.size(), p = layout.size();
    if (n <= p) return out;
    std::vector<double> x(p), jtj(p * p), g(p), f(n);
    for (int step = 0; step < 2; ++step) {
        layout.pack(out, x);
        extraction::residuals(series_, out, 0, n, f.data());
        normal_equations(series_, out, layout, f.data(), jtj.data(), g.data(), threads_);
        const NewtonStep newton = newton_step(jtj, p, g, 1.0);
        if (!std::isfinite(newton.sigmas)) break;
        for (std::size_t i = 0; i < p; ++i) x[i] += newton.step[i];
        layout.unpack(x, out);
    }
    return out;
}

void Refitter::residuals(const Model& model, std::vector<double>& out)
{
    const std::size_t n = series_.tau.size();
    out.resize(n);
    if (settings_.fit == FitMethod::exact) {
        evaluate(model, series_.tau, out);
        for (std::size_t k = 0; k < n; ++k) out[k] = series_.values[k] - out[k];
        if (series_.baseline && !model.baseline.empty())
            for (std::size_t k = 0; k < n; ++k) out[k] -= series_.baseline->at(model.baseline, k);
        return;
    }
    latest_ = project_model(series_, model, waves_of(model), 0, out, threads_);
    // Without sinusoids (the baselines alone), the residuals in the exact
    // path's order of operations: both choose the first candidate from the
    // same bits.
    if (model.terms.empty() && series_.baseline && !model.baseline.empty())
        for (std::size_t k = 0; k < n; ++k)
            out[k] = (series_.values[k] - model.constant) - series_.baseline->at(model.baseline, k);
    latest_model_ = model;
    has_latest_ = true;
}

void Refitter::accept(const Model& model)
{
    if (!has_latest_ || !same_model(latest_model_, model)) return;
    known_ = latest_;
    known_model_ = model;
    has_known_ = true;
}

FitOutcome Refitter::final_fit(const Model& model)
{
    const std::vector<bool> free = free_frequencies(settings_.refine, model.terms.size());
    const Layout layout(model.terms.size(), free, harmonics(model), series_.baseline);
    const std::size_t n = series_.tau.size();
    const Abandon abandon = [&](std::span<const double> x) { return gone_too_far(layout, x, model); };
    std::unique_ptr<Objective> objective;
    if (settings_.fit == FitMethod::exact) {
        objective = std::make_unique<ExactObjective>(series_, layout, model, threads_);
    } else {
        cover(model);
        objective = std::make_unique<DirectObjective>(series_, layout, model, *table_, threads_, baseline_products());
    }
    FitOutcome outcome = levenberg_marquardt(*objective, layout, model, n, fit_settings_, abandon);
    polish(*objective, layout, outcome, n, final_tolerance, polish_steps);
    return outcome;
}

std::vector<double> Refitter::covariance(const Model& model)
{
    if (settings_.fit == FitMethod::exact) return extraction::covariance(series_, model, threads_);
    const Layout layout(model.terms.size(), {}, harmonics(model), series_.baseline);
    const std::size_t n = series_.tau.size(), p = layout.size();
    if (n <= p) return {};
    cover(model);
    const std::vector<Wave> waves = waves_of(model);
    const double chi2 = has_latest_ && same_model(latest_model_, model)
                            ? latest_.chi2
                            : project_model(series_, model, waves, 0, {}, threads_).chi2;
    const std::vector<double> slots = slot_frequencies(waves);
    table_->set(slots, threads_);
    std::vector<double> jtj(p * p);
    const std::vector<Column> columns = fit_columns(layout, waves);
    gram(*table_, columns, jtj.data(), threads_);
    if (BaselineProducts* baseline = baseline_products(); baseline && !layout.baseline().empty()) {
        baseline->set(slots, 1, 1, threads_);
        baseline_gram(*baseline, layout, columns, jtj.data());
    }
    return covariance_from(jtj, chi2, n, model, series_.baseline);
}

}  // namespace extraction
