#include "numbers.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace common {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool equal_nocase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// NaN, Inf, Infinity with an optional sign; returns false for anything else.
bool parse_special(std::string_view s, double& out)
{
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (equal_nocase(s, "nan")) {
        out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (equal_nocase(s, "inf") || equal_nocase(s, "infinity")) {
        out = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    }
    return false;
}

// Checks the Fortran form and rewrites it as a C number ("-123.45e-6")
// that strtod and strtof read with correct rounding.
bool normalise(std::string_view s, int implied_decimals, std::string& c)
{
    std::size_t i = 0, n = s.size();
    c.clear();
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') c += '-';
        ++i;
    }
    std::size_t digits = 0;
    bool point = false;
    for (; i < n && is_digit(s[i]); ++i, ++digits) c += s[i];
    if (i < n && s[i] == '.') {
        point = true;
        c += '.';
        for (++i; i < n && is_digit(s[i]); ++i, ++digits) c += s[i];
    }
    if (digits == 0) return false;

    long exponent = 0;
    if (i < n) {
        if (lower(s[i]) == 'e' || lower(s[i]) == 'd') ++i;
        else if (s[i] != '+' && s[i] != '-') return false;
        bool negative = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            negative = s[i] == '-';
            ++i;
        }
        if (i >= n) return false;
        for (; i < n; ++i) {
            if (!is_digit(s[i])) return false;
            if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
        }
        if (negative) exponent = -exponent;
    }
    if (!point && implied_decimals > 0) exponent -= implied_decimals;
    if (exponent != 0) c += 'e' + std::to_string(exponent);
    return true;
}

}  // namespace

bool parse_real(std::string_view s, double& out, bool allow_special, int implied_decimals)
{
    if (allow_special && parse_special(s, out)) return true;
    std::string c;
    if (!normalise(s, implied_decimals, c)) return false;
    double v = std::strtod(c.c_str(), nullptr);
    if (std::isinf(v)) return false;
    out = v;
    return true;
}

bool parse_single(std::string_view s, float& out, bool allow_special, int implied_decimals)
{
    double special;
    if (allow_special && parse_special(s, special)) {
        out = static_cast<float>(special);
        return true;
    }
    std::string c;
    if (!normalise(s, implied_decimals, c)) return false;
    float v = std::strtof(c.c_str(), nullptr);
    if (std::isinf(v)) return false;
    out = v;
    return true;
}

bool parse_integer(std::string_view s, int& out)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    if (i >= s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (!is_digit(s[i])) return false;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace common
