#include "baseline_sums.hpp"

#include <algorithm>
#include <array>

#include "numerics/cycles.hpp"
#include "numerics/parallel.hpp"

namespace extraction {
namespace {

// Points per evaluation of the sines and cosines.
constexpr std::size_t block_points = 256;

double weight2(std::span<const double> weights, std::size_t k)
{
    return weights.empty() ? 1.0 : weights[k] * weights[k];
}

}  // namespace

BaselineProducts::BaselineProducts(const BaselineBasis& basis, std::span<const double> tau,
                                   std::span<const double> weights)
    : basis_(basis), tau_(tau), weights_(weights), moments_(5 * basis.segments(), 0.0)
{
    for (std::size_t k = 0; k < basis.x.size(); ++k) {
        double* m = moments_.data() + 5 * basis.of_point[k];
        double v = weight2(weights, k);
        for (int i = 0; i < 5; ++i, v *= basis.x[k]) m[i] += v;
    }
    slots_.push_back({0.0, 2, slot_sums(0.0, 2)});
}

namespace {

// The sums of one run of points of one segment, added to out: x^p tau^q
// w^2 times the sine and cosine, p < P (the segment's powers), q <= Q.
template <int P, int Q>
void add_run(const double* x, const double* tau, std::span<const double> weights, std::size_t first, const double* s,
             const double* c, std::size_t count, double (&sine)[3][3], double (&cosine)[3][3])
{
    double as[P][Q + 1] = {}, ac[P][Q + 1] = {};
    for (std::size_t k = 0; k < count; ++k) {
        double v0 = weight2(weights, first + k);
        for (int p = 0; p < P; ++p, v0 *= x[k]) {
            double v = v0;
            for (int q = 0; q <= Q; ++q, v *= tau[k]) {
                as[p][q] += v * s[k];
                ac[p][q] += v * c[k];
            }
        }
    }
    for (int p = 0; p < P; ++p)
        for (int q = 0; q <= Q; ++q) {
            sine[p][q] += as[p][q];
            cosine[p][q] += ac[p][q];
        }
}

template <int P>
void add_run_powers(int powers, const double* x, const double* tau, std::span<const double> weights,
                    std::size_t first, const double* s, const double* c, std::size_t count, double (&sine)[3][3],
                    double (&cosine)[3][3])
{
    if (powers <= 0) add_run<P, 0>(x, tau, weights, first, s, c, count, sine, cosine);
    else if (powers == 1) add_run<P, 1>(x, tau, weights, first, s, c, count, sine, cosine);
    else add_run<P, 2>(x, tau, weights, first, s, c, count, sine, cosine);
}

}  // namespace

std::vector<BaselineProducts::Sums> BaselineProducts::slot_sums(double frequency, int powers) const
{
    std::vector<Sums> sums(basis_.segments());
    std::array<double, block_points> arg, s, c;
    const std::size_t n = basis_.x.size();
    for (std::size_t k0 = 0; k0 < n; k0 += block_points) {
        const std::size_t m = std::min(block_points, n - k0);
        for (std::size_t k = 0; k < m; ++k) arg[k] = frequency * tau_[k0 + k];
        numerics::sincos_cycles(arg.data(), s.data(), c.data(), m);
        // Runs of points of one segment (the whole block, when the points
        // are in time order and no segment begins within it).
        for (std::size_t k = 0; k < m;) {
            const std::size_t segment = basis_.of_point[k0 + k];
            std::size_t end = k + 1;
            while (end < m && basis_.of_point[k0 + end] == segment) ++end;
            Sums& out = sums[segment];
            const double* x = basis_.x.data() + k0 + k;
            const double* t = tau_.data() + k0 + k;
            const double* sk = s.data() + k;
            const double* ck = c.data() + k;
            switch (basis_.powers[segment]) {
            case 0: break;
            case 1: add_run_powers<1>(powers, x, t, weights_, k0 + k, sk, ck, end - k, out.sine, out.cosine); break;
            case 2: add_run_powers<2>(powers, x, t, weights_, k0 + k, sk, ck, end - k, out.sine, out.cosine); break;
            default: add_run_powers<3>(powers, x, t, weights_, k0 + k, sk, ck, end - k, out.sine, out.cosine); break;
            }
            k = end;
        }
    }
    return sums;
}

void BaselineProducts::set(std::span<const double> frequencies, std::size_t first, int powers, int threads)
{
    first = std::max<std::size_t>(first, 1);
    slots_.resize(std::max<std::size_t>(frequencies.size(), 1));
    std::vector<std::size_t> todo;
    for (std::size_t j = first; j < frequencies.size(); ++j)
        if (slots_[j].powers < powers || slots_[j].frequency != frequencies[j]) todo.push_back(j);
    numerics::for_each_block(todo.size(), threads, [&](std::size_t i) {
        Slot& slot = slots_[todo[i]];
        slot.frequency = frequencies[todo[i]];
        slot.powers = std::max(powers, 0);
        slot.sums = slot_sums(slot.frequency, slot.powers);
    });
}

double BaselineProducts::product(std::size_t segment, int power, const Basis& v) const
{
    const Sums& s = slots_[v.slot].sums[segment];
    const std::size_t p = static_cast<std::size_t>(power), q = v.power;
    return v.coefficient * (v.sine ? s.sine[p][q] : s.cosine[p][q]);
}

double BaselineProducts::product(std::size_t segment, int power, const Column& c) const
{
    double sum = 0.0;
    for (const Basis& v : c) sum += product(segment, power, v);
    return sum;
}

double BaselineProducts::product(std::size_t segment, int power, std::size_t segment2, int power2) const
{
    return segment == segment2 ? moments_[5 * segment + static_cast<std::size_t>(power + power2)] : 0.0;
}

double column_product(const PairTable& table, const BaselineProducts* baseline, const Layout& layout,
                      std::span<const Column> columns, std::size_t u, std::size_t v)
{
    const Layout::BaselineParameter* a = baseline ? layout.baseline_at(u) : nullptr;
    const Layout::BaselineParameter* b = baseline ? layout.baseline_at(v) : nullptr;
    if (a && b) return baseline->product(a->segment, a->power, b->segment, b->power);
    if (a) return baseline->product(a->segment, a->power, columns[v]);
    if (b) return baseline->product(b->segment, b->power, columns[u]);
    return table.product(columns[u], columns[v]);
}

void baseline_gram(const BaselineProducts& baseline, const Layout& layout, std::span<const Column> columns,
                   double* out)
{
    const std::size_t p = layout.size();
    for (const Layout::BaselineParameter& a : layout.baseline())
        for (std::size_t v = 0; v < p; ++v) {
            const Layout::BaselineParameter* b = layout.baseline_at(v);
            const double value = b ? baseline.product(a.segment, a.power, b->segment, b->power)
                                   : baseline.product(a.segment, a.power, columns[v]);
            out[a.index * p + v] = value;
            out[v * p + a.index] = value;
        }
}

std::vector<double> baseline_values(const BaselineBasis& basis, std::span<const double> c)
{
    std::vector<double> out(basis.x.size(), 0.0);
    if (c.size() != 3 * basis.segments()) return out;
    for (std::size_t k = 0; k < out.size(); ++k) out[k] = basis.at(c, k);
    return out;
}

std::vector<double> baseline_residual_sums(const BaselineBasis& basis, std::span<const double> weights,
                                           std::span<const double> r)
{
    std::vector<double> sums(3 * basis.segments(), 0.0);
    for (std::size_t k = 0; k < r.size(); ++k) {
        double* s = sums.data() + 3 * basis.of_point[k];
        double v = weight2(weights, k) * r[k];
        for (int p = 0; p < 3; ++p, v *= basis.x[k]) s[p] += v;
    }
    return sums;
}

Projection project_model(const Series& series, const Model& model, std::span<const Wave> waves, int powers,
                         std::span<double> residuals, int threads)
{
    if (!series.baseline)
        return project(series.tau, series.values, series.weights, model.constant, waves, powers, residuals, threads);
    const BaselineBasis& basis = *series.baseline;
    std::vector<double> base = baseline_values(basis, model.baseline);
    for (std::size_t k = 0; k < base.size(); ++k) base[k] = series.values[k] - base[k];
    std::vector<double> own;
    if (residuals.empty()) {
        own.resize(base.size());
        residuals = own;
    }
    Projection out = project(series.tau, base, series.weights, model.constant, waves, powers, residuals, threads);
    out.baseline = baseline_residual_sums(basis, series.weights, residuals);
    return out;
}

}  // namespace extraction
