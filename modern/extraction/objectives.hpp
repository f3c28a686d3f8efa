// The sums of squares, gradients and normal matrices the fits hand to the
// solver, three ways:
//
//   ExactObjective    the direct assembly: J^T J and J^T f from the rows
//                     of the Jacobian (N p^2), the reference;
//   DirectObjective   chi2 and J^T f from one pass over the points (N K),
//                     J^T J from the sums of the sampling (K^2);
//   AddedObjective    new terms on top of a model whose residuals are
//                     known: one pass over the points for the new terms
//                     only (N per term), everything else from the sums.
//
// The segments' baselines (series.baseline) are linear parameters of all
// three: the fast ones take their products with the sinusoids from
// BaselineProducts (a pass over the points per frequency), their sums with
// the residuals from the pass that makes the residuals.  In AddedObjective
// they move at every step, as the known model's amplitudes do.
//
// AddedObjective writes the residuals as r = r0 - n - d, r0 the known
// residuals, n the new terms at the points, d = sum_j d_j c_j the change
// of the known model's linear parameters (its frequencies stay):
//
//   chi2 = <r0 - n, r0 - n> - 2 (d . P - <n, d>) + d' G d,
//
// P_j = <r0, c_j> known, G the products of the columns c_j.  The first
// term is summed at the points, so the strong signals already removed
// cause no cancellation; the others are products of small changes, whose
// errors from the sums are relative to those changes.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "baseline_sums.hpp"
#include "extraction/fit.hpp"
#include "gram.hpp"
#include "lm.hpp"
#include "projections.hpp"

namespace extraction {

class ExactObjective : public Objective {
public:
    ExactObjective(const Series& series, const Layout& layout, const Model& fixed, int threads);
    double chi2(std::span<const double> x) override;
    void gradient(std::span<const double> x, std::span<double> g) override;
    void normal_matrix(std::span<const double> x, std::span<double> jtj) override;
    void subtract_curvature(std::span<const double> x, std::span<double> h) override;

private:
    void at(std::span<const double> x);

    const Series& series_;
    const Layout& layout_;
    Model model_;  // at the latest x; fixed frequencies from the start
    int threads_;
    std::vector<double> x_, residuals_;
    double chi2_ = 0.0;
};

class DirectObjective : public Objective {
public:
    DirectObjective(const Series& series, const Layout& layout, const Model& fixed, PairTable& table, int threads,
                    BaselineProducts* baseline = nullptr);
    double chi2(std::span<const double> x) override;
    void gradient(std::span<const double> x, std::span<double> g) override;
    void normal_matrix(std::span<const double> x, std::span<double> jtj) override;
    void subtract_curvature(std::span<const double> x, std::span<double> h) override;

private:
    void at(std::span<const double> x);

    const Series& series_;
    const Layout& layout_;
    const Model& fixed_;
    PairTable& table_;
    int threads_;
    BaselineProducts* baseline_;
    std::vector<double> x_;
    std::vector<Wave> waves_;
    Projection projection_;
};

// The residuals of a model and their sums (project() with the model's
// waves): what AddedObjective starts from.
struct KnownResiduals {
    std::span<const double> values;  // r0 = data - model, one per point
    Projection projection;           // of r0 against the model's waves, the constant and the baselines
};

class AddedObjective : public Objective {
public:
    // Given:  layout  the known model's terms first (frequencies fixed),
    //                 then the added ones
    //         start   the parameters at which r0 holds, plus the added
    //                 terms' starting values
    //         fixed   the model of the fixed frequencies
    //         known   r0 and its sums
    AddedObjective(const Series& series, const Layout& layout, std::span<const double> start, const Model& fixed,
                   std::size_t known_terms, const KnownResiduals& known, PairTable& table, int threads,
                   BaselineProducts* baseline = nullptr);
    double chi2(std::span<const double> x) override;
    void gradient(std::span<const double> x, std::span<double> g) override;
    void normal_matrix(std::span<const double> x, std::span<double> jtj) override;
    void subtract_curvature(std::span<const double> x, std::span<double> h) override;

private:
    void at(std::span<const double> x);
    // The product of the j-th known linear parameter's column with a column.
    double old_product(std::size_t j, const Column& column) const;

    const Series& series_;
    const Layout& layout_;
    const Model& fixed_;
    const KnownResiduals& known_;
    PairTable& table_;
    int threads_;
    BaselineProducts* baseline_;
    std::vector<double> start_;
    std::size_t known_terms_;
    // Parameters: the known model's linear ones (the baselines' among them),
    // the added terms' ones.
    std::vector<std::size_t> old_, added_;
    std::vector<double> old_sums_;         // P_j = <r0, c_j>
    std::vector<double> old_gram_;         // G, old_ x old_
    // At the latest x:
    std::vector<double> x_;
    std::vector<Column> columns_;
    std::vector<double> cross_;  // <c_j, c_a>, old_ x added_
    std::vector<double> g_;
    double chi2_ = 0.0;
    std::vector<Wave> waves_;
    Projection curvature_sums_;  // of the residuals against the added terms, with tau and tau^2
};

}  // namespace extraction
