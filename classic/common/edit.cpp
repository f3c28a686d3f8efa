#include "edit.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace common {
namespace {

void stars(std::string& out, int width) { out.append(width > 0 ? width : 0, '*'); }

void right_aligned(std::string& out, std::string_view field, int width)
{
    if (static_cast<int>(field.size()) > width) {
        stars(out, width);
        return;
    }
    out.append(width - field.size(), ' ');
    out.append(field);
}

// NaN right-aligned; Infinity where the field has room, else Inf, else
// asterisks.
void non_finite(std::string& out, double value, int width)
{
    if (std::isnan(value)) {
        right_aligned(out, "NaN", width);
        return;
    }
    bool negative = value < 0;
    int sign = negative ? 1 : 0;
    if (width >= 8 + sign) right_aligned(out, negative ? "-Infinity" : "Infinity", width);
    else right_aligned(out, negative ? "-Inf" : "Inf", width);
}

// A double has at most 309 digits before its decimal point.
constexpr int max_integer_digits = 309;

// Correctly rounded digits of value with the given count of decimals (at
// most max_field), the decimal point always present; empty when they
// cannot be formed.
std::string fixed_digits(double value, int decimals)
{
    char buf[1 + max_integer_digits + 1 + max_field];  // sign, integer part, point, decimals
    if (decimals < 0 || decimals > max_field) return {};
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return {};
    std::string s(buf, r.ptr);
    if (decimals == 0) s += '.';
    return s;
}

// Drops the optional leading zero of "0.xxx" or "-0.xxx" when the field
// has no room for it.
void drop_leading_zero(std::string& s, int width)
{
    if (static_cast<int>(s.size()) <= width) return;
    std::size_t zero = (s[0] == '-') ? 1 : 0;
    if (s.size() > zero + 2 && s[zero] == '0' && s[zero + 1] == '.') s.erase(zero, 1);
}

// Value rounded to `digits` significant digits (1 to max_field): the digit
// string and the decimal exponent of its first digit (value = d.ddd x
// 10^exponent).  False when they cannot be formed.
bool significant_digits(double value, int digits, std::string& mantissa, int& exponent)
{
    char buf[max_field + 8];  // d.ddd, then e, the exponent's sign and three digits
    if (digits < 1 || digits > max_field) return false;
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, digits - 1);
    if (r.ec != std::errc()) return false;
    std::string_view s(buf, r.ptr - buf);
    std::size_t e = s.find('e');
    if (e == std::string_view::npos) return false;
    mantissa.clear();
    for (char c : s.substr(0, e))
        if (c != '.') mantissa += c;
    exponent = std::atoi(std::string(s.substr(e + 1)).c_str());
    return true;
}

}  // namespace

void edit_integer(std::string& out, std::int64_t value, int width, int min_digits)
{
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = (min_digits == 0 && value == 0) ? std::string() : std::to_string(magnitude);
    if (static_cast<int>(digits.size()) < min_digits) digits.insert(0, min_digits - digits.size(), '0');
    if (value < 0) digits.insert(0, 1, '-');
    right_aligned(out, digits, width);
}

namespace {

// The fixed-point field of a finite value, when it fits the width: appended
// to out, true; otherwise nothing is appended.
bool fixed_field(std::string& out, double value, int width, int decimals)
{
    // The digits need at least one more place than the decimals (the
    // point): a field no wider than that cannot hold them.
    std::string s = decimals < width ? fixed_digits(value, decimals) : std::string();
    if (s.empty()) return false;
    if (decimals > 0) drop_leading_zero(s, width);
    if (static_cast<int>(s.size()) > width) return false;
    right_aligned(out, s, width);
    return true;
}

}  // namespace

void edit_fixed(std::string& out, double value, int width, int decimals)
{
    if (!std::isfinite(value)) {
        non_finite(out, value, width);
        return;
    }
    if (!fixed_field(out, value, width, decimals)) stars(out, width);
}

void edit_exponent(std::string& out, double value, int width, int digits)
{
    if (!std::isfinite(value)) {
        non_finite(out, value, width);
        return;
    }
    // The point, the digits and four places of exponent: a field narrower
    // than that holds nothing but asterisks.
    if (digits < 1 || digits + 5 > width) {
        stars(out, width);
        return;
    }
    std::string mantissa;
    int exponent = 0;
    if (value == 0.0) {
        mantissa.assign(digits, '0');
        exponent = 0;
    } else {
        if (!significant_digits(value, digits, mantissa, exponent)) {
            stars(out, width);
            return;
        }
        exponent += 1;  // 0.ddd form
    }
    int magnitude = std::abs(exponent);
    if (magnitude > 999) {
        stars(out, width);
        return;
    }
    std::string e = (magnitude <= 99) ? "E" : "";
    e += exponent < 0 ? '-' : '+';
    std::string number = std::to_string(magnitude);
    if (number.size() < 2) number.insert(0, 1, '0');
    e += number;
    std::string s = std::signbit(value) ? "-0." : "0.";
    s += mantissa;
    s += e;
    drop_leading_zero(s, width);
    right_aligned(out, s, width);
}

void edit_general(std::string& out, double value, int width, int digits)
{
    if (!std::isfinite(value)) {
        non_finite(out, value, width);
        return;
    }
    // The choice between fixed point and exponent form is made on the value
    // rounded to `digits` significant digits: magnitudes in [0.1, 10^d)
    // are written as F(w-4).(d-1-e) followed by four blanks.
    int exponent = 0;
    if (value != 0.0) {
        std::string mantissa;
        if (!significant_digits(value, digits, mantissa, exponent)) {
            stars(out, width);
            return;
        }
    }
    if (exponent < -1 || exponent > digits - 1) {
        edit_exponent(out, value, width, digits);
        return;
    }
    // A fixed-point part too wide for w - 4 places fills the whole field
    // with asterisks, as the GNU Fortran runtime writes it.
    if (fixed_field(out, value, width - 4, digits - 1 - exponent))
        out.append(4, ' ');
    else
        stars(out, width);
}

void edit_text(std::string& out, std::string_view text, int width)
{
    if (width == 0) {
        out.append(text);
    } else if (static_cast<int>(text.size()) < width) {
        out.append(width - text.size(), ' ');
        out.append(text);
    } else {
        out.append(text.substr(0, width));
    }
}

namespace {

// std::to_chars gives the shortest form; the line shows E for the exponent
// and .0 after a number that would otherwise look like an integer.
std::string fortran_look(std::string s)
{
    bool looks_integer = true;
    for (char& c : s) {
        if (c == 'e') c = 'E';
        if (c == '.' || c == 'E') looks_integer = false;
    }
    if (looks_integer) s += ".0";
    return s;
}

template <typename Real>
std::string shortest(Real value)
{
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    char buf[64];  // the shortest form of a double has at most 24 characters
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    if (r.ec != std::errc()) return "NaN";
    return fortran_look(std::string(buf, r.ptr));
}

}  // namespace

std::string shortest_real(double value) { return shortest(value); }
std::string shortest_single(float value) { return shortest(value); }

}  // namespace common
