// dlees: reads a time series, one free-format read per observation, into
// the caller's arrays (element 0 holds observation 1).  An observation
// stands whole on one line: blank lines are passed, and a line that ends
// before the observation's last value is a value that cannot be read, at
// that line (taking the missing value from the next line would pair every
// later time with the wrong value).
//
// Two profiles:
//   cyclefit   reading starts at the current position (the caller has read
//              the header line); witherr 1 reads an error column, otherwise
//              every error is 0.0; a value that cannot be read ends the
//              reading quietly, like the end of the file.
//   periodscan the channel is rewound and its header line skipped here; two
//              columns; a value that cannot be read is a fatal input error.
// In both, at most nmax observations are read and the channel is closed.
//
// Notes: 1. The capacity is the smallest of nmax and the sizes of the
//           arrays, so a caller's slip cannot write past its storage.
//        2. When the capacity is reached one more observation is tried, so
//           that `end` can tell the caller that part of the file was left
//           unread (the extra values go to scratch variables, never into
//           the arrays).
#include <algorithm>
#include <cstddef>

#include "common/io.hpp"
#include "timeseries/timeseries.hpp"

namespace timeseries {
namespace {

int capacity(int nmax, std::size_t size) { return static_cast<int>(std::min<std::size_t>(std::max(nmax, 0), size)); }

// After a full table: does the file hold another observation (or anything
// else that is not its end)?
ReadEnd::Why after_full_table(int channel)
{
    double tt = 0.0, xx = 0.0;
    common::ReadOutcome r = common::read_record(channel, {tt, xx}, common::handle_both);
    return r == common::ReadOutcome::end_of_file ? ReadEnd::Why::end_of_file : ReadEnd::Why::capacity;
}

void finish(int channel, ReadEnd::Why why, long line, ReadEnd* end)
{
    if (end) {
        end->why = why;
        end->line = line;
    }
    common::close_channel(channel);
}

}  // namespace

void dlees(int channel, int nmax, int& n, std::span<double> t, std::span<double> x, std::span<double> err,
           int witherr, ReadEnd* end)
{
    int cap = capacity(nmax, std::min(t.size(), x.size()));
    if (witherr == 1) cap = std::min(cap, capacity(nmax, err.size()));
    n = 0;
    for (int i = 0; i < cap; ++i) {
        common::ReadOutcome r;
        if (witherr == 1)
            r = common::read_record(channel, {t[i], x[i], err[i]}, common::handle_both);
        else
            r = common::read_record(channel, {t[i], x[i]}, common::handle_both);
        if (r != common::ReadOutcome::ok) {
            ReadEnd::Why why = r == common::ReadOutcome::end_of_file ? ReadEnd::Why::end_of_file : ReadEnd::Why::bad_value;
            finish(channel, why, common::lines_read(channel), end);
            return;
        }
        if (witherr != 1 && static_cast<std::size_t>(i) < err.size()) err[i] = 0.0;
        n = i + 1;
    }
    long line = common::lines_read(channel);
    finish(channel, after_full_table(channel), line, end);
}

void dlees(int channel, int nmax, int& n, std::span<double> t, std::span<double> x, ReadEnd* end)
{
    int cap = capacity(nmax, std::min(t.size(), x.size()));
    n = 0;
    common::rewind_channel(channel);
    if (common::skip_line(channel, common::handle_end) != common::ReadOutcome::ok) {
        finish(channel, ReadEnd::Why::end_of_file, common::lines_read(channel), end);
        return;
    }
    for (int i = 0; i < cap; ++i) {
        if (common::read_record(channel, {t[i], x[i]}, common::handle_end) != common::ReadOutcome::ok) {
            finish(channel, ReadEnd::Why::end_of_file, common::lines_read(channel), end);
            return;
        }
        n = i + 1;
    }
    long line = common::lines_read(channel);
    finish(channel, after_full_table(channel), line, end);
}

}  // namespace timeseries
