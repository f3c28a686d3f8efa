// The plotter the terminal programs draw with: the giza library, with the
// device question and the end of a failed picture as the classic library
// has them.
//   1. The device "?": the library's own question loops for ever once
//      standard input has ended, so the question is asked here, in the
//      library's words, through the text layer; "?" lists the devices and
//      asks again, an empty answer means /xw, and the end of standard input
//      is an input error.
//   2. A device that cannot be opened gets one line on the screen, and
//      nothing is drawn on it.
//   3. A picture file that cannot be written (a full disc) ends the program
//      like any other write that fails, naming the file and the library's
//      reason.
#pragma once

#include "plotting/plot.hpp"

namespace common {

// The plotter of the terminal programs: the giza library by default.
plotting::Plotter& graphics();
// Puts another plotter in its place (a test's recorder); nullptr gives the
// giza library back.
void use_graphics(plotting::Plotter* plotter);

}  // namespace common
