// Fuzz target: the parser of format strings, a write of a few values by
// every format it accepts, and every numeric field of it alone on values
// from the ordinary to the extreme: each field must come out as exactly its
// width of printable characters, whatever w and d ask for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>
#include <tuple>

#include "common/format.hpp"

namespace {

// The field of one edit descriptor, alone, must be w printable characters.
void check_field(const common::FormatItem& item, const common::Value& value)
{
    common::Format alone;
    alone.items.push_back(item);
    alone.has_data = true;
    std::string out;
    common::format_write(alone, std::span<const common::Value>(&value, 1), out);
    if (out.size() != static_cast<std::size_t>(item.width) + 1 || out.back() != '\n') std::abort();
    for (std::size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] < ' ' || out[i] > '~') std::abort();
}

void check_fields(const common::Format& format)
{
    const double inf = std::numeric_limits<double>::infinity();
    const common::Value reals[] = {0.0, -0.0, 1.5, -0.1, 0.125, 99.996, 1e300, -1.7976931348623157e308,
                                   4.9406564584124654e-324, 123456789.0, std::numeric_limits<double>::quiet_NaN(),
                                   inf, -inf};
    const common::Value integers[] = {0, -1, 7, std::numeric_limits<long long>::max(),
                                      std::numeric_limits<long long>::min()};
    using K = common::FormatItem::Kind;
    std::set<std::tuple<K, int, int, bool>> seen;  // repeat counts give the same field many times
    for (const common::FormatItem& item : format.items) {
        if (!seen.insert({item.kind, item.width, item.digits, item.has_min}).second) continue;
        if (item.kind == K::i)
            for (const common::Value& v : integers) check_field(item, v);
        else if (item.kind == K::f || item.kind == K::e || item.kind == K::g)
            for (const common::Value& v : reals) check_field(item, v);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string source(reinterpret_cast<const char*>(data), size);
    try {
        common::Format format = common::parse_format(source);
        common::Value values[] = {1.5, -2, "text", 1e300, 0.0f};
        for (std::size_t n = 0; n <= 5; ++n) {
            std::string out;
            try {
                common::format_write(format, std::span<const common::Value>(values, n), out);
            } catch (const common::FormatError&) {
            }
        }
        check_fields(format);
    } catch (const common::FormatError&) {
    }
    return 0;
}
