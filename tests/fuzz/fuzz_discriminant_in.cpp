// Fuzz target: the reading of discriminant.in with its echo, the derived
// counts and the refusals of runs the search cannot make.  The input is the
// whole file, written into a private folder.  An accepted run writes the
// header of its output file, and a small one (few couples and grid points,
// low degrees) makes its search too, on whatever numbers the file gave.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/io.hpp"
#include "discriminant/discriminant.hpp"
#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"
#include "discriminant/runconfig.hpp"
#include "fuzz/private_folder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& folder = fuzzing::private_folder("fuzz_discriminant_in");
    fuzzing::write_file(folder + "/discriminant.in", data, size);

    static const bool rule = (discriminant::gauleg(), true);
    (void)rule;
    discriminant::alfa = {};
    discriminant::limbdarkening = {};
    discriminant::error = {};
    try {
        common::open_old(discriminant::config_channel, folder + "/discriminant.in");
        discriminant::Runconfig c;
        if (discriminant::readconfig(c) && discriminant::refusal(c).empty()) {
            // What the search relies on once a run is accepted.
            const discriminant::Gridrange* ranges[4] = {&c.incl, &c.vp, &c.vomega, &c.sigma};
            for (const discriminant::Gridrange* g : ranges)
                if (!g->count_ok || g->count < 1 || g->count > discriminant::max_grid) std::abort();
            if (c.ncouples > discriminant::max_couples || c.ngrid < 1 || c.ngrid > discriminant::max_grid
                || c.nminima > c.ngrid || c.progressstep < 1)
                std::abort();
            if (c.ncouples > 0 && (c.lmin < 0 || c.lmax > discriminant::lmax_finite)) std::abort();
            if (c.modes == discriminant::Kind::none) std::abort();
            // The header of the output file, under a fixed name.
            c.outfile = folder + "/discriminant.out";
            discriminant::write_header(c);
            if (c.ncouples * c.ngrid <= 60 && c.lmax <= 16) {
                const std::unique_ptr<discriminant::Workspace> workspace = discriminant::make_workspace(c);
                discriminant::search(c, *workspace);
            }
        }
    } catch (const common::ProgramEnd&) {
    }
    common::reset_channels();
    return 0;
}
