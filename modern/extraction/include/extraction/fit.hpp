// The joint least-squares fit of all sinusoids and the constant: residuals
// and analytic Jacobian of the model, the normal equations built from
// blocks of rows (the Jacobian is never stored whole), the
// Levenberg-Marquardt iterations of GSL's large-problem solver, and the
// covariance of the parameters.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "extraction/model.hpp"

namespace extraction {

// The segments' baselines as columns of the fit.  In segment s the columns
// are w x^p, p < powers[s], x = (t - centre_s) / h_s with h_s half the
// segment's length (columns of order one whatever the time unit and
// span): the polynomial's coefficient of (t - centre)^p is c_p / h^p.
// The constant's column is the sum of all the offsets' columns, so one
// segment (`reference`) has no offset column: its offset is the model's
// constant, and every other offset is the constant plus its own.
struct BaselineBasis {
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::vector<std::size_t> of_point;  // the segment of each point
    std::vector<double> x;              // the scaled time of each point
    std::vector<double> centre, half;   // per segment: centre and h, d
    std::vector<int> powers;            // per segment: 0 to 3 columns
    std::size_t reference = none;       // the segment whose offset is the constant

    std::size_t segments() const { return powers.size(); }
    // The first power of segment s with a column of its own.
    int first_power(std::size_t s) const { return s == reference ? 1 : 0; }
    // The baseline of coefficients c (3 per segment) at point k.
    double at(std::span<const double> c, std::size_t k) const
    {
        const std::size_t s = of_point[k];
        double v = 0.0;
        for (int p = powers[s] - 1; p >= 0; --p) v = v * x[k] + c[3 * s + static_cast<std::size_t>(p)];
        return v;
    }
};

// The observations as the fit sees them.
struct Series {
    std::span<const double> tau;      // t - t_ref, days
    std::span<const double> values;   // same length as tau
    std::span<const double> weights;  // 1 / sigma per point, or empty for all 1
    const BaselineBasis* baseline = nullptr;  // the segments' baselines, or none
};

// Where the model's quantities sit in the fit's parameter vector: the
// constant first, then for each term its frequency (when it may move) and
// the coefficients of its sine and cosine, then the segments' baseline
// coefficients (segment by segment, power by power, when there are any),
//   A sin(2 pi (f tau + phi)) = a sin(2 pi f tau) + b cos(2 pi f tau),
//   a = A cos(2 pi phi),  b = A sin(2 pi phi).
// The model is the same; in a and b it is linear, so that a fit with its
// frequencies fixed is linear least squares (Gauss-Newton's first step is
// the solution), and the fit with free frequencies has nonlinear terms in
// the frequencies only, which makes Levenberg-Marquardt converge in far
// fewer iterations than in amplitude and phase.
//
// A locked harmonic series: the terms with a harmonic number n >= 1
// (Sinusoid::harmonic) have the frequencies n F and share one parameter,
// F, at the place of the series' first term.  The Jacobian column of F is
// sum_i n_i d/df_i over the members.  F moves only when every member's
// frequency may move (a fit that keeps some of them fixed keeps all).
class Layout {
public:
    static constexpr std::size_t fixed = static_cast<std::size_t>(-1);

    // free_frequency[i]: term i's frequency is a parameter; a shorter list
    // leaves the remaining frequencies free.  harmonic[i] >= 1: term i is
    // the n-th member of the locked series (a shorter list: the rest are
    // independent).  baseline: the segments' baseline coefficients follow
    // the terms' parameters.
    Layout(std::size_t terms, const std::vector<bool>& free_frequency, std::span<const int> harmonic = {},
           const BaselineBasis* baseline = nullptr);

    // One baseline coefficient among the parameters.
    struct BaselineParameter {
        std::size_t index, segment;
        int power;
    };

    std::size_t size() const { return size_; }
    std::size_t terms() const { return sine_.size(); }
    // The parameter of term i's frequency (shared by the members of the
    // series), or fixed.
    std::size_t frequency(std::size_t i) const { return frequency_[i]; }
    // f_i = multiplier(i) times that parameter: n for a member, else 1.
    double multiplier(std::size_t i) const { return harmonic(i) > 0 ? harmonic(i) : 1.0; }
    // n of a member of the series, 0 for an independent term.
    int harmonic(std::size_t i) const { return i < harmonic_.size() ? harmonic_[i] : 0; }
    // Term i's frequency at parameters x (its frequency must be free).
    double frequency_at(std::size_t i, std::span<const double> x) const { return multiplier(i) * x[frequency_[i]]; }
    // Whether term i is the one of its parameter that packs and reports it
    // (every free term but the later members of the series).
    bool owns_frequency(std::size_t i) const { return frequency_[i] != fixed && owner_[i]; }
    std::size_t sine(std::size_t i) const { return sine_[i]; }
    std::size_t cosine(std::size_t i) const { return sine_[i] + 1; }
    // The baseline coefficients, in the order of their indices (after
    // every term's), and the one at an index if it is one.
    const std::vector<BaselineParameter>& baseline() const { return baseline_; }
    const BaselineParameter* baseline_at(std::size_t index) const
    {
        return index >= first_baseline_ && index - first_baseline_ < baseline_.size()
                   ? &baseline_[index - first_baseline_]
                   : nullptr;
    }

    void pack(const Model& model, std::span<double> x) const;
    // Fixed frequencies are left as model holds them; amplitudes come out
    // >= 0 and phases in [0, 1).
    void unpack(std::span<const double> x, Model& model) const;

private:
    std::vector<std::size_t> frequency_, sine_;
    std::vector<BaselineParameter> baseline_;
    std::size_t segments_ = 0, first_baseline_ = 0;
    std::vector<int> harmonic_;
    std::vector<char> owner_;
    std::size_t size_ = 1;
};

// The harmonic numbers of the model's terms (Sinusoid::harmonic), for a
// Layout.
std::vector<int> harmonics(const Model& model);

// residuals: w_k (m(tau_k) - y_k) for the rows [first, first + count).
void residuals(const Series& series, const Model& model, std::size_t first, std::size_t count, double* out);

// jacobian: the same rows of the Jacobian of those residuals with respect
// to the parameters of layout, column by column (leading dimension count):
//   d/dc = w,  d/da_i = w sin(x_i),  d/db_i = w cos(x_i),
//   d/df_i = w 2 pi tau (a_i cos(x_i) - b_i sin(x_i)),  x_i = 2 pi f_i tau.
void jacobian(const Series& series, const Model& model, const Layout& layout, std::size_t first, std::size_t count,
              double* out);

// normal_equations: J^T J (p x p, full, when jtj is given) and J^T u (when
// u and jtu are given) at model.  The rows are cut into a fixed number of
// partitions whose sums are added in order, so the result does not depend
// on the number of threads.
void normal_equations(const Series& series, const Model& model, const Layout& layout, const double* u, double* jtj,
                      double* jtu, int threads);

struct FitSettings {
    int threads = 1;
    int max_iterations = 200;
    // Converged when the remaining Gauss-Newton step of every parameter is
    // below this fraction of its standard error: a thousandth of an error
    // bar is far below anything the table shows, and near the minimum
    // Gauss-Newton gains only a constant fraction per iteration when the
    // residuals are large (slow trends, red noise).
    double step_tolerance = 1e-3;
    // The same when no frequency moves: the problem is then linear and
    // converges fast, so it is solved to the last digits (the amplitudes of
    // a fit at fixed frequencies equal those of any other linear fit).
    double linear_tolerance = 1e-9;
};

struct FitOutcome {
    enum class Status { converged, iteration_limit, failed };
    Model model;  // amplitudes >= 0, phases in [0, 1)
    Status status = Status::failed;
    int iterations = 0;
    double chi2 = 0.0;  // sum of the squared weighted residuals
};

// fit: Levenberg-Marquardt from start over the constant, every amplitude
// and phase, and the frequencies marked free.
FitOutcome fit(const Series& series, const Model& start, const std::vector<bool>& free_frequency,
               const FitSettings& settings);

// covariance: covariance of the constant and of every frequency, amplitude
// and phase at model (every frequency free), s^2 (J^T J)^-1 with
// s^2 = chi2 / (N - p), p = 1 + 3 K (+ the baseline coefficients of
// series.baseline); p x p, row by row, in the order c, then f_i, A_i,
// phi_i (phases in cycles) for each term: index 1 + 3 i + q, then the
// baseline coefficients in the layout's order (scaled powers).
// Empty when J^T J is singular or N <= p.
//   Notes: 1. Computed in the fit's parameters and carried to amplitude
//             and phase through the derivatives of A = hypot(a, b),
//             phi = atan2(b, a) / 2 pi: at the least-squares solution this
//             is the covariance of a fit in A and phi.
//          2. A model with a locked harmonic series (its members'
//             harmonic numbers set) is fitted with F once: each member's
//             frequency row and column are n times F's, so that its
//             frequency error is n times F's.  The result keeps the
//             layout above.
std::vector<double> covariance(const Series& series, const Model& model, int threads);

// covariance_from: the same from J^T J in the fit's parameters (every
// frequency free, a locked series as one parameter F, p x p, row by row) and the sum of squares chi2 of n
// points, however they were computed.
std::vector<double> covariance_from(const std::vector<double>& jtj, double chi2, std::size_t n, const Model& model,
                                    const BaselineBasis* baseline = nullptr);

// The model with each amplitude made positive (a negative amplitude is half
// a cycle of phase) and each phase brought into [0, 1).
void normalise(Model& model);

}  // namespace extraction
