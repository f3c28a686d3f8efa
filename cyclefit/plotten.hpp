#pragma once

namespace cyclefit {

// The phase diagram of the fit just written: reads the solution file back,
// writes the residual file and draws.
void plotten();

}  // namespace cyclefit
