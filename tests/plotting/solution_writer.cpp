#include "solution_writer.hpp"

#include <fstream>

#include "common/io.hpp"

namespace plottest {

double curvefit(int q) { return 11.0 + 0.005 * q; }

void schrijf(const Oplossing& o)
{
    using common::write_fmt;
    using common::write_free;
    constexpr int f = 11;
    common::open_new(f, o.outname);
    write_free(f, {common::Text(70, o.inname), common::Text(70, o.outname)});
    write_free(f, {});
    write_free(f, {});
    write_free(f, {"CHARACTERISTICS OF THE OBSERVATIONS"});
    write_free(f, {});
    write_fmt(f, "(7X,'number            : ',I6)", {static_cast<int>(o.rows.size())});
    for (int k = 0; k < 9; ++k) write_free(f, {"characteristic", k});
    write_free(f, {});
    write_free(f, {});
    write_free(f, {});
    write_free(f, {"CHARACTERISTICS OF THE FIT"});
    write_free(f, {});
    write_free(f, {"number of frequencies : ", 1});
    write_free(f, {});
    write_fmt(f, "(1X,'constant : ',F15.5,9X,'(',F9.5,' ->',F9.5,')')", {11.0, 0.01, 0.02});
    write_fmt(f, "(1X,'FREQ',I2,' = ',F11.8,'(',I2,') with ',I2,' harmonics')", {1, o.freq, o.nharm, o.nharm});
    for (int j = 1; j <= o.nharm; ++j) {
        write_fmt(f, "(4X,' sine    * ',3X,F15.5,4X,'(',F9.5,' ->',F9.5,')')", {0.3, 0.01, 0.02});
        write_fmt(f, "(4X,' cosine  * ',3X,F15.5,4X,'(',F9.5,' ->',F9.5,')')", {0.4, 0.01, 0.02});
        write_fmt(f, "(4X,'frequency ->  ',F12.8,2X,'amplitude:  ',F15.5,3X,'s.e.:',F10.4)",
                  {j * o.freq, 0.5 / j, 0.01});
        write_fmt(f, "(4X,'frequency ->  ',F12.8,2X,'phase(in 2pi rad): ',F8.5,3X,'s.e.:',F10.4)",
                  {j * o.freq, 0.1, 0.01});
    }
    write_fmt(f, "(1X,'res. sum : ',F20.8)", {0.123});
    write_free(f, {});
    write_fmt(f, "(' frequency with biggest amplitude : ',I2)", {o.imax});
    write_free(f, {});
    write_free(f, {});
    write_free(f, {"OUTPUT FOR THE MOMENTS OF OBSERVATION"});
    write_free(f, {});
    write_free(f, {"     time         residual     variable", "      error         fit         phase"});
    for (const Rij& r : o.rows) write_fmt(f, "(1X,F13.7,15F13.5)", {r.t, r.res, r.x, r.err, r.fit, r.phase});
    write_free(f, {});
    write_free(f, {});
    write_fmt(f, "(a11,f7.4)", {" FRACVAR = ", o.fracvar});
    write_free(f, {});
    write_free(f, {});
    write_free(f, {"CALCULATED FIT"});
    write_free(f, {});
    write_free(f, {"        fit         phases"});
    for (int q = 0; q < o.curverows; ++q) write_fmt(f, "(1X,F13.7,15F13.5)", {curvefit(q), 0.01 * q});
    common::close_channel(f);
}

std::vector<std::string> regels(const std::string& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void verander(const std::string& file, int line, const std::string& text, bool cut)
{
    std::vector<std::string> lines = regels(file);
    if (cut) lines.resize(line);
    else lines.at(line - 1) = text;
    std::ofstream out(file, std::ios::trunc);
    for (const std::string& l : lines) out << l << '\n';
}

}  // namespace plottest
