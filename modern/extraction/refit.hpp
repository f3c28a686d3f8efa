// The fits of the extraction loop: which parameters move at each step,
// how the normal equations are made, and the final fit.
//
// Which parameters move: at most steps only what the new frequency
// disturbs, its frequency, every amplitude and phase, the constant and the
// segments' baseline coefficients.
// Every frequency moves every `full_refit_every` steps, when the candidate
// lies within 1.5 / T of a frequency already taken (the two may pull each
// other apart or together), and when the loop asks for it (before it
// rejects a candidate or lets an S/N near the limit decide).  The final
// fit frees every frequency and converges tightly: GSL's iterations, then
// Newton steps until the remaining one is below 1e-9 of every standard
// error (see polish in lm.hpp).
//
// How: exact assembles the normal equations from the rows of the Jacobian
// at every point (the reference).  Fast takes them from the sums of the
// sampling (sums.hpp), made once per star, with one pass over the points
// per evaluation when every frequency moves (DirectObjective), and only
// the new term's pass on top of the known residuals of the model before
// it otherwise (AddedObjective).  Both run the same solver from the same
// starts, so they take the same decisions and give the same table.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "extraction/extraction.hpp"
#include "extraction/fit.hpp"
#include "baseline_sums.hpp"
#include "gram.hpp"
#include "projections.hpp"
#include "spectrum/sampling_sums.hpp"

namespace extraction {

// The remaining Gauss-Newton step of the final fit, in standard errors.
inline constexpr double final_tolerance = 1e-9;

class Refitter {
public:
    // Given:    series    the observations (kept by reference)
    //           settings  the extraction's (fit, refine, full_refit_every,
    //                     the grid for the highest frequency)
    //           span      T, days
    Refitter(const Series& series, const Settings& settings, double span, int threads);

    // fit_candidate: the model with the candidate added, fitted.
    //   Given:    model      the extraction's model so far
    //             residuals  values - model at each point
    //             candidate  the new sinusoid's starting values
    //             whole      refit every frequency whatever the schedule
    FitOutcome fit_candidate(const Model& model, std::span<const double> residuals, const Sinusoid& candidate,
                             bool whole);

    // Whether the latest candidate's fit left the earlier frequencies
    // where they were while the reference would have moved them.
    bool partial() const { return partial_; }

    // residuals: values - model at each point (into out), remembered with
    // their sums for the next candidate when the model is accepted.
    void residuals(const Model& model, std::vector<double>& out);

    // accept: the model is now the extraction's.
    void accept(const Model& model);

    // final_fit: the model refitted tightly (the frequencies that move as
    // in the loop's fits).
    FitOutcome final_fit(const Model& model);

    // baselines_alone: the constant and the segments' baselines fitted with
    // no sinusoid (the model's terms are dropped).
    //   Notes: 1. A linear problem: two Gauss-Newton steps on the direct
    //             normal equations (the second takes up the rounding of
    //             the first), the same for both assemblies, so that the
    //             first candidate is chosen on the same residuals.
    Model baselines_alone(const Model& model) const;

    // covariance: as covariance() in fit.hpp, at the model whose residuals
    // were the latest asked for.
    std::vector<double> covariance(const Model& model);

private:
    FitOutcome run(const Model& trial, const std::vector<bool>& free, const Model& model,
                   std::span<const double> residuals, bool added);
    bool near_taken(const Model& model, double frequency) const;
    bool gone_too_far(const Layout& layout, std::span<const double> x, const Model& start) const;
    // cover: sums of the sampling up to the frequencies the model's normal
    // equations need, made again over a range at least twice as wide when
    // they do not reach (a star's signals often lie far below the grid's
    // highest frequency, and the set-up grows with the range).
    void cover(const Model& model);
    BaselineProducts* baseline_products() { return baseline_ ? &*baseline_ : nullptr; }

    const Series& series_;
    Settings settings_;
    double span_ = 0.0;
    int threads_ = 1;
    FitSettings fit_settings_;
    std::optional<spectrum::SamplingSums> sums_;
    std::optional<PairTable> table_;  // on sums_, which cover() makes again in place
    std::optional<BaselineProducts> baseline_;  // with the series' baselines, fast fits
    bool partial_ = false;
    // The residuals' sums of the latest residuals() call, and of the
    // accepted model.
    Model latest_model_, known_model_;
    Projection latest_, known_;
    bool has_latest_ = false, has_known_ = false;
};

// The frequencies that move in a fit with this many terms.
std::vector<bool> free_frequencies(Refine refine, std::size_t terms);

}  // namespace extraction
