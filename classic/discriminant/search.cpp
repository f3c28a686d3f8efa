// The grid search: for every couple (l, m) of the run, the discriminant at
// every point of the four-parameter grid, the listing of the nminima best
// points, and after the last couple the ranked table of final results.
// Then the closing banner of the run.
#include <cstdint>
#include <string>

#include "common/constants.hpp"
#include "common/io.hpp"
#include "discriminant/discriminant.hpp"
#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"
#include "discriminant/runconfig.hpp"
#include "selection.hpp"

namespace discriminant {

using common::screen;
using common::write_fmt;
using common::write_free;

namespace {

const char* const header_format = "(A3,3X,A3,1X,A3,A11,2X,4A8,2X,2A10)";
const char* const row_format = "(I3,3X,I3,1X,I3,F11.5,2X,4F8.3,2X,2F10.5)";

void write_header_line(int channel)
{
    write_fmt(channel, header_format, {"pos", "l", "m", "discr", "vp", "incl", "vomega", "sigma", "dgamma_1", "dgamma_n"});
}

void write_row(int channel, std::int64_t pos, int l, int m, const double* p, double dgamma_1, double dgamma_n)
{
    write_fmt(channel, row_format, {pos, l, m, p[0], p[1], p[2], p[3], p[4], dgamma_1, dgamma_n});
}

// Every grid point of one couple, in the order vp, incl, vomega, sigma
// (innermost); the running values are built by repeated addition of the step.
void evaluate_grid(const Runconfig& c, Workspace& w, const Couple& couple)
{
    std::int64_t k = 0;
    double vp = c.vp.min - c.vp.step;
    for (int ivp = 1; ivp <= c.vp.count; ++ivp) {
        vp = vp + c.vp.step;
        double incl = c.inclrad_min - c.inclrad_step;
        for (int iincl = 1; iincl <= c.incl.count; ++iincl) {
            incl = incl + c.inclrad_step;
            double vomega = c.vomega.min - c.vomega.step;
            for (int ivomega = 1; ivomega <= c.vomega.count; ++ivomega) {
                vomega = vomega + c.vomega.step;
                double sigma = c.sigma.min - c.sigma.step;
                for (int isigma = 1; isigma <= c.sigma.count; ++isigma) {
                    sigma = sigma + c.sigma.step;
                    ++k;
                    if (k % c.progressstep == 0) write_free(screen, {k / c.progressstep * 20, " %"});
                    double* row = w.table[k];
                    row[0] = discriminant(w.cache, couple, {.incl = incl, .vp = vp, .vomega = vomega, .sigma = sigma},
                                          c.observed);
                    row[1] = vp;
                    row[2] = 180 * incl / suite::pi;
                    row[3] = vomega;
                    row[4] = sigma;
                }
            }
        }
    }
}

void visit_couple(const Runconfig& c, Workspace& w, int l, int m, int& j)
{
    write_free(screen, {});
    write_free(screen, {"(l,m) = (", l, ",", m, ")"});
    write_free(output_channel, {});
    write_header_line(output_channel);
    ++j;
    evaluate_grid(c, w, {.l = l, .m = m});
    double* best = w.couples[j];
    select_minima(w.table, 0, c.ngrid, c.nminima, [&](std::int64_t pos, const double* p, double d1, double dn) {
        if (pos == 1) {
            write_header_line(screen);
            write_row(screen, pos, l, m, p, d1, dn);
        }
        write_row(output_channel, pos, l, m, p, d1, dn);
        if (pos == 1) {
            best[0] = l;
            best[1] = m;
            for (int q = 0; q < 5; ++q) best[q + 2] = p[q];
        }
    });
}

void final_table(const Runconfig& c, Workspace& w)
{
    for (int channel : {screen, output_channel}) {
        write_free(channel, {});
        write_free(channel, {});
        write_fmt(channel, "('Table with the final results (Sf = ',F10.5,')')", {error.sf});
        write_free(channel, {});
        write_header_line(channel);
    }
    select_minima(w.couples, 2, c.ncouples, c.ncouples, [&](std::int64_t pos, const double* p, double d1, double dn) {
        const int l = static_cast<int>(p[0]);
        const int m = static_cast<int>(p[1]);
        write_row(output_channel, pos, l, m, p + 2, d1, dn);
        write_row(screen, pos, l, m, p + 2, d1, dn);
    });
}

// What the search stores: rows 1 ... ngrid of table, as many as the four
// counts make, rows 1 ... ncouples of couples, and the tables of the degrees
// of the run.  Empty when the run fits.
std::string beyond_workspace(const Runconfig& c, const Workspace& w)
{
    std::string why = refusal(c);
    if (!why.empty()) return why;
    const std::int64_t points = std::int64_t{c.incl.count} * c.vp.count * c.vomega.count * c.sigma.count;
    if (points != c.ngrid) return "The grid holds " + std::to_string(points) + " points, not " + std::to_string(c.ngrid);
    if (c.ncouples > 0 && c.lmax > w.cache.lmax)
        return "The workspace holds degrees up to " + std::to_string(w.cache.lmax) + ", not " + std::to_string(c.lmax);
    return {};
}

}  // namespace

void search(const Runconfig& c, Workspace& w)
{
    const std::string why = beyond_workspace(c, w);
    if (!why.empty()) common::stop(why);
    int j = 0;
    for (std::int64_t l = c.lmin; l <= c.lmax; ++l) {
        const int degree = static_cast<int>(l);
        const Mrange r = m_range(c.modes, degree, c.mspecific);
        for (std::int64_t m = r.low; m <= r.high; ++m) visit_couple(c, w, degree, static_cast<int>(m), j);
    }
    final_table(c, w);
}

void run()
{
    integraal = {};
    alfa = {};
    limbdarkening = {};
    error = {};
    gauleg();
    write_free(screen, {});
    write_free(screen, {});
    common::open_old(config_channel, "discriminant.in");
    Runconfig c;
    if (readconfig(c)) {
        const std::string why = refusal(c);
        if (!why.empty()) common::stop(why);
        const std::unique_ptr<Workspace> workspace = make_workspace(c);
        write_header(c);
        search(c, *workspace);
    }
    common::close_channel(config_channel);
    write_free(screen, {});
    write_free(screen, {});
    write_free(screen, {"*********************"});
    write_free(screen, {"* MISSION COMPLETED *"});
    write_free(screen, {"*********************"});
    write_free(screen, {});
    write_free(screen, {});
    write_free(screen, {c.outfile});
    write_free(screen, {});
    write_free(screen, {});
    common::stop();
}

}  // namespace discriminant
