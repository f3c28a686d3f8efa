// Reading time series in both profiles, the shift, and the characteristics
// of the observations with their two report layouts.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/io.hpp"
#include "timeseries/timeseries.hpp"

namespace {

using timeseries::ReadEnd;

class TimeSeries : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("timeseries_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override
    {
        common::reset_channels();
        std::filesystem::remove_all(dir_);
    }
    std::string file(const std::string& name, const std::string& contents)
    {
        std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }
    std::string slurp(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path dir_;
    std::vector<double> t = std::vector<double>(8, -99.0), x = std::vector<double>(8, -99.0),
                        err = std::vector<double>(8, -99.0);
};

TEST_F(TimeSeries, PeriodscanProfileSkipsHeaderAndExtraColumns)
{
    common::open_old(9, file("a.dat", "header 1 2 3\n1.5 2.5 9.9\n2.5, 3.5\n\n3.5 4.5\n\n"));
    int n = -1;
    ReadEnd end;
    timeseries::dlees(9, 8, n, t, x, &end);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(t[0], 1.5);
    EXPECT_EQ(x[0], 2.5);
    EXPECT_EQ(t[1], 2.5);
    EXPECT_EQ(x[1], 3.5);
    EXPECT_EQ(t[2], 3.5);  // after a blank line; a blank last line holds nothing either
    EXPECT_EQ(x[2], 4.5);
    EXPECT_EQ(end.why, ReadEnd::Why::end_of_file);
    EXPECT_EQ(end.line, 6);
}

TEST_F(TimeSeries, PeriodscanProfileRewindsTheChannel)
{
    common::open_old(9, file("a.dat", "header\n1 2\n"));
    common::skip_line(9);
    common::skip_line(9);
    int n = -1;
    timeseries::dlees(9, 8, n, t, x);
    EXPECT_EQ(n, 1);
}

TEST_F(TimeSeries, HeaderOnlyAndEmptyFilesHoldNoObservation)
{
    int n = -1;
    common::open_old(9, file("h.dat", "only a header\n"));
    timeseries::dlees(9, 8, n, t, x);
    EXPECT_EQ(n, 0);
    n = -1;
    common::open_old(9, file("e.dat", ""));
    timeseries::dlees(9, 8, n, t, x);
    EXPECT_EQ(n, 0);
}

TEST_F(TimeSeries, PeriodscanProfileBadValueIsFatal)
{
    common::open_old(9, file("b.dat", "header\n1 2\n3 x\n"));
    int n = 0;
    try {
        timeseries::dlees(9, 8, n, t, x);
        FAIL() << "a bad value must end the program";
    } catch (const common::ProgramEnd& e) {
        EXPECT_EQ(e.status, 2);
    }
}

TEST_F(TimeSeries, CapacityIsReportedOnlyWhenMoreDataFollow)
{
    int n = 0;
    ReadEnd end;
    common::open_old(9, file("full.dat", "h\n1 1\n2 2\n3 3\n"));
    timeseries::dlees(9, 3, n, t, x, &end);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(end.why, ReadEnd::Why::end_of_file);

    common::open_old(9, file("more.dat", "h\n1 1\n2 2\n3 3\n4 4\n5 5\n"));
    timeseries::dlees(9, 3, n, t, x, &end);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(end.why, ReadEnd::Why::capacity);
    EXPECT_EQ(end.line, 4);  // the line of the last observation read
    EXPECT_EQ(t[3], -99.0);  // nothing stored past the capacity

    // cyclefit profile, with the capacity cut further by the array sizes
    std::vector<double> t2(2), x2(2), e2(2);
    common::open_old(7, file("more2.dat", "1 1 1\n2 2 2\n3 3 3\n"));
    timeseries::dlees(7, 75000, n, t2, x2, e2, 1, &end);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(end.why, ReadEnd::Why::capacity);
}

TEST_F(TimeSeries, CyclefitProfileErrorColumn)
{
    int n = 0;
    common::open_old(7, file("c.dat", "1 10 0.1\n2 20 0.2\n"));
    timeseries::dlees(7, 8, n, t, x, err, 0);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(x[1], 20.0);
    EXPECT_EQ(err[0], 0.0);
    EXPECT_EQ(err[1], 0.0);

    common::open_old(7, file("c.dat", "1 10 0.1\n\n2 20 0.2\n\n"));
    ReadEnd end;
    timeseries::dlees(7, 8, n, t, x, err, 1, &end);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(err[1], 0.2);
    EXPECT_EQ(end.why, ReadEnd::Why::end_of_file);
}

// Files whose second, middle or last observation line holds one value too
// few, with LF and with CR LF line ends.
struct ShortLine {
    const char* text;
    int line;  // the short line
    int before;  // observations read before it
};
const ShortLine short_lines[] = {
    {"header\n7.5\n1 2\n", 2, 0},           {"header\n1 2\n3\n4 5\n6 7\n", 3, 1},
    {"header\n1 2\n3 4\n5\n", 4, 2},       {"header\r\n1 2\r\n3\r\n4 5\r\n", 3, 1},
    {"header\n1 2\n\n3 4\n5", 5, 2},
};

TEST_F(TimeSeries, PeriodscanProfileShortLineIsAnInputErrorThere)
{
    for (const ShortLine& c : short_lines) {
        std::string path = file("s.dat", c.text);
        common::open_old(9, path);
        int n = -1;
        try {
            timeseries::dlees(9, 8, n, t, x);
            ADD_FAILURE() << "a short line must end the program: " << c.text;
        } catch (const common::ProgramEnd& e) {
            EXPECT_EQ(e.status, 2);
            EXPECT_EQ(e.message, path + ", line " + std::to_string(c.line) + ": the line ends where a real number was expected");
        }
        common::reset_channels();
    }
}

TEST_F(TimeSeries, CyclefitProfileStopsAtAShortLine)
{
    for (const ShortLine& c : short_lines) {
        common::open_old(7, file("s.dat", c.text));
        common::skip_line(7);  // the header, read by the caller
        int n = -1;
        ReadEnd end;
        timeseries::dlees(7, 8, n, t, x, err, 0, &end);
        EXPECT_EQ(n, c.before) << c.text;
        EXPECT_EQ(end.why, ReadEnd::Why::bad_value) << c.text;
        EXPECT_EQ(end.line, c.line) << c.text;
    }
    // A two-column file read with an error column: nothing is paired up.
    common::open_old(7, file("two.dat", "header\n1 10\n2 20\n3 30\n4 40\n"));
    common::skip_line(7);
    int n = -1;
    ReadEnd end;
    timeseries::dlees(7, 8, n, t, x, err, 1, &end);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(end.why, ReadEnd::Why::bad_value);
    EXPECT_EQ(end.line, 2);
}

TEST_F(TimeSeries, CyclefitProfileStopsQuietlyAtABadValue)
{
    int n = -1;
    ReadEnd end;
    common::open_old(7, file("d.dat", "second header\n1 2\n"));
    timeseries::dlees(7, 8, n, t, x, err, 0, &end);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(end.why, ReadEnd::Why::bad_value);
    EXPECT_EQ(end.line, 1);

    common::open_old(7, file("d.dat", "1 2\n2 3\n3 4\nremark\n5 6\n"));
    timeseries::dlees(7, 8, n, t, x, err, 0, &end);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(end.why, ReadEnd::Why::bad_value);
    EXPECT_EQ(end.line, 4);
}

TEST_F(TimeSeries, DobscoShiftsByACopy)
{
    std::vector<double> v{5.0, 6.0, 7.5, 100.0};
    timeseries::dobsco(3, v, v[0]);
    EXPECT_EQ(v, (std::vector<double>{0.0, 1.0, 2.5, 100.0}));
}

TEST_F(TimeSeries, CharacteristicsOfUnorderedData)
{
    std::vector<double> tt{10.0, 12.0, 11.0, 15.0}, xx{1.0, 3.0, 2.0, 6.0};
    timeseries::Statistics stats;
    timeseries::dobsta(4, tt, xx, stats, 0);
    EXPECT_EQ(stats.mean, 3.0);
    EXPECT_EQ(stats.var, (4.0 + 0.0 + 1.0 + 9.0) / 3.0);
    EXPECT_EQ(stats.sd, std::sqrt(stats.var));

    std::string path = file("r.txt", "");
    common::open_new(11, path);
    timeseries::dobsta(4, tt, xx, stats, 11);
    common::close_channel(11);
    // intervals 2, -1, 4: mean 5/3, deviations 1/3, -8/3, 7/3 over n - 2
    EXPECT_EQ(slurp(path), "1Kenmerken van de gegevens\n"
                           "\n"
                           "       AANTAL :      4\n"
                           "\n"
                           "       WAARNEMINGSTIJDEN   VAN       10.00000   TOT       15.00000\n"
                           "       TOTALE TIJD        :    5.00000( =1/   0.20000)\n"
                           "\n"
                           "       TIJDSINTERVALLEN    VAN    -1.00000   TOT     4.00000\n"
                           "       GEMIDDELD          :    1.66667(STD=   2.51661)\n"
                           "\n"
                           "       WAARNEMINGEN        VAN     1.00000   TOT     6.00000\n"
                           "       RANGE              :    5.00000\n"
                           "       GEMIDDELDE         :    3.00000\n"
                           "       VARIANTIE          :    4.66667\n"
                           "       STANDAARDAFWIJKING :    2.16025\n"
                           "\n"
                           "\n");
}

TEST_F(TimeSeries, CyclefitReportOfOneObservationHasNaNIntervals)
{
    // Only the first element is valid: t(2) must not be read.
    std::vector<double> tt{2450000.5}, xx{7.25};
    double mean = 0, var = 0;
    std::string path = file("r.txt", "");
    common::open_new(11, path);
    timeseries::dobsta(1, tt, xx, mean, var, 1, 11);
    common::close_channel(11);
    EXPECT_EQ(mean, 7.25);
    EXPECT_TRUE(std::isnan(var));
    EXPECT_EQ(slurp(path), "CHARACTERISTICS OF THE OBSERVATIONS\n"
                           "\n"
                           "       number            :      1\n"
                           "       observing time    from  2450000.5000000 until  2450000.5000000\n"
                           "       total time        :       0.0000000( =1/       Infinity)\n"
                           "       time intervals    from              NaN until              NaN\n"
                           "       average           :             NaN(STD=            NaN)\n"
                           "       observations      from        7.2500000 until        7.2500000\n"
                           "       range             :       0.0000000\n"
                           "       average           :       7.2500000\n"
                           "       variance          :             NaN\n"
                           "       standard deviation:             NaN\n"
                           "\n"
                           "\n");
}

TEST_F(TimeSeries, TwoObservationsHaveNoIntervalSpread)
{
    std::vector<double> tt{0.0, 0.5}, xx{1.0, 2.0};
    double mean = 0, var = 0;
    std::string path = file("r.txt", "");
    common::open_new(11, path);
    timeseries::dobsta(2, tt, xx, mean, var, 1, 11);
    common::close_channel(11);
    EXPECT_EQ(var, 0.5);
    EXPECT_NE(slurp(path).find("time intervals    from        0.5000000 until        0.5000000\n"
                               "       average           :       0.5000000(STD=            NaN)\n"),
              std::string::npos);
}

TEST_F(TimeSeries, ComputeOnlyWritesNothing)
{
    std::vector<double> tt{0.0, 1.0, 3.0}, xx{1.0, 2.0, 6.0};
    double mean = 0, var = 0;
    std::string path = file("r.txt", "");
    common::open_new(11, path);
    timeseries::dobsta(3, tt, xx, mean, var, 0, 11);
    common::close_channel(11);
    EXPECT_EQ(mean, 3.0);
    EXPECT_EQ(var, 7.0);
    EXPECT_EQ(slurp(path), "");
}

}  // namespace
