#include "objectives.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "extraction/model.hpp"
#include "numerics/cycles.hpp"
#include "numerics/parallel.hpp"

namespace extraction {

using numerics::two_pi;
namespace {

// Rows per task of the exact residuals.
constexpr std::size_t rows_per_block = 4096;

bool same(std::span<const double> a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool any_free_frequency(const Layout& layout)
{
    for (std::size_t i = 0; i < layout.terms(); ++i)
        if (layout.frequency(i) != Layout::fixed) return true;
    return false;
}

// The baseline coefficients of parameters x, 3 per segment (empty without
// baselines).
std::vector<double> baseline_of(const Layout& layout, const Series& series, std::span<const double> x)
{
    std::vector<double> c;
    if (!series.baseline) return c;
    c.assign(3 * series.baseline->segments(), 0.0);
    for (const Layout::BaselineParameter& b : layout.baseline())
        c[3 * b.segment + static_cast<std::size_t>(b.power)] = x[b.index];
    return c;
}

// A term's part of J^T f in its frequency's parameter, n times d/df_i
// (n: its multiplier in a locked series, else 1).
double frequency_gradient(double n, const Wave& wave, const TermSums& s)
{
    return -n * two_pi * (wave.sine * s.tau_cosine - wave.cosine * s.tau_sine);
}

// J^T f from the sums of the residuals r against each term: f = -w r, so
// each entry is minus the product of its column with r.
void gradient_from(const Layout& layout, std::span<const Wave> waves, const Projection& r, std::span<double> g)
{
    for (const Layout::BaselineParameter& b : layout.baseline())
        g[b.index] = -r.baseline[3 * b.segment + static_cast<std::size_t>(b.power)];
    g[0] = -r.constant;
    for (std::size_t i = 0; i < layout.terms(); ++i)
        if (layout.frequency(i) != Layout::fixed) g[layout.frequency(i)] = 0.0;
    for (std::size_t i = 0; i < layout.terms(); ++i) {
        const TermSums& s = r.terms[i];
        g[layout.sine(i)] = -s.sine;
        g[layout.cosine(i)] = -s.cosine;
        if (layout.frequency(i) != Layout::fixed)
            g[layout.frequency(i)] += frequency_gradient(layout.multiplier(i), waves[i], s);
    }
}

// The residual part of the Hessian of chi2 / 2, taken from h: only a
// term's own parameters have a second derivative together, and of those
// only its frequency's, d2m/df2 = -(2 pi tau)^2 (a sin + b cos),
// d2m/df da = 2 pi tau cos, d2m/df db = -2 pi tau sin.  A member of a
// locked series (f_i = n F) adds n^2 times the first and n times the
// others to F's entries: members share no amplitude, so there are no
// cross terms between them.
void take_curvature(const Layout& layout, std::span<const Wave> waves, const Projection& r, std::span<double> h)
{
    const std::size_t p = layout.size();
    for (std::size_t i = 0; i < layout.terms(); ++i) {
        const std::size_t f = layout.frequency(i);
        if (f == Layout::fixed) continue;
        const double n = layout.multiplier(i);
        const TermSums& s = r.terms[i];
        const std::size_t a = layout.sine(i), b = layout.cosine(i);
        h[f * p + f] += n * n * two_pi * two_pi * (waves[i].sine * s.tau2_sine + waves[i].cosine * s.tau2_cosine);
        h[f * p + a] -= n * two_pi * s.tau_cosine;
        h[a * p + f] -= n * two_pi * s.tau_cosine;
        h[f * p + b] += n * two_pi * s.tau_sine;
        h[b * p + f] += n * two_pi * s.tau_sine;
    }
}

}  // namespace

// --- ExactObjective ---

ExactObjective::ExactObjective(const Series& series, const Layout& layout, const Model& fixed, int threads)
    : series_(series), layout_(layout), model_(fixed), threads_(threads)
{
}

void ExactObjective::at(std::span<const double> x)
{
    if (same(x, x_)) return;
    x_.assign(x.begin(), x.end());
    layout_.unpack(x, model_);
    const std::size_t n = series_.tau.size();
    residuals_.resize(n);
    const std::size_t blocks = (n + rows_per_block - 1) / rows_per_block;
    numerics::for_each_block(blocks, threads_, [&](std::size_t b) {
        const std::size_t first = b * rows_per_block;
        residuals(series_, model_, first, std::min(rows_per_block, n - first), residuals_.data() + first);
    });
    chi2_ = 0.0;
    for (double r : residuals_) chi2_ += r * r;
}

double ExactObjective::chi2(std::span<const double> x)
{
    at(x);
    return chi2_;
}

void ExactObjective::gradient(std::span<const double> x, std::span<double> g)
{
    at(x);
    normal_equations(series_, model_, layout_, residuals_.data(), nullptr, g.data(), threads_);
}

void ExactObjective::normal_matrix(std::span<const double> x, std::span<double> jtj)
{
    at(x);
    normal_equations(series_, model_, layout_, nullptr, jtj.data(), nullptr, threads_);
}

void ExactObjective::subtract_curvature(std::span<const double> x, std::span<double> h)
{
    if (!any_free_frequency(layout_)) return;
    at(x);
    const std::vector<Wave> waves = waves_of(layout_, x, model_);
    take_curvature(layout_, waves, project_model(series_, model_, waves, 2, {}, threads_), h);
}

// --- DirectObjective ---

DirectObjective::DirectObjective(const Series& series, const Layout& layout, const Model& fixed, PairTable& table,
                                 int threads, BaselineProducts* baseline)
    : series_(series), layout_(layout), fixed_(fixed), table_(table), threads_(threads), baseline_(baseline)
{
}

void DirectObjective::at(std::span<const double> x)
{
    if (same(x, x_)) return;
    x_.assign(x.begin(), x.end());
    waves_ = waves_of(layout_, x, fixed_);
    const Model model{x[0], {}, baseline_of(layout_, series_, x)};
    projection_ = project_model(series_, model, waves_, any_free_frequency(layout_) ? 2 : 0, {}, threads_);
}

double DirectObjective::chi2(std::span<const double> x)
{
    at(x);
    return projection_.chi2;
}

void DirectObjective::gradient(std::span<const double> x, std::span<double> g)
{
    at(x);
    gradient_from(layout_, waves_, projection_, g);
}

void DirectObjective::normal_matrix(std::span<const double> x, std::span<double> jtj)
{
    at(x);
    const std::vector<double> slots = slot_frequencies(waves_);
    table_.set(slots, threads_);
    const std::vector<Column> columns = fit_columns(layout_, waves_);
    gram(table_, columns, jtj.data(), threads_);
    if (!baseline_ || layout_.baseline().empty()) return;
    baseline_->set(slots, 1, 1, threads_);
    baseline_gram(*baseline_, layout_, columns, jtj.data());
}

void DirectObjective::subtract_curvature(std::span<const double> x, std::span<double> h)
{
    at(x);
    take_curvature(layout_, waves_, projection_, h);
}

// --- AddedObjective ---

AddedObjective::AddedObjective(const Series& series, const Layout& layout, std::span<const double> start,
                               const Model& fixed, std::size_t known_terms, const KnownResiduals& known,
                               PairTable& table, int threads, BaselineProducts* baseline)
    : series_(series), layout_(layout), fixed_(fixed), known_(known), table_(table), threads_(threads),
      baseline_(layout.baseline().empty() ? nullptr : baseline), start_(start.begin(), start.end()),
      known_terms_(known_terms)
{
    old_.push_back(0);
    old_sums_.push_back(known.projection.constant);
    for (std::size_t i = 0; i < known_terms; ++i) {
        old_.push_back(layout.sine(i));
        old_.push_back(layout.cosine(i));
        old_sums_.push_back(known.projection.terms[i].sine);
        old_sums_.push_back(known.projection.terms[i].cosine);
    }
    if (baseline_)
        for (const Layout::BaselineParameter& b : layout.baseline()) {
            old_.push_back(b.index);
            old_sums_.push_back(known.projection.baseline[3 * b.segment + static_cast<std::size_t>(b.power)]);
        }
    for (std::size_t i = known_terms; i < layout.terms(); ++i) {
        if (layout.owns_frequency(i)) added_.push_back(layout.frequency(i));
        added_.push_back(layout.sine(i));
        added_.push_back(layout.cosine(i));
    }
    // The products of the known model's columns, which no step changes.
    const std::vector<Wave> waves = waves_of(layout, start_, fixed);
    const std::vector<double> slots = slot_frequencies(waves);
    table_.set(slots, threads_);
    const std::vector<Column> columns = fit_columns(layout, waves);
    std::vector<Column> old_columns;
    for (std::size_t j : old_) old_columns.push_back(columns[j]);
    const std::size_t nold = old_.size();
    old_gram_.resize(nold * nold);
    gram(table_, old_columns, old_gram_.data(), threads_);
    if (!baseline_) return;
    // The known terms' products with the baselines (their frequencies stay).
    baseline_->set(std::span<const double>(slots).first(1 + known_terms), 1, 0, threads_);
    for (std::size_t j = 0; j < nold; ++j)
        for (std::size_t k = 0; k < nold; ++k)
            if (layout.baseline_at(old_[j]) || layout.baseline_at(old_[k]))
                old_gram_[j * nold + k] = column_product(table_, baseline_, layout, columns, old_[j], old_[k]);
}

double AddedObjective::old_product(std::size_t j, const Column& column) const
{
    const Layout::BaselineParameter* b = baseline_ ? layout_.baseline_at(old_[j]) : nullptr;
    return b ? baseline_->product(b->segment, b->power, column) : table_.product(columns_[old_[j]], column);
}

void AddedObjective::at(std::span<const double> x)
{
    if (same(x, x_)) return;
    x_.assign(x.begin(), x.end());
    waves_ = waves_of(layout_, x, fixed_);
    const std::vector<Wave>& waves = waves_;
    const std::span<const Wave> added_waves = std::span<const Wave>(waves).subspan(known_terms_);
    const Projection near = project(series_.tau, known_.values, series_.weights, 0.0, added_waves, 2, {}, threads_);
    const std::vector<double> slots = slot_frequencies(waves);
    table_.set(slots, threads_);
    columns_ = fit_columns(layout_, waves);
    if (baseline_) baseline_->set(slots, 1 + known_terms_, 2, threads_);

    const std::size_t nold = old_.size(), nadded = added_.size();
    std::vector<double> d(nold), gd(nold, 0.0);
    for (std::size_t j = 0; j < nold; ++j) d[j] = x[old_[j]] - start_[old_[j]];
    for (std::size_t j = 0; j < nold; ++j)
        for (std::size_t k = 0; k < nold; ++k) gd[j] += old_gram_[j * nold + k] * d[k];
    cross_.resize(nold * nadded);
    for (std::size_t j = 0; j < nold; ++j)
        for (std::size_t a = 0; a < nadded; ++a) cross_[j * nadded + a] = old_product(j, columns_[added_[a]]);

    // <c_j, n>, n the added terms, and <c_a, d> for each added column.
    std::vector<double> with_added(nold, 0.0), with_change(nadded, 0.0);
    for (std::size_t j = 0; j < nold; ++j)
        for (std::size_t a = 0; a < nadded; ++a) {
            const double c = cross_[j * nadded + a];
            with_change[a] += c * d[j];
            const bool linear = columns_[added_[a]].size() == 1 && columns_[added_[a]][0].power == 0;
            if (linear) with_added[j] += c * x[added_[a]];
        }
    double change_sums = 0.0, change_added = 0.0, quadratic = 0.0;
    for (std::size_t j = 0; j < nold; ++j) {
        change_sums += d[j] * old_sums_[j];
        change_added += d[j] * with_added[j];
        quadratic += d[j] * gd[j];
    }
    chi2_ = near.chi2 - 2.0 * (change_sums - change_added) + quadratic;

    g_.assign(layout_.size(), 0.0);
    for (std::size_t j = 0; j < nold; ++j) g_[old_[j]] = -old_sums_[j] + with_added[j] + gd[j];
    std::vector<double> near_gradient(layout_.size(), 0.0);
    for (std::size_t i = known_terms_; i < layout_.terms(); ++i) {
        const TermSums& s = near.terms[i - known_terms_];
        near_gradient[layout_.sine(i)] = -s.sine;
        near_gradient[layout_.cosine(i)] = -s.cosine;
        if (layout_.frequency(i) != Layout::fixed)
            near_gradient[layout_.frequency(i)] += frequency_gradient(layout_.multiplier(i), waves[i], s);
    }
    for (std::size_t a = 0; a < nadded; ++a) g_[added_[a]] = near_gradient[added_[a]] + with_change[a];

    // The residuals' sums against tau and tau^2 times each added term's
    // sine and cosine, for the curvature: those of r0 - n at the points,
    // less those of the change d, from the products of the columns.
    curvature_sums_.terms.assign(layout_.terms(), {});
    for (std::size_t i = known_terms_; i < layout_.terms(); ++i) {
        const auto slot = static_cast<std::uint32_t>(1 + i);
        auto with_change_of = [&](bool sine, std::uint8_t power) {
            const Column basis{{slot, sine, power, 1.0}};
            double sum = 0.0;
            for (std::size_t j = 0; j < nold; ++j) sum += d[j] * old_product(j, basis);
            return sum;
        };
        const TermSums& s = near.terms[i - known_terms_];
        TermSums& c = curvature_sums_.terms[i];
        if (layout_.frequency(i) == Layout::fixed) continue;
        c.tau_sine = s.tau_sine - with_change_of(true, 1);
        c.tau_cosine = s.tau_cosine - with_change_of(false, 1);
        c.tau2_sine = s.tau2_sine - with_change_of(true, 2);
        c.tau2_cosine = s.tau2_cosine - with_change_of(false, 2);
    }
}

double AddedObjective::chi2(std::span<const double> x)
{
    at(x);
    return chi2_;
}

void AddedObjective::gradient(std::span<const double> x, std::span<double> g)
{
    at(x);
    std::copy(g_.begin(), g_.end(), g.begin());
}

void AddedObjective::subtract_curvature(std::span<const double> x, std::span<double> h)
{
    at(x);
    take_curvature(layout_, waves_, curvature_sums_, h);
}

void AddedObjective::normal_matrix(std::span<const double> x, std::span<double> jtj)
{
    at(x);
    const std::size_t p = layout_.size(), nold = old_.size(), nadded = added_.size();
    for (std::size_t j = 0; j < nold; ++j)
        for (std::size_t k = 0; k < nold; ++k) jtj[old_[j] * p + old_[k]] = old_gram_[j * nold + k];
    for (std::size_t j = 0; j < nold; ++j)
        for (std::size_t a = 0; a < nadded; ++a) {
            jtj[old_[j] * p + added_[a]] = cross_[j * nadded + a];
            jtj[added_[a] * p + old_[j]] = cross_[j * nadded + a];
        }
    for (std::size_t a = 0; a < nadded; ++a)
        for (std::size_t b = 0; b <= a; ++b) {
            const double v = table_.product(columns_[added_[a]], columns_[added_[b]]);
            jtj[added_[a] * p + added_[b]] = v;
            jtj[added_[b] * p + added_[a]] = v;
        }
}

}  // namespace extraction
