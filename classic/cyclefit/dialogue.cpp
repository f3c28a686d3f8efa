// cyclefit's dialogue: the input file and its error column, the epoch, the
// frequencies and their harmonics, the names of the output files, the fit,
// its report, the phase plot, and the loops that fit again with other
// frequencies (same file, same epoch) or another file.
#include <memory>
#include <span>
#include <string>

#include "common/io.hpp"
#include "cyclefit.hpp"
#include "cyclefit/dharmo.hpp"
#include "cyclefit/plotten.hpp"
#include "storage.hpp"
#include "cyclefit/svdfit.hpp"
#include "timeseries/timeseries.hpp"

namespace cyclefit {

Storage store;

using common::keyboard;
using common::screen;
using common::Text;
using common::write_free;

namespace {

constexpr int maxharm = 49;

std::string trimmed(const Text& text) { return std::string(text.trimmed()); }

// Steps 1 to 5: the file, its error column, its header and observations.
// Returns false when the file cannot be used (the user is asked again).
bool read_file()
{
    Storage& w = store;
    int answer = 0;
    do {
        write_free(screen, {"Are there errors in the inputfile? (1/0)"});
        common::read_free(keyboard, {answer});
    } while (answer != 1 && answer != 0);
    write_free(screen, {});
    w.witherr = answer == 1 ? 1 : 0;

    const std::string name = trimmed(lijn4.inname);
    if (!common::try_open_old(inputfile, name)) {
        write_free(screen, {"Cannot open the input file " + name});
        return false;
    }
    std::string line;
    if (common::read_line(inputfile, line, common::handle_end) != common::ReadOutcome::ok) {
        common::close_channel(inputfile);
        write_free(screen, {"The input file " + name + " is empty: no header line"});
        return false;
    }
    w.header = line;
    write_free(screen, {"Header in file: ", w.header});
    write_free(screen, {});

    timeseries::ReadEnd end;
    timeseries::dlees(inputfile, maxobs, w.n, std::span<double>(w.t, maxobs), std::span<double>(w.x, maxobs),
                      std::span<double>(w.fout, maxobs), w.witherr, &end);
    // A fit on part of the file must not pass in silence.
    const std::string where = name + ", line " + std::to_string(end.line) + ": ";
    if (end.why == timeseries::ReadEnd::Why::bad_value)
        write_free(screen, {where + "a value that cannot be read; " + std::to_string(w.n) + " observations read"});
    else if (end.why == timeseries::ReadEnd::Why::capacity)
        write_free(screen, {where + "reading stops at " + std::to_string(w.n) + " observations, the rest is ignored"});
    if (w.n <= 0) {
        write_free(screen, {"N=0"});
        return false;
    }
    return true;
}

// Step 6: the epoch.  Returns false on an answer beginning with eof.
bool choose_epoch()
{
    Storage& w = store;
    Text answer(70);
    write_free(screen, {"If phase 0 is not T(1), give N"});
    common::read_free(keyboard, {answer});
    if (answer.str().compare(0, 3, "eof") == 0) return false;
    if (answer[0] == 'N') {
        write_free(screen, {"Give time of phase 0 : "});
        common::read_free(keyboard, {w.T0});
    } else {
        w.T0 = w.t[0];
    }
    const double shift = w.T0;
    timeseries::dobsco(w.n, std::span<double>(w.t, maxobs), shift);
    return true;
}

// The harmonic counts of oud against the storage of the fit, frequency by
// frequency in the order they were given: each count is checked before it
// is added up, since dharmo fills two values per harmonic whatever the
// size of the fit.  Sets nbasis; false, after one line saying the limit,
// when the set does not fit.
bool harmonics_fit(int& nbasis)
{
    nbasis = 1;
    for (int i = 0; i < oud.nfreq; ++i) {
        if (oud.nharm[i] < 0 || oud.nharm[i] > maxharm) {
            write_free(screen, {"The number of harmonics must be from 0 to", maxharm});
            return false;
        }
        nbasis += 2 * oud.nharm[i];
        if (nbasis > maxbasis) {
            write_free(screen, {"At most", maxbasis, " parameters: 1 + 2 x (number of harmonics in all)"});
            return false;
        }
    }
    return true;
}

// Step 7: the frequencies and their harmonics, asked again until they fit
// the storage of the fit and the file has enough observations for them.
// All nfreq frequency lines are read before the set is judged, so that a
// refused set leaves no line of its own to be taken as the next answer.
void choose_frequencies()
{
    Storage& w = store;
    for (;;) {
        write_free(screen, {});
        write_free(screen, {"Number of frequencies to fit: "});
        common::read_free(keyboard, {oud.nfreq});
        if (oud.nfreq < 1 || oud.nfreq > maxfreq) {
            write_free(screen, {"The number of frequencies must be from 1 to", maxfreq});
            continue;
        }
        for (int i = 1; i <= oud.nfreq; ++i) {
            write_free(screen, {"Frequency nr.", i, ",number of harmonics: "});
            common::read_free(keyboard, {oud.freq[i - 1], oud.nharm[i - 1]});
        }
        if (!harmonics_fit(w.nbasis)) continue;
        if (w.n < w.nbasis) {
            write_free(screen,
                       {"Fewer observations than parameters:", w.n, " observations,", w.nbasis, " parameters; no fit"});
            continue;
        }
        return;
    }
}

// Step 8: the names of the solution and residual files, from the first
// frequency, and the solution file created.
void name_files()
{
    const char* fmt = oud.freq[0] >= 10.0 ? "(F8.5)" : "(F7.5)";
    const std::string freqtext = common::write_text(fmt, {oud.freq[0]});
    write_free(screen, {freqtext});
    lijn4.outname = "solution." + freqtext + ".fv";
    lijn7.resname = "solution." + freqtext + ".res";
    write_free(screen, {lijn4.outname});
    common::open_new(solutionfile, trimmed(lijn4.outname));
}

// Steps 9 to 12 for one frequency set; returns true to fit again on the
// same observations.
bool fit_once(Workspace& work)
{
    Storage& w = store;
    choose_frequencies();
    name_files();

    for (int i = 0; i < w.n; ++i) w.sig[i] = 1.0;
    write_free(screen, {"HARMONIC FIT"});
    svdfit(w.t, w.x, w.sig, w.n, w.coef, w.nbasis, w.u, w.v, w.sv, maxobs, maxbasis, w.chi2, dharmo, work);
    svdvar(w.v, w.nbasis, maxbasis, w.sv, w.cvm, maxbasis);

    report();

    if (oud.nfreq == 1) {
        write_free(screen, {});
        double answer = 0.0;
        do {
            write_free(screen, {"Do you want to make a phaseplot with this frequency? (1/0)"});
            common::read_free(keyboard, {answer});
            write_free(screen, {});
        } while (answer != 1.0 && answer != 0.0);
        if (answer == 1.0) plotten();
    }

    write_free(screen, {});
    for (;;) {
        write_free(screen, {"-----------------------------------------------"});
        write_free(screen, {"Do you want to check another frequency for this"});
        write_free(screen, {"inputfile ? (same epoch) => yes=1, no=0"});
        write_free(screen, {"-----------------------------------------------"});
        int answer = 0;
        common::read_free(keyboard, {answer});
        write_free(screen, {});
        if (answer == 1) return true;
        if (answer == 0) return false;
    }
}

}  // namespace

void run()
{
    // The scratch of the fit, sized once for the whole run.
    const auto work = std::make_unique<Workspace>();
    for (;;) {
        write_free(screen, {"Give the name of the input file (eof to end)"});
        common::read_free(keyboard, {lijn4.inname});
        write_free(screen, {});
        if (lijn4.inname == "eof") return;
        if (!read_file()) continue;
        if (!choose_epoch()) continue;
        while (fit_once(*work)) {
        }
    }
}

}  // namespace cyclefit
