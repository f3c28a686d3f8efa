// curveview: draws the light curve of ster2.dat (magnitude Hp against
// heliocentric Julian date less 2450000) in a fixed window.
#pragma once

namespace curveview {

constexpr int maxpts = 10000;  // records read from ster2.dat at most

// The program: reads ster2.dat, asks the plotting library's device
// question and draws.
void run();

}  // namespace curveview
