// Fuzz target: dlees, the reading of a time series, in both profiles.  The
// first byte chooses the profile (bit 0: periodscan), the error column
// (bit 1) and the capacity nmax (bits 2-7, 0 to 63, against arrays of 40
// and an error array of 30, so that a capacity beyond the arrays is tried
// too); the rest is the data file, written into a private folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/io.hpp"
#include "fuzz/private_folder.hpp"
#include "timeseries/timeseries.hpp"

namespace {

constexpr int channel = 21;
constexpr int report = 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::string& folder = fuzzing::private_folder("fuzz_dlees");
    const bool periodscan = data[0] & 1;
    const int witherr = (data[0] >> 1) & 1;
    const int nmax = data[0] >> 2;
    fuzzing::write_file(folder + "/series.dat", data + 1, size - 1);

    std::vector<double> t(40, -1.0), x(40, -1.0), err(30, -1.0);
    int n = -1;
    timeseries::ReadEnd end;
    try {
        common::open_old(channel, folder + "/series.dat");
        if (periodscan) {
            timeseries::dlees(channel, nmax, n, t, x, &end);
        } else {
            common::skip_line(channel, common::handle_end);  // the header, read by the caller
            timeseries::dlees(channel, nmax, n, t, x, err, witherr, &end);
        }
        // Never more than the capacity, and the channel is released.
        if (n < 0 || n > nmax || n > 40 || (!periodscan && witherr == 1 && n > 30)) std::abort();
        if (common::lines_read(channel) != 0) std::abort();
        // The characteristics of what was read, with their report.
        if (n > 0) {
            double mean = 0, var = 0;
            common::open_new(report, folder + "/report.txt");
            if (periodscan) {
                timeseries::Statistics stats;
                timeseries::dobsta(n, t, x, stats, report);
                mean = stats.mean;
            } else {
                timeseries::dobsta(n, t, x, mean, var, 1, report);
            }
            timeseries::dobsco(n, x, mean);
        }
    } catch (const common::ProgramEnd&) {
        if (!periodscan) std::abort();  // the cyclefit profile ends quietly on any record
    }
    common::reset_channels();
    return 0;
}
