#include "cyclefit/dharmo.hpp"

#include <cmath>

#include "common/constants.hpp"
#include "cyclefit/records.hpp"

namespace cyclefit {

void dharmo(double tt, double* basisvals, int /*nbasis*/)
{
    basisvals[0] = 1.0;
    int k = 1;
    for (int i = 0; i < oud.nfreq; ++i) {
        const double theta = (suite::twopi * tt) * oud.freq[i];
        for (int j = 1; j <= oud.nharm[i]; ++j) {
            const double arg = static_cast<double>(j) * theta;
            basisvals[k] = std::sin(arg);
            basisvals[k + 1] = std::cos(arg);
            k += 2;
        }
    }
}

}  // namespace cyclefit
