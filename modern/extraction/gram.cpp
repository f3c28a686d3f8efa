#include "gram.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "extraction/model.hpp"
#include "numerics/cycles.hpp"
#include "numerics/parallel.hpp"

namespace extraction {

using numerics::two_pi;
namespace {

// Pairs per task when the table is filled, rows per task of the matrix.
constexpr std::size_t pairs_per_block = 256;
constexpr std::size_t rows_per_block = 16;

}  // namespace

void PairTable::set(std::span<const double> frequencies, int threads)
{
    const std::size_t kept = std::min(frequency_.size(), frequencies.size());
    std::vector<char> changed(frequencies.size(), 1);
    for (std::size_t a = 0; a < kept; ++a) changed[a] = frequency_[a] != frequencies[a];
    frequency_.assign(frequencies.begin(), frequencies.end());
    const std::size_t slots = frequency_.size();
    pairs_.resize(slots * (slots + 1) / 2);

    std::vector<std::pair<std::size_t, std::size_t>> todo;
    for (std::size_t b = 0; b < slots; ++b)
        for (std::size_t a = 0; a <= b; ++a)
            if (changed[a] || changed[b]) todo.emplace_back(a, b);
    const std::size_t blocks = (todo.size() + pairs_per_block - 1) / pairs_per_block;
    numerics::for_each_block(blocks, threads, [&](std::size_t block) {
        const std::size_t end = std::min(todo.size(), (block + 1) * pairs_per_block);
        for (std::size_t t = block * pairs_per_block; t < end; ++t) {
            const auto [a, b] = todo[t];
            Pair& p = pairs_[index(a, b)];
            p.minus = a == b ? sums_.at(0.0) : sums_.at(frequency_[a] - frequency_[b]);
            p.plus = sums_.at(frequency_[a] + frequency_[b]);
        }
    });
}

double PairTable::product(const Basis& u, const Basis& v) const
{
    const std::size_t k = static_cast<std::size_t>(u.power + v.power);
    std::complex<double> minus, plus;  // S_k at f_u - f_v and f_u + f_v
    if (u.slot <= v.slot) {
        const Pair& p = pairs_[index(u.slot, v.slot)];
        minus = p.minus.s[k];
        plus = p.plus.s[k];
    } else {
        const Pair& p = pairs_[index(v.slot, u.slot)];
        minus = std::conj(p.minus.s[k]);
        plus = p.plus.s[k];
    }
    double sum = 0.0;
    if (!u.sine && !v.sine) sum = minus.real() + plus.real();
    else if (u.sine && v.sine) sum = minus.real() - plus.real();
    else if (u.sine) sum = plus.imag() + minus.imag();
    else sum = plus.imag() - minus.imag();
    return 0.5 * sum * u.coefficient * v.coefficient;
}

double PairTable::product(const Column& a, const Column& b) const
{
    double sum = 0.0;
    for (const Basis& u : a)
        for (const Basis& v : b) sum += product(u, v);
    return sum;
}

std::size_t PairTable::bytes(std::size_t slots)
{
    const double pairs = 0.5 * static_cast<double>(slots) * static_cast<double>(slots + 1);
    const double total = pairs * static_cast<double>(sizeof(Pair) + 2 * sizeof(std::size_t));
    return total >= 0x1p63 ? static_cast<std::size_t>(-1) : static_cast<std::size_t>(total);
}

std::vector<double> slot_frequencies(std::span<const Wave> waves)
{
    std::vector<double> f(1 + waves.size(), 0.0);
    for (std::size_t i = 0; i < waves.size(); ++i) f[1 + i] = waves[i].frequency;
    return f;
}

std::vector<Column> fit_columns(const Layout& layout, std::span<const Wave> waves)
{
    std::vector<Column> columns(layout.size());
    columns[0] = {{0, false, 0, 1.0}};
    for (std::size_t i = 0; i < layout.terms(); ++i) {
        const auto slot = static_cast<std::uint32_t>(1 + i);
        columns[layout.sine(i)] = {{slot, true, 0, 1.0}};
        columns[layout.cosine(i)] = {{slot, false, 0, 1.0}};
        // A frequency shared by a locked series is the sum of its
        // members' derivatives, each times its n.
        if (layout.frequency(i) != Layout::fixed) {
            const double n = layout.multiplier(i);
            Column& column = columns[layout.frequency(i)];
            column.push_back({slot, false, 1, n * two_pi * waves[i].sine});
            column.push_back({slot, true, 1, -n * two_pi * waves[i].cosine});
        }
    }
    return columns;
}

void gram(const PairTable& table, std::span<const Column> columns, double* out, int threads)
{
    const std::size_t p = columns.size();
    const std::size_t blocks = (p + rows_per_block - 1) / rows_per_block;
    numerics::for_each_block(blocks, threads, [&](std::size_t block) {
        const std::size_t end = std::min(p, (block + 1) * rows_per_block);
        for (std::size_t r = block * rows_per_block; r < end; ++r)
            for (std::size_t c = 0; c <= r; ++c) out[r * p + c] = table.product(columns[r], columns[c]);
    });
    for (std::size_t r = 0; r < p; ++r)
        for (std::size_t c = r + 1; c < p; ++c) out[r * p + c] = out[c * p + r];
}

std::vector<Wave> waves_of(const Layout& layout, std::span<const double> x, const Model& model)
{
    std::vector<Wave> waves(layout.terms());
    for (std::size_t i = 0; i < layout.terms(); ++i) {
        waves[i].frequency =
            layout.frequency(i) == Layout::fixed ? model.terms[i].frequency : layout.frequency_at(i, x);
        waves[i].sine = x[layout.sine(i)];
        waves[i].cosine = x[layout.cosine(i)];
    }
    return waves;
}

std::vector<Wave> waves_of(const Model& model)
{
    std::vector<Wave> waves;
    for (const Sinusoid& term : model.terms) {
        const double angle = two_pi * term.phase;
        waves.push_back({term.frequency, term.amplitude * std::cos(angle), term.amplitude * std::sin(angle)});
    }
    return waves;
}

}  // namespace extraction
