// Reading a time series and the characteristics of the observations, in
// the two profiles of the programs that use them: cyclefit (its caller has
// read the header line; an optional error column; a value that cannot be
// read ends the reading quietly) and periodscan (the header is skipped here;
// a value that cannot be read is fatal).
//
// An observation stands whole on one line of the file: a line that ends
// before its last value is a value that cannot be read.
//
// Arrays are caller-owned; element 0 holds observation 1.
#pragma once

#include <span>

namespace timeseries {

// How a reading of observations ended, for callers that tell the user when
// part of a file was left unread.
struct ReadEnd {
    enum class Why { end_of_file, bad_value, capacity };
    Why why = Why::end_of_file;
    long line = 0;  // line of the file at which reading stopped
};

// cyclefit profile: reads from the current position of `channel`; witherr 1
// means time, value and error on each record, else err is set to 0.0.
void dlees(int channel, int nmax, int& n, std::span<double> t, std::span<double> x, std::span<double> err,
           int witherr, ReadEnd* end = nullptr);
// periodscan profile: rewinds the channel and skips its header record.
void dlees(int channel, int nmax, int& n, std::span<double> t, std::span<double> x, ReadEnd* end = nullptr);

// values(i) = values(i) - shift for the first n values.
void dobsco(int n, std::span<double> values, double shift);

// The mean, variance and standard deviation of the values, as the
// periodscan profile of dobsta returns them.
struct Statistics {
    double mean = 0.0;
    double var = 0.0;
    double sd = 0.0;
};

// cyclefit profile: report != 0 writes the report to `channel`.
void dobsta(int n, std::span<const double> t, std::span<const double> x, double& mean, double& var, int report,
            int channel);
// periodscan profile: channel 0 computes only; the three results come back
// in one record, so that a call cannot be mistaken for the other profile.
void dobsta(int n, std::span<const double> t, std::span<const double> x, Statistics& stats, int channel);

}  // namespace timeseries
