// What the program's two pictures share in laying out a page: panels in
// fractions of the page, the range of what a panel shows, numbers as text.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <span>
#include <string>
#include <utility>

namespace prewhiten::page {

// A panel's place on the page, in fractions of its width (x) and height (y).
struct Box {
    float left, right, bottom, top;
};

// The lowest and highest of the values added; non-finite values and those
// beyond 1e30 (a failed fit's) are left out.
struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void add(double v)
    {
        if (!std::isfinite(v) || std::fabs(v) > 1e30) return;
        low = std::min(low, v);
        high = std::max(high, v);
    }
    void add(std::span<const float> v)
    {
        for (float x : v) add(static_cast<double>(x));
    }
    void add(std::span<const double> v)
    {
        for (double x : v) add(x);
    }
    bool empty() const { return !(low <= high); }
};

// Lowest and highest with a margin of `margin` times the width either
// side; a single value gets a unit-wide range, an empty range [0, 1].
inline std::pair<float, float> padded(const Range& range, double margin)
{
    if (range.empty()) return {0.0f, 1.0f};
    double width = range.high - range.low;
    if (!(width > 0.0)) width = std::max(1.0, std::fabs(range.low) * 1e-3) / (2.0 * margin);
    return {static_cast<float>(range.low - margin * width), static_cast<float>(range.high + margin * width)};
}

// A number in a printf format, for axis labels and titles.
inline std::string number_text(double x, const char* format)
{
    char t[48];
    std::snprintf(t, sizeof t, format, x);
    return t;
}

}  // namespace prewhiten::page
