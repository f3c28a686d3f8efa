// plotten: the phase diagram of a one-frequency fit.  The fit is read back
// from the solution file by record positions (the file's layout, named in
// cyclefit/solution.hpp, is the contract), the observations are folded on the frequency with the biggest
// amplitude, the residual file is written, and the user chooses the kind of
// data, which sets the value label and the direction of the value axes.
#include <array>
#include <string>

#include "common/io.hpp"
#include "cyclefit/plotten.hpp"
#include "cyclefit/records.hpp"
#include "solution.hpp"
#include "storage.hpp"

namespace cyclefit {

int ncurve = 0;

namespace {

using common::ReadOutcome;
using common::handle_both;

constexpr int resfile = 64;  // the residual file

// What the reading back found besides the shared records.
struct ReadBack {
    common::Text name20{20};  // the first 20 characters of the solution-file name
    double f1 = 0.0;          // the first frequency
    int nf = 0;               // number of frequencies
    int imax = 0;             // the frequency with the biggest amplitude
    int rows = 0;             // observation rows read
    bool fracvar = false;     // the FRACVAR record was read
};

// True when a read of the solution file gave its values.  The end of the
// file ends the reading back without a word; a field that is not a number
// (or not one the plot can hold) ends it with one line.
bool read_ok(ReadOutcome r)
{
    if (r == ReadOutcome::ok) return true;
    if (r == ReadOutcome::bad_value)
        common::write_free(common::screen,
                           {std::string(lijn4.outname.trimmed()) + ", line " +
                            std::to_string(common::lines_read(solutionfile)) +
                            ": no number the plot can use; reading stops there."});
    return false;
}

// Skips records of the solution file: a count, or one of its fixed blocks.
bool skip(int records)
{
    for (int k = 0; k < records; ++k)
        if (!read_ok(common::skip_line(solutionfile, handle_both))) return false;
    return true;
}

// One record of the solution file, read by its format.
bool read_record(const char* format, std::initializer_list<common::Target> targets)
{
    return read_ok(common::read_fmt(solutionfile, format, targets, handle_both));
}

bool skip(solution::Block block) { return skip(static_cast<int>(block.size())); }

// A count read back that the plot's storage cannot hold stops the reading
// as a field that is not a number does.
bool within(int value, int low, int high)
{
    return low <= value && value <= high ? true : read_ok(ReadOutcome::bad_value);
}

// The phase of the folding frequency in one row (0 when there is none).
double folding_phase(const std::array<double, maxfreq>& ph, int imax, int nf)
{
    return imax >= 1 && imax <= nf ? ph[imax - 1] : 0.0;
}

// Reads the header of the solution file up to the heading of the residual
// table.  False when the reading stopped.
bool read_head(ReadBack& r, int& npts)
{
    // The second name record is the solution file's own name.
    if (!skip(solution::name_records - 1)) return false;
    if (!read_record(solution::name_field, {r.name20})) return false;
    common::write_free(common::screen, {r.name20});
    if (!skip(solution::after_names)) return false;
    // The characteristics of the observations, up to their count.
    if (!skip(solution::count_record - 1)) return false;
    if (!read_record(solution::count_field, {npts}) || !within(npts, 0, maxobs)) return false;
    if (!skip(solution::characteristics_records - solution::count_record)) return false;
    if (!skip(solution::fit_heading)) return false;
    int nf = 0;
    if (!read_record(solution::nfreq_field, {nf}) || !within(nf, 0, maxfreq)) return false;
    r.nf = nf;
    if (!skip(solution::after_nfreq)) return false;
    double value = 0.0;
    if (!read_record(solution::constant_field, {value})) return false;
    for (int i = 0; i < nf; ++i) {
        int nh = 0;
        if (!read_record(solution::freq_fields, {lijn2.label[i], nh})) return false;
        for (int j = 0; j < nh; ++j) {
            double freqj = 0.0, amp = 0.0;
            if (!read_record(solution::coefficient_field, {value})) return false;
            if (!read_record(solution::coefficient_field, {value})) return false;
            if (!read_record(solution::amplitude_fields, {freqj, amp})) return false;
            if (i == 0 && j == 0) r.f1 = freqj;
            // The phase record, the last of the harmonic's records.
            if (!skip(solution::harmonic_records - 3)) return false;
        }
    }
    if (!read_record(solution::ressum_field, {value})) return false;
    if (!skip(solution::before_imax)) return false;
    if (!read_record(solution::imax_field, {r.imax})) return false;
    common::write_free(common::screen, {});
    return skip(solution::table_heading);
}

// Weight of an observation in the residual file.
double weight_of(double fout)
{
    if (fout == 0.0) return 1.0;
    if (fout > 0.5) return 0.5 / fout;
    return 1.0;
}

// Reads the residual table, folds every observation and writes the
// residual file.  False when the reading stopped.
bool read_residuals(ReadBack& r, int npts)
{
    common::write_fmt(resfile, "(i4,1x,f12.8,2x,a60)", {npts, r.f1, lijn4.inname});
    for (int p = 0; p < npts; ++p) {
        double time = 0.0, res = 0.0, fout = 0.0;
        float fit = 0.0f;
        std::array<double, maxfreq> ph{};
        if (!read_record(solution::row_record, {time, res, lijn2.obs[p], fout, fit, ph[0], ph[1], ph[2], ph[3], ph[4],
                                                ph[5], ph[6], ph[7], ph[8], ph[9], ph[10]}))
            return false;
        lijn3.resid[p] = static_cast<float>(res);
        double phi = folding_phase(ph, r.imax, r.nf);
        if (phi < 0.0) phi = phi + 1.0;
        lijn2.phase[p] = static_cast<float>(phi);
        common::write_fmt(resfile, "(F13.7,1X,F15.5,1X,F10.5,1X,F10.5,1X,F14.4,1X,F14.4)",
                          {time, res, fout, weight_of(fout), fit, lijn2.obs[p]});
        if (res > lijn3.rmax) lijn3.rmax = static_cast<float>(res);
        if (lijn3.rmin > res) lijn3.rmin = static_cast<float>(res);
        lijn2.obshigh[p] = static_cast<float>(static_cast<double>(lijn2.obs[p]) + fout);
        lijn2.obslow[p] = static_cast<float>(static_cast<double>(lijn2.obs[p]) - fout);
        if (lijn2.obshigh[p] > lijn1.ymax) lijn1.ymax = lijn2.obshigh[p];
        if (lijn1.ymin > lijn2.obslow[p]) lijn1.ymin = lijn2.obslow[p];
        r.rows = p + 1;
    }
    return true;
}

// Reads the variance reduction and the calculated fit.  False when the
// reading stopped.
bool read_curve(ReadBack& r)
{
    common::close_channel(resfile);
    if (!skip(solution::before_fracvar)) return false;
    common::write_free(common::screen, {});
    double fracvar = 0.0;
    if (!read_record(solution::fracvar_field, {fracvar})) return false;
    lijn3.fracvar = fracvar * 100.0;
    r.fracvar = true;
    if (!skip(solution::after_fracvar) || !skip(solution::curve_heading)) return false;
    // The calculated fit, closed over the cycle in the last curve point.
    static_assert(solution::curve_rows == curvepoints - 1);
    for (int q = 0; q < solution::curve_rows; ++q) {
        std::array<double, maxfreq> ph{};
        if (!read_record(solution::row_record, {lijn2.ycurve[q], ph[0], ph[1], ph[2], ph[3], ph[4], ph[5], ph[6],
                                                ph[7], ph[8], ph[9], ph[10]}))
            return false;
        lijn2.xcurve[q] = static_cast<float>(folding_phase(ph, r.imax, r.nf));
        if (lijn2.ycurve[q] > lijn1.ymax) lijn1.ymax = lijn2.ycurve[q];
        if (lijn1.ymin > lijn2.ycurve[q]) lijn1.ymin = lijn2.ycurve[q];
    }
    lijn2.xcurve[curvepoints - 1] = 1.0f;
    lijn2.ycurve[curvepoints - 1] = lijn2.ycurve[0];
    ncurve = curvepoints;
    return true;
}

// The plot-file name: the solution-file name cut to 17 characters (a first
// frequency of 10 or more) or 16, with ".ps" in place of ".fv".
void name_plot_file(const ReadBack& r)
{
    common::Text stem(20);
    if (r.f1 >= 10.0) {
        common::write_into(stem, "(a17)", {r.name20});
        lijn1.psname21 = std::string(stem.str().substr(0, 17)) + ".ps";
        lijn1.longname = 1;
    } else {
        common::write_into(stem, "(a16)", {r.name20});
        lijn1.psname20 = std::string(stem.str().substr(0, 16)) + ".ps";
        lijn1.longname = 0;
    }
}

void choose_data_kind()
{
    do {
        common::write_free(common::screen, {"Which kind of data-set?"});
        common::write_free(common::screen, {"0 = equivalent width        6 = Geneva U"});
        common::write_free(common::screen, {"1 = 1st normalised moment   7 = Geneva B1"});
        common::write_free(common::screen, {"2 = 2nd normalised moment   8 = Geneva B"});
        common::write_free(common::screen, {"3 = 3rd normalised moment   9 = Geneva B2"});
        common::write_free(common::screen, {"4 = radial velocity         10= Geneva V1"});
        common::write_free(common::screen, {"5 = hipparcos Hp            11= Geneva V"});
        common::write_free(common::screen, {"                            12= Geneva G"});
        common::read_free(common::keyboard, {lijn1.datakind});
        common::write_free(common::screen, {});
    } while (lijn1.datakind < 0 || lijn1.datakind > 12);
}

// The ranges of both panels: 2/7 of the value range above the data (room
// for the labels), 1.5/7 below (room for the variance reduction), 1/8 of
// the residual range on either side; magnitudes run downwards.
void set_ranges()
{
    double w = static_cast<float>(lijn1.ymax - lijn1.ymin);
    double r = static_cast<float>(lijn3.rmax - lijn3.rmin);
    double y1 = lijn1.ymax, y0 = lijn1.ymin, r1 = lijn3.rmax, r0 = lijn3.rmin;
    if (lijn1.datakind <= 4) {
        lijn1.ymax = static_cast<float>(y1 + 2.0 * (w / 7.0));
        lijn1.ymin = static_cast<float>(y0 - 1.5 * (w / 7.0));
        lijn3.rmax = static_cast<float>(r1 + r / 8.0);
        lijn3.rmin = static_cast<float>(r0 - r / 8.0);
    } else {
        lijn1.ymin = static_cast<float>(y1 + 1.5 * (w / 7.0));
        lijn1.ymax = static_cast<float>(y0 - 2.0 * (w / 7.0));
        lijn3.rmin = static_cast<float>(r1 + r / 8.0);
        lijn3.rmax = static_cast<float>(r0 - r / 8.0);
    }
    lijn3.zeroline.fill(0.0f);
}

}  // namespace

void plotten()
{
    common::open_new(resfile, lijn7.resname.str());
    lijn3.rmin = 0.0f;
    lijn3.rmax = 0.0f;
    lijn1.ymin = 1.0E10f;
    lijn1.ymax = -1.0E10f;
    for (common::Text& l : lijn2.label) l = "";
    ncurve = 0;
    common::open_old(solutionfile, lijn4.outname.str());
    common::write_free(common::screen, {});

    // Reading back stops at the end of the file or at a field that cannot
    // be read; the plot is then made from what was read.
    ReadBack r;
    int npts = 0;
    if (read_head(r, npts) && read_residuals(r, npts)) read_curve(r);
    common::close_channel(resfile);
    common::close_channel(solutionfile);
    name_plot_file(r);
    lijn1.npts = r.rows;
    if (!r.fracvar) lijn3.fracvar = lijn3.fracvar * 100.0;
    if (ncurve == 0)
        for (int q = 0; q < curvepoints; ++q) lijn2.xcurve[q] = 0.01f * static_cast<float>(q);
    for (int i = 0; i < r.nf; ++i) common::write_free(common::screen, {lijn2.label[i]});
    common::write_free(common::screen, {});

    if (r.imax < 1 || r.imax > r.nf) {
        common::write_free(common::screen, {"There is no frequency to fold on: no phase plot."});
        return;
    }
    // Nothing to fold (the reading stopped before the first observation,
    // for instance at a time too wide for its field): the ranges of both
    // panels would be left at their starting values.
    if (r.rows == 0) {
        common::write_free(common::screen, {"No observation was read back from the solution file: no phase plot."});
        return;
    }

    choose_data_kind();
    lijn1.psflag = 0;
    set_ranges();
    plotter();
    do {
        common::write_free(common::screen, {});
        common::write_free(common::screen, {"Do you want a ps-file? (1=yes; 0=no)"});
        common::read_free(common::keyboard, {lijn1.psflag});
    } while (lijn1.psflag != 0 && lijn1.psflag != 1);
    if (lijn1.psflag == 1) {
        common::write_free(common::screen, {});
        common::write_free(common::screen, {lijn1.longname == 1 ? lijn1.psname21 : lijn1.psname20});
        common::write_free(common::screen, {});
        plotter();
        common::write_free(common::screen, {});
    }
}

}  // namespace cyclefit
