// Fuzz target: the free-format reader on arbitrary lines.  The first byte
// chooses the kinds of the targets, the rest is the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/freeformat.hpp"
#include "common/text.hpp"
#include "support/lines.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    unsigned kinds = data[0];
    StringLines source(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    int i1 = 0, i2 = 0;
    double d1 = 0, d2 = 0;
    float f = 0;
    common::Text t1(70), t2(3);
    std::vector<common::Target> all{i1, d1, t1, f, i2, t2, d2};
    std::vector<common::Target> chosen;
    for (int k = 0; k < 7; ++k)
        if (kinds & (1u << k)) chosen.push_back(all[k]);
    // Read until the input is used up, as a reading loop over a data file does.
    for (int n = 0; n < 1000; ++n)
        if (common::free_read(chosen, source).outcome == common::ReadOutcome::end_of_file) break;
    return 0;
}
