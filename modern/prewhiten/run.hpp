// The runs of prewhiten: the stars of a command line, each read, analysed
// and written in turn (star.hpp); one star's failure is reported at its
// boundary and the batch goes on.
#pragma once

#include <ostream>

#include "options.hpp"
#include "plotting/plot.hpp"

namespace prewhiten {

// run: every star of the options in turn, each picture drawn on `plot`;
// each failure named on `err`, and the progress line on `err` when
// `progress` is set (standard error is a terminal).
//   Returned: the exit status: 0 all done, 1 the files of the command line
//             cannot be used together (a file twice in --join, a summary
//             that would append to an input or a result), 2 one or more
//             stars not done
int run(const Options& options, plotting::Plotter& plot, std::ostream& out, std::ostream& err, bool progress = false);

// The whole program: the command line, then the run.
int main_program(int argc, const char* const argv[], plotting::Plotter& plot, std::ostream& out, std::ostream& err,
                 bool progress = false);

}  // namespace prewhiten
