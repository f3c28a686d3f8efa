// What periodscan writes for a Scargle search, row by row as read back from
// its text: times from the first observation, values centred by their
// statistics, the power turned into an amplitude, each row through the
// format engine and so rounded to its eighth decimal.
#pragma once

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/format.hpp"
#include "periodscan/periodscan.hpp"
#include "timeseries/timeseries.hpp"

namespace spectrum_test {

// One row of the output file: frequency and amplitude as printed.
struct Row {
    double frequency = 0.0;
    double amplitude = 0.0;
};

inline std::vector<Row> parse_rows(const std::string& text)
{
    std::vector<Row> rows;
    std::istringstream in(text);
    std::string f, a;
    while (in >> f >> a) rows.push_back({std::strtod(f.c_str(), nullptr), std::strtod(a.c_str(), nullptr)});
    return rows;
}

inline std::vector<Row> periodscan_file(std::vector<double> t, std::vector<double> x, double start, int nf,
                                        double step)
{
    int n = static_cast<int>(t.size());
    double mean = 0.0, var = 0.0, sd = 0.0;
    timeseries::dobsta(n, t, x, mean, var, 0, sd);
    double t0 = t[0];
    timeseries::dobsco(n, t, t0);
    t[0] = 0.0;
    timeseries::dobsco(n, x, mean);
    std::vector<double> f1(nf), s1(nf), w1(nf), w2(nf), w3(nf), w4(nf);
    periodscan::scar2(n, t, x, start, nf, step, f1, s1, w1, w2, w3, w4);
    std::string text;
    const common::Format& format = common::cached_format("(1X,F20.8,1X,F20.8)");
    for (int i = 0; i < nf; ++i) {
        double amplitude = std::sqrt(s1[i]) * std::sqrt(4.0 / n);
        std::vector<common::Value> values{f1[i], amplitude};
        common::format_write(format, values, text);
    }
    return parse_rows(text);
}

}  // namespace spectrum_test
