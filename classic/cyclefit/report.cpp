// The report of a harmonic fit: every sine and cosine pair turned into an
// amplitude and a phase with their standard errors, the model at every
// observation, the fraction of the variance explained, written to the
// screen, the solution file (channel 11) and the summary file (channel 15).
//
// The solution file is read back by the phase plot by record position; its
// records are named in cyclefit/solution.hpp.
#include <array>
#include <cmath>
#include <span>
#include <string>

#include "common/constants.hpp"
#include "common/io.hpp"
#include "cyclefit/dharmo.hpp"
#include "solution.hpp"
#include "storage.hpp"
#include "timeseries/timeseries.hpp"

namespace cyclefit {

using common::screen;
using common::Value;
using common::write_fmt;
using common::write_free;

namespace {

// A formatted record whose number of values is known only at run time.
void write_row(int channel, std::span<const Value> values)
{
    static std::string out;
    out.clear();
    common::format_write(common::cached_format(solution::row_record), values, out);
    common::write_raw(channel, out);
}

// The model at shifted time tt: the basis values go to the storage of sv,
// and the sum over them is formed from 0.0 in index order.
double model(double tt)
{
    dharmo(tt, store.sv, maxbasis);
    double fit = 0.0;
    for (int j = 0; j < store.nbasis; ++j) fit += store.sv[j] * store.coef[j];
    return fit;
}

double se(int k) { return std::sqrt((store.cvm[(k - 1) * maxbasis + (k - 1)] * store.chi2) / store.n); }
double cvmkk(int k) { return store.cvm[(k - 1) * maxbasis + (k - 1)]; }

void write_harmonic(int channel, double s, double c, int k, double fj, double amp, double seamp, double phase,
                    double sephase)
{
    write_fmt(channel, solution::sine_record, {s, cvmkk(k), se(k)});
    write_fmt(channel, solution::cosine_record, {c, cvmkk(k + 1), se(k + 1)});
    write_fmt(channel, solution::amplitude_record, {fj, amp, seamp});
    write_fmt(channel, solution::phase_record, {fj, phase, sephase});
}

}  // namespace

// phase: the fraction of a cycle at which s sin + c cos has its maximum,
// A cos(theta - 2 pi phase), in [0, 1).
double phase_of(double s, double c)
{
    double phi = std::atan(s / c);
    // A negative cosine coefficient puts the maximum half a cycle away.  With
    // s = 0 (of either sign) the quotient's arctangent is 0 and the pure
    // negative cosine belongs at 0.5, so s = 0 goes with s > 0 here.
    if (c < 0.0 && s >= 0.0) phi += suite::half_twopi;
    if (c < 0.0 && s < 0.0) phi -= suite::half_twopi;
    phi /= suite::twopi;
    if (phi < 0.0) phi += 1.0;
    return phi;
}

int report()
{
    Storage& w = store;
    // The names (two records by the 80-column rule), the characteristics of
    // the shifted observations, the heading of the fit.
    write_free(solutionfile, {lijn4.inname, lijn4.outname});
    solution::write_block(solutionfile, solution::after_names);
    double mean = 0.0, var = 0.0;
    timeseries::dobsta(w.n, std::span<const double>(w.t, maxobs), std::span<const double>(w.x, maxobs), mean, var,
                       1, solutionfile);
    solution::write_block(solutionfile, solution::fit_heading);
    write_free(solutionfile, {solution::nfreq_label, oud.nfreq});
    solution::write_block(solutionfile, solution::after_nfreq);

    write_fmt(screen, solution::constant_record, {w.coef[0], cvmkk(1), se(1)});
    write_fmt(solutionfile, solution::constant_record, {w.coef[0], cvmkk(1), se(1)});

    int imax = 0;
    double ampmax = 0.0;
    int k = 2;
    for (int i = 1; i <= oud.nfreq; ++i) {
        const double freq = oud.freq[i - 1];
        const int nharm = oud.nharm[i - 1];
        write_fmt(screen, solution::freq_record, {i, freq, nharm, nharm});
        write_fmt(solutionfile, solution::freq_record, {i, freq, nharm, nharm});
        write_fmt(summaryfile, solution::freq_record, {i, freq, nharm, nharm});
        for (int j = 1; j <= nharm; ++j, k += 2) {
            const double s = w.coef[k - 1], c = w.coef[k];
            const double sek = se(k), sek1 = se(k + 1);
            const double amp = std::sqrt(s * s + c * c);
            const double seamp = (std::fabs(s) * sek + std::fabs(c) * sek1) / amp;
            const double phase = phase_of(s, c);
            // First-order propagation through phi = atan(s / c) / 2 pi: the
            // sine's error scaled by |c|, the cosine's by |s|.
            const double sephase = (std::fabs(c) * sek + std::fabs(s) * sek1) / (amp * amp) / suite::twopi;
            const double fj = j * freq;
            write_harmonic(screen, s, c, k, fj, amp, seamp, phase, sephase);
            if (amp > ampmax) {
                ampmax = amp;
                imax = i;
            }
            write_harmonic(solutionfile, s, c, k, fj, amp, seamp, phase, sephase);
        }
    }

    write_fmt(screen, solution::ressum_record, {w.chi2});
    write_fmt(solutionfile, solution::ressum_record, {w.chi2});
    solution::write_block(solutionfile, solution::before_imax);
    write_fmt(solutionfile, solution::imax_record, {imax});
    solution::write_block(solutionfile, solution::table_heading);

    // The residual table, one record per observation in input order.
    std::array<Value, 16> row{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    double rsum = 0.0, ysum = 0.0;
    for (int i = 0; i < w.n; ++i) {
        const double tt = w.t[i];
        const double fit = model(tt);
        const double residual = w.x[i] - fit;
        ysum += w.x[i];
        rsum += residual * residual;
        double time = tt + w.T0;
        if (time > 2400000.0) time -= 2400000.0;
        row[0] = time;
        row[1] = residual;
        row[2] = w.x[i];
        row[3] = w.fout[i];
        row[4] = fit;
        for (int j = 0; j < oud.nfreq; ++j) row[5 + j] = std::fmod(oud.freq[j] * tt, 1.0);
        write_row(solutionfile, std::span<const Value>(row.data(), 5 + oud.nfreq));
    }

    const double ymean = ysum / w.n;
    double ssum = 0.0;
    for (int i = 0; i < w.n; ++i) ssum += (w.x[i] - ymean) * (w.x[i] - ymean);
    lijn3.fracvar = (ssum - rsum) / ssum;

    write_free(screen, {});
    write_free(screen, {"Residuals and other output written in file ", lijn4.outname});
    write_fmt(screen, "(a10,f7.4)", {"fracvar = ", lijn3.fracvar});
    solution::write_block(solutionfile, solution::before_fracvar);
    write_fmt(solutionfile, solution::fracvar_record, {solution::fracvar_label, lijn3.fracvar});
    solution::write_block(solutionfile, solution::after_fracvar);
    write_fmt(summaryfile, "(4X,'FRACVAR : ',F7.4,5X,'file : ',A40)", {lijn3.fracvar, lijn4.outname});
    write_free(summaryfile, {});

    // The calculated fit over one cycle of the frequency with the biggest
    // amplitude.  Without one (imax = 0) there is no cycle to sample: the
    // heading stands alone.
    solution::write_block(solutionfile, solution::curve_heading);
    if (imax >= 1) {
        for (int p = 1; p <= solution::curve_rows; ++p) {
            const float ph = 0.01f * static_cast<float>(p - 1);
            const double tt = static_cast<double>(ph) / oud.freq[imax - 1];
            row[0] = model(tt);
            for (int j = 0; j < oud.nfreq; ++j) row[1 + j] = std::fmod(oud.freq[j] * tt, 1.0);
            write_row(solutionfile, std::span<const Value>(row.data(), 1 + oud.nfreq));
        }
    }
    common::close_channel(solutionfile);
    return imax;
}

}  // namespace cyclefit
