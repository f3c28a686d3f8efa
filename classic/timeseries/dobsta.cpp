// dobsta: the characteristics of the observations (count, time span,
// spacing of the times, extremes, mean, variance, standard deviation) and
// their printed report, in the two profiles.
//
// Notes: 1. The records are taken in file order: the time span is last
//           minus first, the intervals are differences of consecutive
//           records; nothing is sorted.
//        2. With one observation there is no interval at all, and with two
//           the spread of the intervals divides by n - 2 = 0: the interval
//           statistics that cannot be formed are NaN (t(2) is never read
//           when n = 1).  Other divisions by zero (a zero time span) give
//           the infinities of plain arithmetic.
#include <cmath>
#include <limits>

#include "common/io.hpp"
#include "timeseries/timeseries.hpp"

namespace timeseries {
namespace {

// The two report layouts, as the programs hold them.
constexpr std::string_view cyclefit_report =
    "('CHARACTERISTICS OF THE OBSERVATIONS',/,/,7X,'number            : ',I6,/,7X,'observing time    from  ',F15.7,' until  ',F15.7,/,7X,'total time        : ',F15.7,'( =1/',F15.7,')',/,7X,'time intervals    from  ',F15.7,' until  ',F15.7,/,7X,'average           : ',F15.7,'(STD=',F15.7,')',/,7X,'observations      from  ',F15.7,' until  ',F15.7,/,7X,'range             : ',F15.7,/,7X,'average           : ',F15.7,/,7X,'variance          : ',F15.7,/,7X,'standard deviation: ',F15.7,/,/)";
constexpr std::string_view periodscan_report =
    "(1H1,'Kenmerken van de gegevens',/,/,7X,'AANTAL : ',I6,/,/,7X,'WAARNEMINGSTIJDEN   VAN  ',F13.5,'   TOT  ',F13.5,/,7X,'TOTALE TIJD        : ',F10.5,'( =1/',F10.5,')',/,/,7X,'TIJDSINTERVALLEN    VAN  ',F10.5,'   TOT  ',F10.5,/,7X,'GEMIDDELD          : ',F10.5,'(STD=',F10.5,')',/,/,7X,'WAARNEMINGEN        VAN  ',F10.5,'   TOT  ',F10.5,/,7X,'RANGE              : ',F10.5,/,7X,'GEMIDDELDE         : ',F10.5,/,7X,'VARIANTIE          : ',F10.5,/,7X,'STANDAARDAFWIJKING : ',F10.5,/,/)";

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The fifteen values of the report, in its order.
struct Characteristics {
    int count = 0;
    double first = nan, last = nan, total = nan, inverse = nan;
    double dtmin = nan, dtmax = nan, dtmean = nan, dtsd = nan;
    double xmin = nan, xmax = nan, range = nan, mean = nan, var = nan, sd = nan;
};

Characteristics characterise(int n, std::span<const double> t, std::span<const double> x)
{
    Characteristics c;
    c.count = n;
    if (n < 1) return c;

    c.first = t[0];
    c.last = t[n - 1];
    double sum = x[0];
    c.xmin = x[0];
    c.xmax = x[0];
    if (n >= 2) {
        c.dtmin = t[1] - t[0];
        c.dtmax = t[1] - t[0];
    }
    for (int i = 1; i < n; ++i) {
        sum = sum + x[i];
        if (c.xmin > x[i]) c.xmin = x[i];
        if (x[i] > c.xmax) c.xmax = x[i];
        double dt = t[i] - t[i - 1];
        if (c.dtmin > dt) c.dtmin = dt;
        if (dt > c.dtmax) c.dtmax = dt;
    }
    c.total = c.last - c.first;
    c.inverse = 1.0 / c.total;
    if (n >= 2) c.dtmean = c.total / (n - 1);
    c.range = c.xmax - c.xmin;
    c.mean = sum / n;

    double dtsum = 0.0;
    double xsum = (x[0] - c.mean) * (x[0] - c.mean);
    for (int i = 1; i < n; ++i) {
        double d = t[i] - t[i - 1] - c.dtmean;
        dtsum = dtsum + d * d;
        xsum = xsum + (x[i] - c.mean) * (x[i] - c.mean);
    }
    c.var = xsum / (n - 1);
    if (n >= 3) c.dtsd = std::sqrt(dtsum / (n - 2));
    c.sd = std::sqrt(c.var);
    return c;
}

void report(int channel, std::string_view format, const Characteristics& c)
{
    common::write_fmt(channel, format,
                      {c.count, c.first, c.last, c.total, c.inverse, c.dtmin, c.dtmax, c.dtmean, c.dtsd, c.xmin,
                       c.xmax, c.range, c.mean, c.var, c.sd});
}

}  // namespace

void dobsta(int n, std::span<const double> t, std::span<const double> x, double& mean, double& var, int report_wanted,
            int channel)
{
    Characteristics c = characterise(n, t, x);
    mean = c.mean;
    var = c.var;
    if (report_wanted != 0)
        report(channel, cyclefit_report, c);
}

void dobsta(int n, std::span<const double> t, std::span<const double> x, Statistics& stats, int channel)
{
    Characteristics c = characterise(n, t, x);
    stats.mean = c.mean;
    stats.var = c.var;
    if (channel != 0)
        report(channel, periodscan_report, c);
    stats.sd = c.sd;
}

}  // namespace timeseries
