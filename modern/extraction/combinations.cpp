#include "combinations.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

namespace extraction {
namespace {

// n f_i + m f_j (m = 0 for a harmonic n f_i), and how far it lies from the
// frequency being labelled.
struct Match {
    double distance = 0.0;
    int n = 0, m = 0;
    std::size_t i = 0, j = 0;

    bool harmonic() const { return m == 0; }
    int order() const { return std::abs(n) + std::abs(m); }
    bool better_than(const Match& other) const
    {
        if (distance != other.distance) return distance < other.distance;
        if (harmonic() != other.harmonic()) return harmonic();
        return order() < other.order();  // further ties: the first found (lower ids) stays
    }
};

std::string term(int coefficient, std::size_t index)
{
    std::string out;
    if (std::abs(coefficient) != 1) out += std::to_string(std::abs(coefficient));
    out += 'f';
    out += std::to_string(index + 1);
    return out;
}

// The label, with the positive term first.
std::string label(Match match)
{
    if (match.harmonic()) return term(match.n, match.i);
    if (match.n < 0) {
        std::swap(match.n, match.m);
        std::swap(match.i, match.j);
    }
    return term(match.n, match.i) + (match.m > 0 ? "+" : "-") + term(match.m, match.j);
}

}  // namespace

std::vector<std::string> combination_labels(std::span<const double> frequencies, std::span<const double> amplitudes,
                                            double resolution)
{
    const std::size_t count = std::min(frequencies.size(), amplitudes.size());
    std::vector<std::string> labels(count);
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return amplitudes[a] > amplitudes[b]; });

    std::vector<std::size_t> parents;  // unlabelled and stronger, in id order
    for (std::size_t k : order) {
        const double f = frequencies[k];
        Match best;
        bool found = false;
        auto consider = [&](double value, int n, std::size_t i, int m, std::size_t j) {
            // A negative value is the same combination with both signs turned.
            if (value < 0.0) {
                value = -value;
                n = -n;
                m = -m;
            }
            const Match candidate{std::fabs(f - value), n, m, i, j};
            if (candidate.distance > resolution) return;
            if (!found || candidate.better_than(best)) {
                best = candidate;
                found = true;
            }
        };
        for (std::size_t i : parents)
            for (int n = 2; n <= 5; ++n) consider(n * frequencies[i], n, i, 0, i);
        for (std::size_t x = 0; x < parents.size(); ++x)
            for (std::size_t y = x + 1; y < parents.size(); ++y) {
                const std::size_t i = parents[x], j = parents[y];
                for (int n = 1; n <= 2; ++n)
                    for (int m : {-2, -1, 1, 2}) consider(n * frequencies[i] + m * frequencies[j], n, i, m, j);
            }
        if (found)
            labels[k] = label(best);
        else
            parents.insert(std::upper_bound(parents.begin(), parents.end(), k), k);
    }
    return labels;
}

}  // namespace extraction
