#include "numerics/median.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace numerics {

double median(std::vector<double> values)
{
    const std::size_t n = values.size();
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(values.begin(), middle, values.end());
    const double upper = *middle;
    if (n % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), middle);
    const double half_difference = (upper - lower) / 2;
    // Two middle values of opposite signs near the largest double: their
    // difference overflows, their halves do not.
    if (!std::isfinite(half_difference)) return lower / 2 + upper / 2;
    return lower + half_difference;
}

double median_step(std::span<const double> sorted_times)
{
    std::vector<double> steps;
    steps.reserve(sorted_times.size());
    for (std::size_t i = 1; i < sorted_times.size(); ++i)
        if (sorted_times[i] > sorted_times[i - 1]) steps.push_back(sorted_times[i] - sorted_times[i - 1]);
    return steps.empty() ? 0.0 : median(std::move(steps));
}

}  // namespace numerics
