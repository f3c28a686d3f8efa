// Fuzz target: read_fits, the light-curve reader of FITS files.  The first
// byte chooses what is asked for (bit 0: every quality flag kept; bit 1:
// no error column; bit 2: the value SAP_FLUX); the rest is the file.
// Whatever the file, and whatever its header claims, the reader returns a
// light curve whose rows add up within the memory it is given, or throws
// its Error; and the same bytes read through a pipe give the same light
// curve when both are read.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/pipe.hpp"
#include "fuzz/private_folder.hpp"
#include "lightcurve/lightcurve.hpp"

// cfitsio sizes some of its own allocations from the header it parses; a
// size beyond any memory fails there, as in a program, instead of ending
// the fuzzer (its reading then fails with cfitsio's memory error).
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::string file = fuzzing::private_folder("fuzz_fits") + "/star.fits";
    fuzzing::write_file(file, data + 1, size - 1);
    lightcurve::Selection selection;
    if (data[0] & 1) selection.quality_mask = 0;
    if (data[0] & 2) selection.error = "none";
    if (data[0] & 4) selection.value = "SAP_FLUX";
    lightcurve::Limits limits;
    limits.memory = std::uint64_t{64} << 20;
    const auto read = [&](const std::string& name) { return lightcurve::read_fits(name, selection, limits); };
    fuzzing::Outcome from_file = fuzzing::outcome_of(file, read);
    if (from_file.read) {
        const lightcurve::LightCurve& c = from_file.curve;
        if (c.sources.size() != 1) std::abort();
        const lightcurve::Source& s = c.sources[0];
        // No row the file does not hold: each takes a byte at least.
        if (s.kept() != c.size() || s.dropped.total() > s.rows || s.rows > size) std::abort();
        if (c.values.size() != c.size() || (c.has_errors ? c.errors.size() != c.size() : !c.errors.empty()))
            std::abort();
        for (std::size_t i = 0; i < c.size(); ++i)
            if (!std::isfinite(c.times[i]) || !std::isfinite(c.values[i])) std::abort();
    }
    // cfitsio's drivers of files on disc and in memory word failures
    // differently, and disagree on some malformed headers (a row width
    // that is not the sum of the columns' is refused on disc only): the
    // light curves are compared when both are read.
    const fuzzing::Outcome from_pipe = fuzzing::through_pipe(data + 1, size - 1, read);
    if (from_file.read && from_pipe.read && !fuzzing::same(from_file, from_pipe)) std::abort();
    return 0;
}
