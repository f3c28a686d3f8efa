// The amplitude spectrum against periodscan's Scargle output file: equal to
// the file's printed rounding (half a unit of its eighth decimal) plus 1e-9
// of the highest peak, on every row, the row at frequency zero included.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/format.hpp"
#include "periodscan/periodscan.hpp"
#include "support/periodscan_file.hpp"
#include "support/series.hpp"
#include "spectrum/spectrum.hpp"
#include "timeseries/timeseries.hpp"

namespace {

using spectrum::Grid;
using spectrum_test::Row;
using spectrum_test::parse_rows;
using spectrum_test::periodscan_file;
using spectrum::Method;

constexpr double printed_rounding = 0.5e-8;
constexpr double relative_allowance = 1e-9;

void expect_agreement(const std::vector<Row>& file, const std::vector<double>& amplitude, const char* method)
{
    SCOPED_TRACE(method);
    ASSERT_EQ(file.size(), amplitude.size());
    double peak = 0.0;
    for (const Row& r : file)
        if (!std::isnan(r.amplitude)) peak = std::max(peak, r.amplitude);
    double allowed = printed_rounding + relative_allowance * peak;
    for (std::size_t j = 0; j < file.size(); ++j) {
        if (std::isnan(file[j].amplitude)) {
            EXPECT_TRUE(std::isnan(amplitude[j])) << "row " << j;
            continue;
        }
        ASSERT_NEAR(amplitude[j], file[j].amplitude, allowed) << "row " << j << " at " << file[j].frequency;
    }
}

void expect_both_methods_agree(const std::vector<double>& t, const std::vector<double>& x, const Grid& grid,
                               const std::vector<Row>& file)
{
    for (Method method : {Method::exact, Method::nufft}) {
        spectrum::Settings settings;
        settings.method = method;
        std::vector<double> amplitude = spectrum::Plan(t, grid, settings).amplitude(x);
        expect_agreement(file, amplitude, method == Method::exact ? "exact" : "nufft");
    }
}

std::string here() { return std::string(__FILE__).substr(0, std::string(__FILE__).rfind('/')); }

// The stored result of the program's own transcript case: 40 Hipparcos
// magnitudes searched from 0 to 10 c/d in steps of 0.25.
TEST(PeriodscanAgreement, StoredScargleFile)
{
    std::string dir = here() + "/../transcripts/periodscan/scargle_search";
    std::ifstream data(dir + "/in/star.dat");
    std::ifstream stored(dir + "/expected/files/scargle.out");
    ASSERT_TRUE(data && stored);
    std::string header;
    std::getline(data, header);
    std::vector<double> t, x;
    double a, b;
    while (data >> a >> b) {
        t.push_back(a);
        x.push_back(b);
    }
    std::stringstream text;
    text << stored.rdbuf();
    std::vector<Row> file = parse_rows(text.str());
    ASSERT_EQ(file.size(), 41u);
    expect_both_methods_agree(t, x, Grid{0.0, 0.25, file.size()}, file);
}

// The largest series periodscan reads, in millimagnitudes and in
// magnitudes (where the printed rounding dominates), at BJD 2457000.
TEST(PeriodscanAgreement, TenThousandPointsFromZeroFrequency)
{
    for (double unit : {1.0, 0.001}) {
        SCOPED_TRACE(unit);
        testseries::Series s = testseries::make(
            {.n = periodscan::nmax, .span = 60.0, .amplitude = 30.0 * unit, .frequency = 17.77, .noise = 5.0 * unit});
        int nf = 2001;
        double step = 0.02;
        std::vector<Row> file = periodscan_file(s.t, s.x, 0.0, nf, step);
        expect_both_methods_agree(s.t, s.x, Grid{0.0, step, static_cast<std::size_t>(nf)}, file);
    }
}

}  // namespace
