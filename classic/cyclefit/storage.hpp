// The program-wide storage of cyclefit: the observations, the design matrix
// of the fit (75000 x 99, about 59 MB) and its results.  One instance, sized
// once for the whole run: a new fit overwrites the previous one in place.
// Element 1 of an array is at index 0.
#pragma once

#include "common/text.hpp"
#include "cyclefit/records.hpp"

namespace cyclefit {

struct Storage {
    double t[maxobs];     // times; after the epoch step, time minus T0
    double x[maxobs];     // observed values
    double fout[maxobs];  // error of each value as read (0.0 without an error column)
    double sig[maxobs];   // errors handed to the fit: all 1.0
    double u[static_cast<long>(maxobs) * maxbasis];  // the design matrix, then U
    double v[maxbasis * maxbasis];
    double cvm[maxbasis * maxbasis];  // covariance matrix of the coefficients
    double coef[maxbasis];
    double sv[maxbasis];  // singular values; then the basis values of the report
    double chi2 = 0.0;
    int n = 0;
    common::Text header{70};
    int witherr = 0;
    double T0 = 0.0;
    int nbasis = 0;
};

extern Storage store;

// Channels of the program's files.
constexpr int inputfile = 10;     // the time series, read by dlees
constexpr int solutionfile = 11;  // written by the report, read back by the phase plot
constexpr int summaryfile = 15;   // one entry per fit of the run (never opened by name: fort.15)

// The report of a fit just made: the screen, the solution file (open on
// channel 11, closed on return) and the summary file (channel 15).  Returns
// imax, the frequency with the biggest amplitude (0 when none is above 0).
int report();

// The phase of s sin + c cos as a fraction of a cycle, in [0, 1): the
// pair equals A cos(theta - 2 pi phase).
double phase_of(double s, double c);

}  // namespace cyclefit
