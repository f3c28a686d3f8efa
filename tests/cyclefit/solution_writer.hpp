// Writes a solution file of a one-frequency fit record for record in the
// layout the fit report writes, so that the phase plot can be tried on
// known values.
#pragma once

#include <string>
#include <vector>

namespace plottest {

struct Row {
    double t, res, x, err, fit, phase;
};

struct Solution {
    std::string inname = "star.dat";
    std::string outname = "solution.1.23457.fv";
    double freq = 1.23457;
    int nharm = 1;
    int imax = 1;
    double fracvar = 0.9876;
    std::vector<Row> rows;
    int curverows = 100;
};

// The fitted value of row q (0..99) of the calculated fit: a ramp from
// 11.0 by 0.005, at phase 0.01 q.
double curvefit(int q);

void write_solution(const Solution& o);

// Replaces line number `line` (from 1) of a text file; or cuts the file
// after `line` lines when `cut` is set.
void change_line(const std::string& file, int line, const std::string& text, bool cut = false);

std::vector<std::string> lines_of(const std::string& file);

}  // namespace plottest
