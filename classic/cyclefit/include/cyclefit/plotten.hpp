// The phase diagram of a one-frequency fit: plotten reads the fit back from
// the solution file, writes the residual file and asks for the kind of data;
// plotter draws from the shared records lijn1, lijn2 and lijn3.
#pragma once

namespace cyclefit {

void plotten();
void plotter();

// Points of the fitted curve that plotten read back and closed over the
// cycle: curvepoints when all 100 rows were read, else 0 (the curve is then
// not drawn, rather than drawn from another fit's values).
extern int ncurve;

}  // namespace cyclefit
