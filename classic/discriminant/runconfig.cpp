// Reading discriminant.in: its line table, the echo of the run on the
// screen, the derived counts, the refusals of runs beyond the search's
// limits, and the header of the output file.
#include "discriminant/runconfig.hpp"

#include <algorithm>
#include <climits>
#include <cmath>

#include "common/constants.hpp"
#include "common/io.hpp"
#include "discriminant/discriminant.hpp"
#include "discriminant/records.hpp"

namespace discriminant {

using common::ReadOutcome;
using common::screen;
using common::write_fmt;
using common::write_free;

namespace {

const char* const observed_labels[7] = {"---> AA   : ", "---> CC   : ", "---> DD   : ", "---> EE   : ",
                                        "---> FF   : ", "---> GG   : ", "---> RST  : "};
const char* const observed_names[7] = {"AA", "CC", "DD", "EE", "FF", "GG", "RST"};

// A read where the file may end: true when it did.
bool ended(ReadOutcome outcome) { return outcome == ReadOutcome::end_of_file; }

bool skip_lines(int n)
{
    for (int i = 0; i < n; ++i)
        if (ended(common::skip_line(config_channel, common::handle_end))) return true;
    return false;
}

// A "(a70)" note line, echoed to the screen once read.
bool read_note(common::Text& note)
{
    if (ended(common::read_fmt(config_channel, "(a70)", {note}, common::handle_end))) return true;
    write_fmt(screen, "(a70)", {note});
    return false;
}

void read_range(Gridrange& g)
{
    common::read_free(config_channel, {g.min, g.max, g.step});
    count_range(g);
}

// A value of int size for the screen: float or double beyond it is clamped.
int clamped_int(double x)
{
    if (!(x > INT_MIN)) return INT_MIN;
    if (!(x < INT_MAX)) return INT_MAX;
    return static_cast<int>(x);
}

void derive_grid(Runconfig& c)
{
    // Products of whole counts stay exact while they are below 2^53; a larger
    // grid is refused anyway and only needs to show as too large.
    const double p = static_cast<double>(c.incl.count) * c.vp.count * c.vomega.count * c.sigma.count;
    c.ngrid = std::fabs(p) < 1e15 ? static_cast<std::int64_t>(p) : (p > 0 ? 1000000000000000 : -1000000000000000);
    const float fifth = 0.2f * static_cast<float>(c.ngrid);
    c.progressstep = clamped_int(fifth);
    if (c.progressstep == 0) c.progressstep = 1;
    c.nminima = c.ngrid < 50 ? c.ngrid : 50;
}

void write_range(int channel, const char* label, const Gridrange& g)
{
    write_fmt(channel, "(A29,3F10.5)", {label, g.min, g.max, g.step});
}

// The frequency, K and the seven observed lines of the output file.
void write_mode_lines(int channel, const Runconfig& c)
{
    write_fmt(channel, "(A12,F10.7,A4)", {"---> freq : ", c.freq, " c/d"});
    write_fmt(channel, "(A12,F12.5)", {"---> K    : ", alfa.K});
    for (int q = 0; q < 7; ++q)
        write_fmt(channel, "(A12,2F12.5)", {observed_labels[q], c.observed.value[q], c.observed.error[q]});
}

}  // namespace

Kind parse_kind(const common::Text& word)
{
    if (word == "all") return Kind::all;
    if (word == "axi-symmetric") return Kind::axi_symmetric;
    if (word == "tesseral") return Kind::tesseral;
    if (word == "sectoral") return Kind::sectoral;
    if (word == "specific") return Kind::specific;
    return Kind::none;
}

Mrange m_range(Kind modes, int l, int mspecific)
{
    if (l < 0) return {};
    switch (modes) {
    case Kind::all: return {0, l};
    case Kind::axi_symmetric: return {0, 0};
    case Kind::tesseral: return {1, l - 1};
    case Kind::sectoral: return {l, l};
    case Kind::specific: return {mspecific, mspecific};
    case Kind::none: break;
    }
    return {};
}

// count_couples: the couples of degrees lmin ... lmax, as the search visits
// them (m_range).
//   Notes: 1. Degree 0 is counted alone.  From degree 1 on no range of the
//             five kinds is cut short (tesseral's is empty at l = 1, with
//             high - low + 1 = 0) and both bounds are linear in l, so the
//             counts per degree form an arithmetic sequence, summed in
//             closed form: an l range as wide as int takes no loop.
//          2. Negative degrees count nothing; the search visits none.
std::int64_t count_couples(const Runconfig& c)
{
    auto couples_of = [&](std::int64_t l) -> __int128 {
        const Mrange r = m_range(c.modes, static_cast<int>(l), c.mspecific);
        return r.high < r.low ? 0 : static_cast<__int128>(r.high) - r.low + 1;
    };
    const std::int64_t last = c.lmax;
    std::int64_t l = std::max<std::int64_t>(c.lmin, 0);
    __int128 n = 0;
    if (l == 0 && l <= last) n += couples_of(l++);
    if (l <= last) n += (last - l + 1) * (couples_of(l) + couples_of(last)) / 2;
    if (n > INT64_MAX) return INT64_MAX;
    return static_cast<std::int64_t>(n);
}

std::unique_ptr<Workspace> make_workspace(const Runconfig& c)
{
    return std::make_unique<Workspace>(c.ncouples > 0 ? c.lmax : 0);
}

void count_range(Gridrange& g)
{
    // In double precision first: a zero step gives an infinite or NaN
    // quotient, which has no integer value.
    const double n = std::trunc((g.max - g.min) / g.step) + 1.0;
    g.count_ok = std::isfinite(n) && n >= INT_MIN && n <= INT_MAX;
    g.count = g.count_ok ? static_cast<int>(n) : 0;
}

std::string refusal(const Runconfig& c)
{
    if (c.lmin < 0) return "lmin below 0: the degree l must be 0 or more";
    if (c.modes == Kind::none)
        return "Unknown kind of modes \"" + std::string(c.kind.trimmed())
               + "\": it must be all, axi-symmetric, tesseral, sectoral or specific";
    if (c.ncouples > max_couples)
        return "Too many (l,m)-couples: " + std::to_string(c.ncouples) + " (at most " + std::to_string(max_couples) + ")";
    if (c.ncouples > 0 && c.lmax > lmax_finite)
        return "lmax above " + std::to_string(lmax_finite) + ": the degree l must be " + std::to_string(lmax_finite)
               + " or less, as the factorials up to (2l)! must stay finite";
    const Gridrange* ranges[4] = {&c.incl, &c.vp, &c.vomega, &c.sigma};
    const char* names[4] = {"inclination", "vp", "vomega", "sigma"};
    for (int q = 0; q < 4; ++q) {
        const Gridrange& g = *ranges[q];
        if (!g.count_ok || g.count < 1 || g.count > max_grid)
            return std::string("Bad ") + names[q] + " grid: minimum, maximum and step must give 1 to "
                   + std::to_string(max_grid) + " values";
    }
    if (c.ngrid > max_grid)
        return "Too many gridpoints: " + std::to_string(c.ngrid) + " (at most " + std::to_string(max_grid) + ")";
    if (c.limbcoef == 1.0) return "Limb-darkening coefficient u = 1 gives no beta: u must differ from 1";
    for (int q = 0; q < 7; ++q)
        if (!(c.observed.error[q] > 0)) return std::string("Standard error of ") + observed_names[q] + " must be above 0";
    for (int q = 0; q < 7; ++q)
        if (c.observed.value[q] < 0) return std::string("Observed ") + observed_names[q] + " must not be negative";
    bool all_zero = true;
    for (int q = 0; q < 7; ++q) all_zero = all_zero && c.observed.value[q] == 0;
    if (all_zero) return "All seven observed values are 0: at least one must be above 0";
    if (c.modes == Kind::specific && c.lmin <= c.lmax && std::llabs(static_cast<long long>(c.mspecific)) > c.lmin)
        return "Specific m-value " + std::to_string(c.mspecific) + " lies outside -l..l for l = "
               + std::to_string(c.lmin);
    return {};
}

bool readconfig(Runconfig& c)
{
    using common::read_free;
    const int ch = config_channel;

    if (skip_lines(4)) return false;
    read_free(ch, {c.title});
    if (skip_lines(2)) return false;
    if (read_note(c.notes[0]) || read_note(c.notes[1])) return false;
    common::skip_line(ch);
    read_free(ch, {c.lmin, c.lmax});
    write_free(screen, {"---> range of l-values : ", c.lmin, c.lmax});
    read_free(ch, {c.kind});
    c.modes = parse_kind(c.kind);
    write_free(screen, {"---> kind of modes     : ", c.kind});
    if (c.modes == Kind::tesseral && c.lmax <= 1) {
        write_free(screen, {});
        common::stop("No tesseral modes in specified l-range !!!");
    }
    if (skip_lines(5)) return false;
    read_free(ch, {c.mspecific});
    if (c.modes == Kind::specific) write_free(screen, {"---> specific m-value     : ", c.mspecific});
    c.ncouples = count_couples(c);
    write_free(screen, {});
    write_free(screen, {"---> number of (l,m)-couples          : ", c.ncouples});
    write_free(screen, {});
    write_free(screen, {});

    if (skip_lines(2)) return false;
    if (read_note(c.notes[2]) || read_note(c.notes[3])) return false;
    common::skip_line(ch);
    read_range(c.incl);
    write_range(screen, "---> inclination (degrees) : ", c.incl);
    c.inclrad_min = c.incl.min * suite::pi / 180;
    c.inclrad_max = c.incl.max * suite::pi / 180;
    c.inclrad_step = c.incl.step * suite::pi / 180;
    write_fmt(screen, "(A29,3F10.5)", {"                 (radians) : ", c.inclrad_min, c.inclrad_max, c.inclrad_step});
    read_range(c.vp);
    write_range(screen, "---> vp (km/s)             : ", c.vp);
    read_range(c.vomega);
    write_range(screen, "---> vomega (km/s)         : ", c.vomega);
    read_range(c.sigma);
    write_range(screen, "---> sigma (km/s)          : ", c.sigma);
    derive_grid(c);
    write_fmt(screen, "(A29,I10,A10,I10)", {"---> number of gridpoints  : ", c.ngrid, " => 20 % :", c.progressstep});
    write_free(screen, {"---> number of minima for every (l,m) : ", c.nminima});
    write_free(screen, {});
    write_free(screen, {});

    if (skip_lines(2)) return false;
    if (read_note(c.notes[4]) || read_note(c.notes[5])) return false;
    if (skip_lines(1)) return false;
    if (ended(read_free(ch, {c.limbcoef}, common::handle_end))) return false;
    limbdarkening.beta = c.limbcoef / (1 - c.limbcoef);
    write_fmt(screen, "(A23,F10.5,A11,F15.10)", {"---> limbdarkening   : ", c.limbcoef, " => beta : ", limbdarkening.beta});

    // The mode block: one mode per run, number 1.
    write_free(screen, {});
    write_free(screen, {});
    if (skip_lines(1)) return false;
    write_free(screen, {"***********"});
    write_fmt(screen, "(a8,i2,a2)", {" * MODE ", 1, " *"});
    write_free(screen, {"***********"});
    write_free(screen, {});
    if (ended(read_free(ch, {c.outfile}, common::handle_end))) return false;
    write_free(screen, {c.outfile});
    if (ended(read_free(ch, {c.freq}, common::handle_end))) return false;
    write_fmt(screen, "(A12,F10.7,A4)", {"---> freq : ", c.freq, " c/d"});
    if (ended(read_free(ch, {alfa.K}, common::handle_end))) return false;
    write_fmt(screen, "(A12,F12.5)", {"---> K    : ", alfa.K});
    for (int q = 0; q < 7; ++q) {
        if (ended(read_free(ch, {c.observed.value[q], c.observed.error[q]}, common::handle_end))) return false;
        write_fmt(screen, "(A12,2F12.5)", {observed_labels[q], c.observed.value[q], c.observed.error[q]});
    }
    return true;
}

void write_header(const Runconfig& c)
{
    const int out = output_channel;
    common::open_new(out, c.outfile.trimmed());
    write_free(out, {c.outfile});
    write_free(out, {});
    write_free(out, {c.title});
    write_free(out, {});
    write_free(out, {c.notes[0]});
    write_free(out, {c.notes[1]});
    write_free(out, {"---> range of l-values : ", c.lmin, c.lmax});
    write_free(out, {"---> kind of modes     : ", c.kind});
    write_free(out, {"---> number of (l,m)-couples          : ", c.ncouples});
    write_free(out, {"---> number of minima for every (l,m) : ", c.nminima});
    write_free(out, {});
    write_free(out, {c.notes[2]});
    write_free(out, {c.notes[3]});
    write_range(out, "---> inclination (degrees) : ", c.incl);
    write_range(out, "---> vp (km/s)             : ", c.vp);
    write_range(out, "---> vomega (km/s)         : ", c.vomega);
    write_range(out, "---> sigma (km/s)          : ", c.sigma);
    write_free(out, {});
    write_free(out, {c.notes[4]});
    write_free(out, {c.notes[5]});
    write_fmt(out, "(A23,F10.5,A11,F15.10)", {"---> limbdarkening   : ", c.limbcoef, " => beta : ", limbdarkening.beta});
    write_mode_lines(out, c);
    write_free(out, {});
    write_free(out, {});
}

}  // namespace discriminant
