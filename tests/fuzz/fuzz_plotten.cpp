// Fuzz target: the phase plot's reading back of a solution file.  The input
// is the solution file; the residual file is written beside it in a private
// folder.  The two answers of the dialogue (the kind of data, chosen from
// the input's size, and "yes" to the PostScript file) come from a file put
// on standard input, and the drawing goes to the recording plotter, so that
// the ranges and the points reach the plotting calls without drawing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/io.hpp"
#include "common/graphics.hpp"
#include "cyclefit/plotten.hpp"
#include "cyclefit/records.hpp"
#include "fuzz/private_folder.hpp"
#include "support/recording_plotter.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static plotting::RecordingPlotter recorder;
    const std::string& folder = fuzzing::private_folder("fuzz_plotten");
    fuzzing::write_file(folder + "/solution.fv", data, size);
    const std::string answers = std::to_string(size % 13) + "\n1\n";
    fuzzing::write_file(folder + "/answers", answers.data(), answers.size());
    if (!std::freopen((folder + "/answers").c_str(), "rb", stdin)) std::abort();

    using namespace cyclefit;
    lijn1 = Lijn1{};
    lijn3.fracvar = 0.5;
    lijn4.outname = folder + "/solution.fv";
    lijn4.inname = "star.dat";
    lijn7.resname = folder + "/solution.res";
    recorder.calls.clear();
    common::use_graphics(&recorder);
    try {
        plotten();
    } catch (const common::ProgramEnd&) {
    }
    common::use_graphics(nullptr);
    common::reset_channels();
    return 0;
}
