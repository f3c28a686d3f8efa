#include "extraction/combinations.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
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

// A value n f_i + m f_j (m = 0 for a harmonic) that matches f_k, and how
// simple an explanation it is.
struct Explanation {
    int n = 0, m = 0;
    std::size_t i = 0, j = 0;
    double distance = 0.0;  // |f_k - value|, c/d
    double share = 0.0;     // distance over what the match was allowed

    bool harmonic() const { return m == 0; }
    int order() const { return std::abs(n) + std::abs(m); }
    bool simpler_than(const Explanation& other) const
    {
        if (harmonic() != other.harmonic()) return harmonic();
        if (order() != other.order()) return order() < other.order();
        return share < other.share;  // further ties: the first found (lower ids) stays
    }
};

// The standard error of a frequency, or -1 when it is not known.
double known_error(std::span<const double> errors, std::size_t index)
{
    if (errors.empty()) return -1.0;
    const double e = errors[index];
    return std::isfinite(e) && e >= 0.0 ? e : -1.0;
}

std::string label_text(const Explanation& e)
{
    Match match;
    match.n = e.n;
    match.m = e.m;
    match.i = e.i;
    match.j = e.j;
    return label(match);
}

// The simplest explanation found so far.
struct Search {
    bool found = false;
    Explanation best;
};

class Labeller {
public:
    Labeller(std::span<const double> frequencies, std::span<const double> errors, const LabelSettings& settings)
        : f_(frequencies), errors_(errors), settings_(settings)
    {
    }

    // The label of frequency k against the parents so far; an empty text
    // when nothing matches.  Combinations are tried only when no harmonic
    // matches, since any harmonic is the simpler explanation.
    Label label_of(std::size_t k) const
    {
        Search search;
        for (std::size_t i : parents_) try_harmonic(k, i, search);
        if (!search.found)
            for (std::size_t x = 0; x < parents_.size(); ++x)
                for (std::size_t y = x + 1; y < parents_.size(); ++y)
                    for (int n = 1; n <= 2; ++n)
                        for (int m : {-2, -1, 1, 2}) try_combination(k, n, parents_[x], m, parents_[y], search);
        if (!search.found) return {};
        const double values = search.best.harmonic() ? harmonic_values_ : combination_values_;
        // The value matched counts even when it lies just outside the range.
        return {label_text(search.best), chance_match_probability(search.best.distance, std::max(values, 1.0),
                                                                  settings_.fmax - settings_.fmin)};
    }

    // Frequency k is independent: a parent of the weaker ones.
    void add_parent(std::size_t k)
    {
        harmonic_values_ += harmonics_in_range(f_[k]);
        for (std::size_t q : parents_)
            for (int n = 1; n <= 2; ++n)
                for (int m : {-2, -1, 1, 2})
                    if (in_range(std::fabs(n * f_[q] + m * f_[k]))) combination_values_ += 1.0;
        parents_.insert(std::upper_bound(parents_.begin(), parents_.end(), k), k);
    }

private:
    bool in_range(double v) const { return v >= settings_.fmin && v <= settings_.fmax; }

    // The number of n >= 2 with n f in [fmin, fmax].
    double harmonics_in_range(double f) const
    {
        if (!(f > 0.0)) return 0.0;
        const double lowest = std::max(2.0, std::ceil(settings_.fmin / f));
        const double highest = std::floor(settings_.fmax / f);
        return std::max(0.0, highest - lowest + 1.0);
    }

    void try_harmonic(std::size_t k, std::size_t i, Search& search) const
    {
        if (!(f_[i] > 0.0)) return;
        const double n = std::round(f_[k] / f_[i]);
        // Orders beyond an int (parents far below the grid) explain nothing.
        if (!(n >= 2.0) || n > std::numeric_limits<int>::max() || n * f_[i] > settings_.fmax + settings_.resolution)
            return;
        consider(k, n * f_[i], static_cast<int>(n), i, 0, i, search);
    }

    void try_combination(std::size_t k, int n, std::size_t i, int m, std::size_t j, Search& search) const
    {
        double value = n * f_[i] + m * f_[j];
        // A negative value is the same combination with both signs turned.
        if (value < 0.0) {
            value = -value;
            n = -n;
            m = -m;
        }
        consider(k, value, n, i, m, j, search);
    }

    // The match of f_k with a value: within the resolution, and within 3
    // combined standard errors where they are known.
    void consider(std::size_t k, double value, int n, std::size_t i, int m, std::size_t j, Search& search) const
    {
        const double distance = std::fabs(f_[k] - value);
        double allowed = settings_.resolution;
        const double ek = known_error(errors_, k), ei = known_error(errors_, i), ej = known_error(errors_, j);
        if (ek >= 0.0 && ei >= 0.0 && (m == 0 || ej >= 0.0)) {
            const double dn = n, dm = m;
            const double combined = std::sqrt(ek * ek + dn * dn * ei * ei + (m == 0 ? 0.0 : dm * dm * ej * ej));
            allowed = std::min(allowed, 3.0 * combined);
        }
        if (!(distance <= allowed)) return;
        const Explanation candidate{n, m, i, j, distance, allowed > 0.0 ? distance / allowed : 0.0};
        if (!search.found || candidate.simpler_than(search.best)) search = {true, candidate};
    }

    std::span<const double> f_, errors_;
    LabelSettings settings_;
    std::vector<std::size_t> parents_;  // unlabelled and stronger, in id order
    double harmonic_values_ = 0.0, combination_values_ = 0.0;  // within [fmin, fmax]
};

}  // namespace

std::string shown_label(const Label& label) { return label.possible() ? label.text + "?" : label.text; }

double chance_match_probability(double distance, double values, double width)
{
    const double share = 2.0 * distance / width;
    if (!(share < 1.0)) return 1.0;
    return -std::expm1(values * std::log1p(-share));
}

std::vector<Label> frequency_labels(std::span<const double> frequencies, std::span<const double> errors,
                                    std::span<const double> amplitudes, const LabelSettings& settings)
{
    const std::size_t count = frequencies.size();
    if (amplitudes.size() != count || (!errors.empty() && errors.size() != count))
        throw std::invalid_argument("labels: the amplitudes or errors differ in number from the frequencies");
    if (!(settings.fmin < settings.fmax) || !std::isfinite(settings.fmin) || !std::isfinite(settings.fmax))
        throw std::invalid_argument("labels: the range of frequencies is not fmin < fmax");
    if (!(settings.resolution >= 0.0) || !std::isfinite(settings.resolution))
        throw std::invalid_argument("labels: the resolution is not a number of c/d, at least 0");
    // Strongest first; an amplitude that is not a number last, so that the
    // order stays a strict one.
    auto strength = [&](std::size_t k) { return std::isnan(amplitudes[k]) ? -INFINITY : amplitudes[k]; };
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return strength(a) > strength(b); });

    std::vector<Label> labels(count);
    Labeller labeller(frequencies, errors, settings);
    for (std::size_t k : order) {
        labels[k] = labeller.label_of(k);
        if (labels[k].text.empty()) labeller.add_parent(k);
    }
    return labels;
}

}  // namespace extraction
