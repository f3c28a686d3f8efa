// The products of the model's basis functions summed over the points
// (the entries of J^T J), from the sums of the sampling instead of the
// points.
//
// A column of the Jacobian is a short sum of basis functions
// tau^p cos(2 pi nu tau) or tau^p sin(2 pi nu tau): the constant is cos at
// nu = 0, the coefficients a, b of a sinusoid are its sin and cos, its
// frequency is 2 pi tau (a cos - b sin).  A harmonic series locked to one
// frequency parameter has one column of 2 N_h such functions, at
// frequencies n F0.  The product of two basis functions summed with
// weights w^2 is, with S_k the sums of the sampling and k = p + q,
//
//   cos a cos b = (C_k(a - b) + C_k(a + b)) / 2,  sin a sin b = (C_k(a - b) - C_k(a + b)) / 2,
//   sin a cos b = (S'_k(a + b) + S'_k(a - b)) / 2, cos a sin b = (S'_k(a + b) - S'_k(a - b)) / 2,
//
// C_k and S'_k the real and imaginary parts of S_k.  Functions confined to
// one segment of the light curve (a baseline per segment) are not of this
// kind: their products with a sinusoid are sums over the segment's points,
// to be made directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "extraction/fit.hpp"
#include "projections.hpp"
#include "spectrum/sampling_sums.hpp"

namespace extraction {

// One basis function, times a coefficient: coefficient tau^power cos (or
// sin) of 2 pi nu tau, nu the frequency of a slot of the pair table.
struct Basis {
    std::uint32_t slot = 0;
    bool sine = false;
    std::uint8_t power = 0;  // 0, 1 or 2; the powers of a product add up to at most 2
    double coefficient = 1.0;
};

using Column = std::vector<Basis>;

// The sums of the sampling at the difference and the sum of the
// frequencies of every pair of slots, kept between fits: only the pairs of
// a slot whose frequency changed are computed again.
class PairTable {
public:
    explicit PairTable(const spectrum::SamplingSums& sums) : sums_(sums) {}

    // set: the frequencies of the slots, c/d (slots beyond the list are
    // dropped, new ones added).
    //   Notes: 1. Each pair is computed whole by one thread: the table
    //             does not depend on the number of threads.
    void set(std::span<const double> frequencies, int threads);

    std::size_t slots() const { return frequency_.size(); }

    // The weighted sum over the points of the product of two basis
    // functions, or of two columns.
    double product(const Basis& u, const Basis& v) const;
    double product(const Column& a, const Column& b) const;

    // Bytes of a table of this many slots.
    static std::size_t bytes(std::size_t slots);

private:
    struct Pair {
        spectrum::WindowSums minus, plus;  // S at f_a - f_b and f_a + f_b, a <= b
    };
    static std::size_t index(std::size_t a, std::size_t b) { return b * (b + 1) / 2 + a; }  // a <= b

    const spectrum::SamplingSums& sums_;
    std::vector<double> frequency_;
    std::vector<Pair> pairs_;
};

// The slots of a fit: slot 0 at frequency 0 (the constant), slot 1 + i
// at term i's frequency.
std::vector<double> slot_frequencies(std::span<const Wave> waves);

// The columns of the Jacobian of the model constant + waves, in the order
// of the layout's parameters.
std::vector<Column> fit_columns(const Layout& layout, std::span<const Wave> waves);

// gram: the matrix of the products of the columns (J^T J), p x p, row by
// row, full.
void gram(const PairTable& table, std::span<const Column> columns, double* out, int threads);

// The waves (frequency and coefficients of sin and cos) of a fit's
// parameter vector; fixed frequencies from the model.
std::vector<Wave> waves_of(const Layout& layout, std::span<const double> x, const Model& model);

// The waves of a model: A sin(2 pi (f tau + phi)) = a sin + b cos with
// a = A cos(2 pi phi), b = A sin(2 pi phi), as Layout::pack makes them.
std::vector<Wave> waves_of(const Model& model);

}  // namespace extraction
