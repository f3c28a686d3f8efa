// Fuzz target: read_text, the light-curve reader of text tables.  The
// first byte chooses the columns asked for (bits 0-1: time default, 1,
// "t" or 3; bits 2-3: value default, 2, "x" or 1; bits 4-5: error
// default, none, 3 or "e"); the rest is the file.  Whatever the file, the
// reader returns a light curve whose rows add up, or throws its Error; and
// the same bytes read through a pipe give the same light curve, or the
// same message.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/pipe.hpp"
#include "fuzz/private_folder.hpp"
#include "lightcurve/lightcurve.hpp"

namespace {

void check_rows(const lightcurve::LightCurve& c)
{
    if (c.sources.size() != 1) std::abort();
    const lightcurve::Source& s = c.sources[0];
    if (s.kept() != c.size() || s.dropped.total() > s.rows || c.values.size() != c.size()) std::abort();
    if (c.has_errors ? c.errors.size() != c.size() : !c.errors.empty()) std::abort();
    for (std::size_t i = 0; i < c.size(); ++i)
        if (!std::isfinite(c.times[i]) || !std::isfinite(c.values[i]) || (c.has_errors && !std::isfinite(c.errors[i])))
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::string file = fuzzing::private_folder("fuzz_lightcurve") + "/star.dat";
    fuzzing::write_file(file, data + 1, size - 1);
    const char* times[] = {"", "1", "t", "3"};
    const char* values[] = {"", "2", "x", "1"};
    const char* errors[] = {"", "none", "3", "e"};
    lightcurve::Selection selection;
    selection.time = times[data[0] & 3];
    selection.value = values[(data[0] >> 2) & 3];
    selection.error = errors[(data[0] >> 4) & 3];
    const auto read = [&](const std::string& name) { return lightcurve::read_text(name, selection); };
    const fuzzing::Outcome from_file = fuzzing::outcome_of(file, read);
    if (from_file.read) check_rows(from_file.curve);
    if (!fuzzing::same(from_file, fuzzing::through_pipe(data + 1, size - 1, read))) std::abort();
    return 0;
}
