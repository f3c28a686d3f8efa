// The frequency-search dialogue: a file loop (name a data file, read it)
// and, per file, a menu loop (statistics of the data, or a search by the
// Jurkevich-Stellingwerf statistic or the Scargle periodogram over a grid
// of trial frequencies, with the best frequency on the screen and the
// whole statistic in an output file).
//
// Channels: 5 keyboard, 6 screen, 9 data file, 10 output file.
#include <cmath>
#include <cstdint>

#include "common/io.hpp"
#include "periodscan/periodscan.hpp"
#include "timeseries/timeseries.hpp"

namespace periodscan {
namespace {

using common::keyboard;
using common::screen;
using common::write_free;

constexpr int datafile = 9;
constexpr int outfile = 10;

// Program-wide storage, sized once: the series, the grid and its
// statistic, and the work sums of the periodogram.
double t[nmax], x[nmax];
double f1[maxf], s1[maxf];
double w1[maxf], w2[maxf], w3[maxf], w4[maxf];

// The state of the dialogue for the current file.
struct Search {
    int n = 0;
    timeseries::Statistics stats;  // mean, variance, sd of the values: dobsta's last call
    double ss = 0.0;        // total sum of squares, fixed when the data are prepared
    bool prepared = false;  // times shifted to start at 0, values centred
    common::Text outname{70};
};

// The grid count as a 64-bit integer for the echo line: clamped to the
// range, NaN shown as 0.
std::int64_t shown_count(double count)
{
    if (std::isnan(count)) return 0;
    if (count >= 9223372036854775808.0) return INT64_MAX;
    if (count < -9223372036854775808.0) return INT64_MIN;
    return static_cast<std::int64_t>(count);
}

// Moves the time origin to the first observation and centres the values,
// once per file.
void prepare(Search& s)
{
    if (s.prepared) return;
    double t0 = t[0];
    timeseries::dobsco(s.n, t, t0);
    t[0] = 0.0;
    timeseries::dobsco(s.n, x, s.stats.mean);
    s.ss = (s.n - 1) * s.stats.var;
    s.prepared = true;
}

void scargle(const Search& s, double start, int nf, double step)
{
    write_free(screen, {"SCARGLE 2"});
    scar2(s.n, t, x, start, nf, step, f1, s1, w1, w2, w3, w4);
    double factor = std::sqrt(4.0 / s.n);
    for (int i = 0; i < nf; ++i) s1[i] = std::sqrt(s1[i]) * factor;
    double smax = 0.0, fmax = 0.0;
    bool found = false;
    for (int i = 0; i < nf; ++i)
        if (s1[i] > smax) {
            smax = s1[i];
            fmax = f1[i];
            found = true;
        }
    if (found)
        common::write_fmt(screen, "(1X,'Maximum: ',G15.9,' at frequency: ',G15.9,' P = ',G15.9)",
                          {smax, fmax, 1.0 / fmax});
    else
        write_free(screen, {"No maximum found: no amplitude is above 0.0"});
}

// Bins and covers, asked again until the tables can hold them.
void bins_and_covers(int& nb, int& nc)
{
    for (;;) {
        write_free(screen, {"Aantal bins,aantal covers (1<NB*NC<50)"});
        common::read_free(keyboard, {nb, nc});
        if (nb >= 1 && static_cast<long long>(nb) * (nc > 1 ? nc : 1) <= maxbins) return;
        write_free(screen, {"NB must be at least 1 and NB*NC at most 1000 (NC below 2 counts as 1)"});
    }
}

void jurkevich(const Search& s, double start, int nf, double step)
{
    write_free(screen, {"JURKEVICH-STELLINGWERF"});
    int nb = 0, nc = 0;
    bins_and_covers(nb, nc);
    justel(s.n, t, x, start, nf, step, nb, nc, s.stats.var, s.ss, f1, s1);
    double smin = 9.0E9, fmin = 0.0;
    bool found = false;
    for (int i = 0; i < nf; ++i)
        if (s1[i] < smin) {
            smin = s1[i];
            fmin = f1[i];
            found = true;
        }
    if (found)
        common::write_fmt(screen, "(1X,'Minimum: ',G15.9,' at frequency: ',G15.9,' P = ',G15.9)",
                          {smin, fmin, 1.0 / fmin});
    else
        write_free(screen, {"No minimum found: no statistic is below 9.0E9"});
}

// One computation of either method, from the output name to the file.
void compute(Search& s, int method)
{
    write_free(screen, {});
    write_free(screen, {"Give the desired name of the outputfile"});
    common::read_free(keyboard, {s.outname});
    write_free(screen, {});
    prepare(s);

    double step = 0.0, start = 0.0, end = 0.0;
    write_free(screen, {"Frequentiestap (0=back)"});
    common::read_free(keyboard, {step});
    if (step == 0.0) return;
    write_free(screen, {"Startfrequentie, eindfrequentie (0,0=back)"});
    common::read_free(keyboard, {start, end});
    if (start == 0.0 && end == 0.0) return;

    // In double precision first, so that no grid is too large to count.
    double count = std::trunc(0.001 + (end - start) / step) + 1.0;
    write_free(screen, {"Startfrequentie = ", start});
    write_free(screen, {"Eindfrequentie  = ", end});
    write_free(screen, {"Frequentiestap  = ", step});
    write_free(screen, {"Aantal stappen  = ", static_cast<long long>(shown_count(count))});
    if (count < 1.0) common::stop("NF<1");
    if (!(count <= maxf)) common::stop("NF>MAXF");
    int nf = static_cast<int>(count);

    if (method == 2)
        scargle(s, start, nf, step);
    else
        jurkevich(s, start, nf, step);

    common::open_new(outfile, s.outname.str());
    testou(outfile, nf, f1, s1);
    common::close_channel(outfile);
}

// The menu loop of one file, left by choice 3.
void menu(Search& s)
{
    for (;;) {
        write_free(screen, {});
        write_free(screen, {"Methode:  1 = Jurkevich-Stellingwerf, 2 = Scargle"});
        write_free(screen, {"          0 = statistics,             3 = END"});
        int method = 0;
        common::read_free(keyboard, {method});
        if (method == 3) return;
        if (method < 0 || method > 3) continue;
        if (method == 0)
            timeseries::dobsta(s.n, t, x, s.stats, screen);
        else
            compute(s, method);
    }
}

}  // namespace

void run()
{
    common::Text name(70);
    for (;;) {
        write_free(screen, {"Give the name of the file with the data (eof for end)"});
        common::read_free(keyboard, {name});
        if (name == "eof") common::stop();
        common::open_old(datafile, name.str());

        Search s;
        timeseries::ReadEnd end;
        timeseries::dlees(datafile, nmax, s.n, t, x, &end);
        if (end.why == timeseries::ReadEnd::Why::capacity)
            write_free(screen, {"Only the first", nmax, " observations are read: the file goes on after line",
                                end.line});
        if (s.n < 1) common::stop("N<=0");
        timeseries::dobsta(s.n, t, x, s.stats, 0);
        menu(s);
    }
}

}  // namespace periodscan
