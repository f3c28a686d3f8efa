#include "numerics/text.hpp"

#include <charconv>
#include <cstdio>

namespace numerics {

void append_number(std::string& text, double x)
{
    char digits[32];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, x);
    text.append(digits, end);
}

std::string full_number(double x)
{
    std::string text;
    append_number(text, x);
    return text;
}

std::string bytes_text(std::uint64_t bytes)
{
    const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double x = static_cast<double>(bytes);
    int u = 0;
    while (x >= 1024 && u < 6) x /= 1024, ++u;
    char text[48];
    std::snprintf(text, sizeof text, u == 0 ? "%.0f %s" : "%.1f %s", x, units[u]);
    return text;
}

}  // namespace numerics
