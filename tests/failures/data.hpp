// Small input files for the failure tables.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace failures {

// A light curve: a header line, then n observations of a sine of
// frequency 1.2345 c/d plus a second term, unevenly spaced, starting at
// time t0; with `errors` a third column of errors.
inline std::string light_curve(int n, bool errors = false, double t0 = 10.0,
                               const std::string& header = "V band, test star")
{
    std::string text = header + "\n";
    char line[96];
    for (int i = 0; i < n; ++i) {
        const double t = t0 + 0.073 * i + 0.011 * std::sin(3.1 * i);
        const double x = 7.5 + 0.12 * std::sin(6.28318530717959 * 1.2345 * t) + 0.03 * std::cos(2.1 * i);
        if (errors)
            std::snprintf(line, sizeof line, "%.5f %.5f %.4f\n", t, x, 0.01 + 0.001 * (i % 7));
        else
            std::snprintf(line, sizeof line, "%.5f %.5f\n", t, x);
        text += line;
    }
    return text;
}

// The lines of a text, joined with line ends.
inline std::string lines(std::initializer_list<const char*> all)
{
    std::string text;
    for (const char* l : all) text += std::string(l) + "\n";
    return text;
}

}  // namespace failures
