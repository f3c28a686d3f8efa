// Stand-in for the phase diagram until the drawing is part of the program.
#include "common/io.hpp"
#include "cyclefit/plotten.hpp"

namespace cyclefit {

void plotten() { common::write_free(common::screen, {"Phase plots are not available in this version."}); }

}  // namespace cyclefit
