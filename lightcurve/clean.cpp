// Sorting, unit conversion and joining of light curves.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

#include "lightcurve/lightcurve.hpp"

namespace lightcurve {

namespace {

std::vector<double> permuted(const std::vector<double>& x, const std::vector<std::size_t>& order)
{
    std::vector<double> y(order.size());
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

double median(std::vector<double> values)
{
    const std::size_t n = values.size();
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(values.begin(), middle, values.end());
    const double upper = *middle;
    if (n % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), middle);
    return lower + (upper - lower) / 2;
}

double time_span(const std::vector<double>& sorted_times)
{
    return sorted_times.size() < 2 ? 0.0 : sorted_times.back() - sorted_times.front();
}

double median_step(const std::vector<double>& sorted_times)
{
    std::vector<double> steps;
    steps.reserve(sorted_times.size());
    for (std::size_t i = 1; i < sorted_times.size(); ++i)
        if (sorted_times[i] > sorted_times[i - 1]) steps.push_back(sorted_times[i] - sorted_times[i - 1]);
    return steps.empty() ? 0.0 : median(std::move(steps));
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
}

void convert(LightCurve& curve, Unit unit)
{
    curve.unit = unit;
    if (unit == Unit::none || curve.values.empty()) return;
    const double m = median(curve.values);
    if (unit == Unit::flux) {
        if (!(m > 0)) {
            const std::string file = curve.sources.empty() ? "light curve" : curve.sources.front().file;
            throw Error(file + ": the median flux is " + number_text(m) +
                        ", not positive: values cannot be taken relative to it");
        }
        // Parts per thousand of the median: (x / m - 1) * 1000.
        for (double& x : curve.values) x = (x / m - 1.0) * 1000.0;
        for (double& e : curve.errors) e = e / m * 1000.0;
    } else {
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
        const double m = part.values.empty() ? 0.0 : median(part.values);
        for (double x : part.values) whole.values.push_back(x - m);
        whole.times.insert(whole.times.end(), part.times.begin(), part.times.end());
        if (whole.has_errors) whole.errors.insert(whole.errors.end(), part.errors.begin(), part.errors.end());
        whole.sources.insert(whole.sources.end(), part.sources.begin(), part.sources.end());
    }
    sort_by_time(whole);
    return whole;
}

}  // namespace lightcurve
