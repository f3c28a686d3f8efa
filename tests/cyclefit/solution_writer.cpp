#include "solution_writer.hpp"

#include <fstream>

#include "common/io.hpp"
#include "solution.hpp"
#include "storage.hpp"

namespace plottest {

double curvefit(int q) { return 11.0 + 0.005 * q; }

// The records in the report's order, through the layout the report and the
// phase plot share; the characteristics of the observations, which the phase
// plot reads only for their count, are stand-in lines around that count.
void write_solution(const Solution& o)
{
    using common::write_fmt;
    using common::write_free;
    namespace sol = cyclefit::solution;
    constexpr int f = cyclefit::solutionfile;
    common::open_new(f, o.outname);
    write_free(f, {common::Text(70, o.inname), common::Text(70, o.outname)});
    sol::write_block(f, sol::after_names);
    for (int k = 1; k <= sol::characteristics_records; ++k) {
        if (k == sol::count_record)
            write_fmt(f, "(7X,'number            : ',I6)", {static_cast<int>(o.rows.size())});
        else
            write_free(f, {"characteristic", k});
    }
    sol::write_block(f, sol::fit_heading);
    write_free(f, {sol::nfreq_label, 1});
    sol::write_block(f, sol::after_nfreq);
    write_fmt(f, sol::constant_record, {11.0, 0.01, 0.02});
    write_fmt(f, sol::freq_record, {1, o.freq, o.nharm, o.nharm});
    for (int j = 1; j <= o.nharm; ++j) {
        write_fmt(f, sol::sine_record, {0.3, 0.01, 0.02});
        write_fmt(f, sol::cosine_record, {0.4, 0.01, 0.02});
        write_fmt(f, sol::amplitude_record, {j * o.freq, 0.5 / j, 0.01});
        write_fmt(f, sol::phase_record, {j * o.freq, 0.1, 0.01});
    }
    write_fmt(f, sol::ressum_record, {0.123});
    sol::write_block(f, sol::before_imax);
    write_fmt(f, sol::imax_record, {o.imax});
    sol::write_block(f, sol::table_heading);
    for (const Row& r : o.rows) write_fmt(f, sol::row_record, {r.t, r.res, r.x, r.err, r.fit, r.phase});
    sol::write_block(f, sol::before_fracvar);
    write_fmt(f, sol::fracvar_record, {sol::fracvar_label, o.fracvar});
    sol::write_block(f, sol::after_fracvar);
    sol::write_block(f, sol::curve_heading);
    for (int q = 0; q < o.curverows; ++q) write_fmt(f, sol::row_record, {curvefit(q), 0.01 * q});
    common::close_channel(f);
}

std::vector<std::string> lines_of(const std::string& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void change_line(const std::string& file, int line, const std::string& text, bool cut)
{
    std::vector<std::string> lines = lines_of(file);
    if (cut) lines.resize(line);
    else lines.at(line - 1) = text;
    std::ofstream out(file, std::ios::trunc);
    for (const std::string& l : lines) out << l << '\n';
}

}  // namespace plottest
