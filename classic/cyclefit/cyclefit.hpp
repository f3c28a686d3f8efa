#pragma once

namespace cyclefit {

// The program: the dialogue of files, epochs and frequencies, one fit and
// its report per pass, until the answer eof.
void run();

}  // namespace cyclefit
