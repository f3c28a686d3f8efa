// The run of discriminant: the configuration read from discriminant.in, the
// search over the (l, m) couples and the parameter grid, and the tables.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/text.hpp"
#include "discriminant/discriminant.hpp"

namespace discriminant {

// One grid parameter: minimum, maximum, step and the number of values.
struct Gridrange {
    double min = 0, max = 0, step = 0;
    int count = 0;
    bool count_ok = true;  // the count came out a finite whole number of int size
};

// The kind of modes of a run, from its word in discriminant.in; none for a
// word that is not one of the five.
enum class Kind { all, axi_symmetric, tesseral, sectoral, specific, none };

// The orders m a run visits for one degree: low ... high, none when high <
// low.
struct Mrange {
    int low = 0;
    int high = -1;
};

struct Runconfig {
    common::Text title{25};
    common::Text notes[6] = {common::Text(70), common::Text(70), common::Text(70),
                             common::Text(70), common::Text(70), common::Text(70)};
    int lmin = 0, lmax = 0;
    common::Text kind{13};
    Kind modes = Kind::none;  // kind, parsed once when read
    int mspecific = 0;
    Gridrange incl, vp, vomega, sigma;
    double inclrad_min = 0, inclrad_max = 0, inclrad_step = 0;  // incl in radians
    double limbcoef = 0;
    common::Text outfile{70};
    double freq = 0;
    Observed observed;
    std::int64_t ncouples = 0;
    std::int64_t ngrid = 0;
    int progressstep = 0;
    std::int64_t nminima = 0;
};

// Capacities of the search.
constexpr int max_couples = 45;
constexpr int max_grid = 20000;

// Channels of the configuration file and of the output file.
constexpr int config_channel = 11;
constexpr int output_channel = 12;

// The program's working storage, sized once before the search: the grid
// points of the current couple (rows 1 ... ngrid), the best point of every
// couple (rows 1 ... ncouples) and the discriminant's tables for the
// degrees of the run.  Row 0 of table and couples is not used.
struct Workspace {
    explicit Workspace(int lmax) : cache(lmax) {}

    double table[max_grid + 1][5] = {};      // discr, vp, incl (degrees), vomega, sigma
    double couples[max_couples + 1][7] = {};  // l, m, then the five columns of table
    DiscriminantCache cache;
};

// The workspace of a run: tables up to the largest degree it visits.
std::unique_ptr<Workspace> make_workspace(const Runconfig& c);

// The kind of modes a word names: the comparison is exact and case-sensitive.
Kind parse_kind(const common::Text& word);
// The orders m that a run of the kind visits for degree l (mspecific for
// "specific"); a negative degree has none.
Mrange m_range(Kind modes, int l, int mspecific);
// The number of couples of a run (64 bits: a wide l range cannot overflow).
std::int64_t count_couples(const Runconfig& c);
// The number of values of a grid range: integer part of (max - min)/step,
// plus 1; count_ok is false when that is not a finite number of int size.
void count_range(Gridrange& g);
// The message that refuses a run beyond the search's limits or outside the
// domain of the discriminant; empty when the run may go on.
std::string refusal(const Runconfig& c);

// Reads discriminant.in with its echo; true when all of it was read, false
// when the file ended where a run may end early.
bool readconfig(Runconfig& c);
// Opens the output file and writes its header.
void write_header(const Runconfig& c);
// The search over couples and grid, both listings and the final table.
// A run that refusal() refuses, or one beyond the workspace, is stopped
// with a message before anything is stored.
void search(const Runconfig& c, Workspace& w);

// The whole program.
void run();

}  // namespace discriminant
