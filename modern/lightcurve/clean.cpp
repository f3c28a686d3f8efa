// Sorting, unit conversion and joining of light curves.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

#include "lightcurve/lightcurve.hpp"
#include "numerics/median.hpp"

namespace lightcurve {

namespace {

std::vector<double> permuted(const std::vector<double>& x, const std::vector<std::size_t>& order)
{
    std::vector<double> y(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) y[i] = x[order[i]];
    return y;
}

std::vector<std::uint32_t> permuted(const std::vector<std::uint32_t>& x, const std::vector<std::size_t>& order)
{
    std::vector<std::uint32_t> y(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) y[i] = x[order[i]];
    return y;
}

std::string number_text(double x)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", x);
    return text;
}

}  // namespace

double time_span(const std::vector<double>& sorted_times)
{
    return sorted_times.size() < 2 ? 0.0 : sorted_times.back() - sorted_times.front();
}

void sort_by_time(LightCurve& curve)
{
    if (std::is_sorted(curve.times.begin(), curve.times.end())) return;
    std::vector<std::size_t> order(curve.times.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return curve.times[a] < curve.times[b]; });
    curve.times = permuted(curve.times, order);
    curve.values = permuted(curve.values, order);
    if (curve.has_errors) curve.errors = permuted(curve.errors, order);
    if (!curve.source_index.empty()) curve.source_index = permuted(curve.source_index, order);
}

// The value or error of the largest magnitude, in the unit it is converted
// to (computed in long double, where no conversion of a double overflows).
long double largest_converted(const std::vector<double>& x, Unit unit, double m, bool error)
{
    long double largest = 0;
    for (double v : x) {
        long double y = v;
        if (unit == Unit::flux) y = error ? y / m * 1000 : (y / m - 1) * 1000;
        if (unit == Unit::mag) y = error ? y * 1000 : (y - m) * 1000;
        largest = std::max(largest, std::fabs(y));
    }
    return largest;
}

// Values and errors beyond largest_value in the unit of the run: Error
// that names the range.
void check_range(const LightCurve& curve, Unit unit, double m)
{
    const long double value = largest_converted(curve.values, unit, m, false);
    const long double error = largest_converted(curve.errors, unit, m, true);
    if (value <= largest_value && error <= largest_value) return;
    const std::string file = curve.sources.empty() ? "light curve" : curve.sources.front().file;
    char size[32];
    std::snprintf(size, sizeof size, "%.3Lg", std::max(value, error));
    std::string text = std::string(value > largest_value ? "a value" : "an error") + " reaches " + size +
                       ", beyond +-1e300, the largest the analysis takes";
    if (unit != Unit::none) text = std::string("in ") + unit_name(unit) + " " + text;
    throw Error(file + ": " + text);
}

void convert(LightCurve& curve, Unit unit)
{
    curve.unit = unit;
    if (curve.values.empty()) return;
    const double m = unit == Unit::none ? 0.0 : numerics::median(curve.values);
    if (unit == Unit::flux && !(m > 0)) {
        const std::string file = curve.sources.empty() ? "light curve" : curve.sources.front().file;
        throw Error(file + ": the median flux is " + number_text(m) +
                    ", not positive: values cannot be taken relative to it");
    }
    check_range(curve, unit, m);
    if (unit == Unit::flux) {
        // Parts per thousand of the median: (x / m - 1) * 1000.
        for (double& x : curve.values) x = (x / m - 1.0) * 1000.0;
        for (double& e : curve.errors) e = e / m * 1000.0;
    } else if (unit == Unit::mag) {
        // Millimagnitudes from the median: (x - m) * 1000.
        for (double& x : curve.values) x = (x - m) * 1000.0;
        for (double& e : curve.errors) e = e * 1000.0;
    }
}

LightCurve join(std::vector<LightCurve> parts, Unit unit)
{
    LightCurve whole;
    whole.unit = unit;
    whole.has_errors = !parts.empty();
    for (const LightCurve& part : parts) whole.has_errors = whole.has_errors && part.has_errors;
    for (LightCurve& part : parts) {
        convert(part, unit);
        const double m = part.values.empty() ? 0.0 : numerics::median(part.values);
        for (double x : part.values) whole.values.push_back(x - m);
        whole.times.insert(whole.times.end(), part.times.begin(), part.times.end());
        if (whole.has_errors) whole.errors.insert(whole.errors.end(), part.errors.begin(), part.errors.end());
        const auto first_source = static_cast<std::uint32_t>(whole.sources.size());
        for (std::size_t k = 0; k < part.times.size(); ++k)
            whole.source_index.push_back(first_source + (part.source_index.empty() ? 0 : part.source_index[k]));
        whole.sources.insert(whole.sources.end(), part.sources.begin(), part.sources.end());
    }
    sort_by_time(whole);
    return whole;
}

}  // namespace lightcurve
