// Counts of the run configuration and the limits a run must keep.
#include <algorithm>
#include <climits>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "common/io.hpp"
#include "discriminant/runconfig.hpp"

using namespace discriminant;

namespace {

Gridrange range(double min, double max, double step)
{
    Gridrange g;
    g.min = min;
    g.max = max;
    g.step = step;
    count_range(g);
    return g;
}

// A run every limit accepts: l 1..3, all, 9 x 5 x 3 x 3 grid.
Runconfig valid_run()
{
    Runconfig c;
    c.lmin = 1;
    c.lmax = 3;
    c.kind = "all";
    c.modes = Kind::all;
    c.incl = range(10, 90, 10);
    c.vp = range(5, 25, 5);
    c.vomega = range(0, 20, 10);
    c.sigma = range(5, 15, 5);
    c.ncouples = count_couples(c);
    c.ngrid = 405;
    c.limbcoef = 0.36;
    const double v[7] = {3.1, 9.5, 2.0, 150, 20, 10, 300};
    for (int q = 0; q < 7; ++q) {
        c.observed.value[q] = v[q];
        c.observed.error[q] = 1;
    }
    return c;
}

}  // namespace

TEST(Runconfig, GridCountsTakeTheIntegerPartWithoutTolerance)
{
    EXPECT_EQ(range(0.1, 0.3, 0.1).count, 2);  // (0.3 - 0.1) / 0.1 is just below 2
    EXPECT_EQ(range(10, 90, 10).count, 9);
    EXPECT_EQ(range(0, 25, 10).count, 3);
    EXPECT_EQ(range(35, 5, -5).count, 7);  // a descending grid
    EXPECT_EQ(range(25, 5, 5).count, -3);
    EXPECT_TRUE(range(25, 5, 5).count_ok);
    // A zero step has no count at all (infinite or NaN quotient), nor has a
    // count beyond int.
    EXPECT_FALSE(range(10, 90, 0).count_ok);
    EXPECT_FALSE(range(10, 10, 0).count_ok);
    EXPECT_FALSE(range(0, 1e300, 1).count_ok);
    EXPECT_EQ(range(10, 90, 0).count, 0);
}

// The count is the number of couples the search visits: the m ranges of
// the degrees of the run, none for a negative degree.
TEST(Runconfig, CouplesPerKind)
{
    auto visited = [](const Runconfig& c) {
        long long n = 0;
        for (long long l = c.lmin; l <= c.lmax; ++l) {
            const Mrange r = m_range(c.modes, static_cast<int>(l), c.mspecific);
            for (long long m = r.low; m <= r.high; ++m) ++n;
        }
        return n;
    };
    auto table = [](const Runconfig& c) {  // m values per degree, as documented
        long long n = 0;
        for (long long l = std::max(c.lmin, 0); l <= c.lmax; ++l) {
            if (c.kind == "all") n += l + 1;
            if (c.kind == "axi-symmetric" || c.kind == "sectoral" || c.kind == "specific") n += 1;
            if (c.kind == "tesseral" && l > 1) n += l - 1;
        }
        return n;
    };
    Runconfig c;
    for (const char* kind : {"all", "axi-symmetric", "tesseral", "sectoral", "specific", "ALL", "zonal"})
        for (int a = -4; a <= 12; ++a)
            for (int b = -4; b <= 12; ++b) {
                c.kind = kind;
                c.modes = parse_kind(c.kind);
                c.lmin = a;
                c.lmax = b;
                c.mspecific = a;
                EXPECT_EQ(count_couples(c), visited(c)) << kind << " " << a << " " << b;
                EXPECT_EQ(count_couples(c), table(c)) << kind << " " << a << " " << b;
            }
    EXPECT_EQ(parse_kind(common::Text(13, "ALL")), Kind::none);
    EXPECT_EQ(parse_kind(common::Text(13, "axi-symmetric")), Kind::axi_symmetric);
    c.modes = Kind::all;
    c.lmin = 0;
    c.lmax = 8;
    EXPECT_EQ(count_couples(c), 45);
    c.lmin = -2;  // degrees -2 and -1 add nothing (they used to add -1 and 0)
    c.lmax = 1;
    EXPECT_EQ(count_couples(c), 3);
    c.modes = Kind::axi_symmetric;
    c.lmin = -3;
    EXPECT_EQ(count_couples(c), 2);
    c.modes = Kind::tesseral;
    c.lmin = 0;
    c.lmax = 2;
    EXPECT_EQ(count_couples(c), 1);
    // The widest l range counts without a loop and without overflow.
    c.modes = Kind::all;
    c.lmin = INT_MIN;
    c.lmax = INT_MAX;
    EXPECT_EQ(count_couples(c), 2305843010287435776LL);  // 2^31 (2^31 + 1) / 2
    c.modes = Kind::sectoral;
    EXPECT_EQ(count_couples(c), 2147483648LL);
    c.modes = Kind::tesseral;
    EXPECT_EQ(count_couples(c), 2305843005992468481LL);  // 1 + 2 + ... + (2^31 - 2)
}

TEST(Runconfig, LimitsAreInclusive)
{
    EXPECT_EQ(refusal(valid_run()), "");

    Runconfig c = valid_run();
    c.lmin = 0;
    c.lmax = 8;
    c.ncouples = count_couples(c);
    EXPECT_EQ(refusal(c), "");
    c.lmax = 9;
    c.ncouples = count_couples(c);
    EXPECT_EQ(refusal(c), "Too many (l,m)-couples: 55 (at most 45)");

    // Any degree whose factorials stay finite, up to (2l)!.
    c = valid_run();
    c.kind = "axi-symmetric";
    c.modes = Kind::axi_symmetric;
    c.lmin = 41;
    c.lmax = 85;
    c.ncouples = count_couples(c);
    EXPECT_EQ(c.ncouples, 45);
    EXPECT_EQ(refusal(c), "");
    c.lmin = 42;
    c.lmax = 86;
    c.ncouples = count_couples(c);
    EXPECT_EQ(refusal(c), "lmax above 85: the degree l must be 85 or less, as the factorials up to (2l)! must stay finite");
    c.lmin = 87;  // no couple: nothing to search, nothing to refuse
    c.ncouples = count_couples(c);
    EXPECT_EQ(refusal(c), "");

    // A kind outside the five words is refused, whatever else the run holds.
    c = valid_run();
    c.kind = "ALL";
    c.modes = parse_kind(c.kind);
    c.ncouples = count_couples(c);
    EXPECT_EQ(c.ncouples, 0);
    EXPECT_EQ(refusal(c), "Unknown kind of modes \"ALL\": it must be all, axi-symmetric, tesseral, sectoral or specific");
    c.lmin = 3;
    c.lmax = 1;
    EXPECT_NE(refusal(c), "");

    c = valid_run();
    c.vp = range(1, 20000, 1);
    c.incl = c.vomega = c.sigma = range(5, 5, 1);
    c.ngrid = 20000;
    EXPECT_EQ(refusal(c), "");
    c.vp = range(1, 20001, 1);
    EXPECT_EQ(refusal(c), "Bad vp grid: minimum, maximum and step must give 1 to 20000 values");
    c.vp = range(1, 200, 1);
    c.incl = range(1, 101, 1);
    c.ngrid = 20200;
    EXPECT_EQ(refusal(c), "Too many gridpoints: 20200 (at most 20000)");

    c = valid_run();
    c.sigma = range(15, 5, 5);
    EXPECT_EQ(refusal(c), "Bad sigma grid: minimum, maximum and step must give 1 to 20000 values");

    c = valid_run();
    c.kind = "specific";
    c.modes = Kind::specific;
    c.mspecific = -1;
    c.ncouples = count_couples(c);
    EXPECT_EQ(refusal(c), "");
    c.mspecific = -2;
    EXPECT_EQ(refusal(c), "Specific m-value -2 lies outside -l..l for l = 1");
    c.mspecific = INT_MIN;
    EXPECT_NE(refusal(c), "");
}

// The search checks what it is about to store against its workspace and
// stops before the first write when the run does not fit.
TEST(Runconfig, SearchStopsARunBeyondItsWorkspace)
{
    auto stop_message = [](const Runconfig& c, Workspace& w) -> std::string {
        try {
            search(c, w);
        } catch (const common::ProgramEnd& end) {
            return std::to_string(end.status) + " " + end.message;
        }
        return "searched";
    };
    const auto small = std::make_unique<Workspace>(2);
    Runconfig c = valid_run();
    EXPECT_EQ(stop_message(c, *small), "1 The workspace holds degrees up to 2, not 3");
    c.ngrid = 406;
    EXPECT_EQ(stop_message(c, *make_workspace(c)), "1 The grid holds 405 points, not 406");
    c = valid_run();
    c.ncouples = 46;
    EXPECT_EQ(stop_message(c, *make_workspace(c)), "1 Too many (l,m)-couples: 46 (at most 45)");
    EXPECT_EQ(make_workspace(valid_run())->cache.lmax, 3);
}
