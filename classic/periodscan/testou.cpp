// testou: writes the frequency-statistic file, one line per trial
// frequency in grid order, no header.
#include "common/io.hpp"
#include "periodscan/periodscan.hpp"

namespace periodscan {

void testou(int channel, int nf, std::span<const double> f1, std::span<const double> s1)
{
    for (int i = 0; i < nf; ++i) common::write_fmt(channel, "(1X,F20.8,1X,F20.8)", {f1[i], s1[i]});
}

}  // namespace periodscan
