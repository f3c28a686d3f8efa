// The straightforward forms of the two frequency-search kernels, loop for
// loop as the methods are defined: the yardsticks that the program's fast
// forms must match bit for bit.
#pragma once

#include <span>

namespace reference {

void scar2(int n, std::span<const double> t, std::span<const double> x, double fstart, int nf, double fstep,
           std::span<double> f1, std::span<double> s1, std::span<double> w1, std::span<double> w2,
           std::span<double> w3, std::span<double> w4);

void justel(int n, std::span<const double> t, std::span<const double> x, double fstart, int nf, double fstep, int nb,
            int nc, double var, double ss, std::span<double> f1, std::span<double> s1);

}  // namespace reference
