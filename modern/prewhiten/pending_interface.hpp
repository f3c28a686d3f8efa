// Stand-ins for the extraction's selection, baseline and start settings
// until the extraction library declares them; removed then.
#pragma once

#include <limits>

namespace extraction {

enum class Select { snr, height };
enum class Baseline { none, offset, linear, quadratic };

struct StartTerm {
    double frequency = 0.0;
    double amplitude = std::numeric_limits<double>::quiet_NaN();
    double phase = std::numeric_limits<double>::quiet_NaN();
};

}  // namespace extraction
