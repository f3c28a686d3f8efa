// The sums over the points that the segments' baseline columns add to the
// fast fit's normal equations and gradient.
//
// A baseline column w x^p lives in one segment's points only, so its
// products with a sinusoid's functions are not sums of the sampling over
// the whole light curve: they are made here directly, one pass over the
// points per frequency (each point adds to its own segment's sums only),
// O(N K) in all.  Its products with the other baseline columns, and with
// the constant, are sums of w^2 x^m over each segment: fixed for the star.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "extraction/fit.hpp"
#include "gram.hpp"
#include "projections.hpp"

namespace extraction {

class BaselineProducts {
public:
    // Given:  basis    the segments' baseline columns (kept by reference)
    //         tau      t - t_ref, d; weights 1 / sigma or empty
    BaselineProducts(const BaselineBasis& basis, std::span<const double> tau, std::span<const double> weights);

    // set: the sums of each segment's powers x^p (p < 3) times tau^q (q <=
    // powers) times the sine and cosine of the slots [first, end) of
    // `frequencies` (c/d); slot 0 is the constant at frequency 0 and is
    // kept from the start.  The slots before `first` keep their sums, and so
    // does a slot whose frequency has not changed since its sums were made
    // with at least these powers (the known terms of the fits that add one
    // frequency at a time).
    //   Notes: 1. One slot is summed whole by one thread, over the points
    //             in order: the sums do not depend on the number of threads,
    //             nor on whether they were kept (a sum with tau^q is made
    //             the same way whatever the highest power asked).
    void set(std::span<const double> frequencies, std::size_t first, int powers, int threads);

    // The product of the baseline column (segment, power) with a basis
    // function, with a column, and with another baseline column.
    double product(std::size_t segment, int power, const Basis& v) const;
    double product(std::size_t segment, int power, const Column& c) const;
    double product(std::size_t segment, int power, std::size_t segment2, int power2) const;

private:
    struct Sums {
        double sine[3][3] = {}, cosine[3][3] = {};  // [power of x][power of tau]
    };
    struct Slot {
        double frequency = 0.0;
        int powers = -1;  // none made yet
        std::vector<Sums> sums;  // per segment
    };
    std::vector<Sums> slot_sums(double frequency, int powers) const;

    const BaselineBasis& basis_;
    std::span<const double> tau_, weights_;
    std::vector<double> moments_;           // sum w^2 x^m, m < 5, 5 per segment
    std::vector<Slot> slots_;
};

// The product of the columns of parameters u and v of a layout: from the
// pair table between sinusoids' columns, from the baseline sums where
// either is a baseline coefficient.
double column_product(const PairTable& table, const BaselineProducts* baseline, const Layout& layout,
                      std::span<const Column> columns, std::size_t u, std::size_t v);

// baseline_gram: the rows and columns of the baseline coefficients in J^T J
// (p x p, row by row), the rest left as it is.
void baseline_gram(const BaselineProducts& baseline, const Layout& layout, std::span<const Column> columns,
                   double* out);

// baseline_values: the baselines of coefficients c (3 per segment) at each
// point.
std::vector<double> baseline_values(const BaselineBasis& basis, std::span<const double> c);

// project_model: project() of the residuals of a model with its baselines,
// values - baselines - constant - waves, with the sums of the residuals
// against each baseline column (Projection::baseline, 3 per segment) when
// the series has baselines.  Without baselines, project() itself.
Projection project_model(const Series& series, const Model& model, std::span<const Wave> waves, int powers,
                         std::span<double> residuals, int threads);

// The sums <r, x^p> = sum w^2 x^p r of residuals r in each segment, 3 per segment.
std::vector<double> baseline_residual_sums(const BaselineBasis& basis, std::span<const double> weights,
                                           std::span<const double> r);

}  // namespace extraction
