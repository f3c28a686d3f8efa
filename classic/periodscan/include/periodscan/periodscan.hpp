// periodscan: the search of one time series for periodicities over an
// equidistant grid of trial frequencies, by the Scargle periodogram or the
// Jurkevich-Stellingwerf phase-dispersion statistic.
//
// Arrays are caller-owned; element 0 holds entry 1.  The series goes in as
// the readers give it, times before values.  Frequencies are in cycles per
// time unit of t (c/d for times in days).
#pragma once

#include <span>

namespace periodscan {

// Capacities: observations, and trial frequencies (MAXF).
constexpr int nmax = 10000;
constexpr int maxf = 400001;
// Fine bins of the Jurkevich-Stellingwerf tables: NB * max(NC, 1) at most.
constexpr int maxbins = 1000;

// scar2: Scargle periodogram power P at nf frequencies fstart, fstart +
// fstep, ... (t starting at 0, x centred); w1..w4 are work space of nf.
void scar2(int n, std::span<const double> t, std::span<const double> x, double fstart, int nf, double fstep,
           std::span<double> f1, std::span<double> s1, std::span<double> w1, std::span<double> w2,
           std::span<double> w3, std::span<double> w4);

// justel: Jurkevich-Stellingwerf statistic with nb bins and nc covers (nc
// below 2 is one cover); var the variance and ss the total sum of squares
// of the centred values.  Requires 1 <= nb and nb * max(nc, 1) <= maxbins;
// otherwise every statistic is NaN.
void justel(int n, std::span<const double> t, std::span<const double> x, double fstart, int nf, double fstep, int nb,
            int nc, double var, double ss, std::span<double> f1, std::span<double> s1);

// testou: the frequency-statistic file, one "(1X,F20.8,1X,F20.8)" line per
// trial frequency, to an open channel.
void testou(int channel, int nf, std::span<const double> f1, std::span<const double> s1);

// The frequency-search dialogue: file loop, then a menu loop per file.
void run();

}  // namespace periodscan
