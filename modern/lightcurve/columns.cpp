// Column choices by number or name.
#include "columns.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "lightcurve/lightcurve.hpp"

namespace lightcurve {

namespace {

// No table has more columns than this (FITS allows 999); the bound keeps
// the arithmetic on column numbers far from overflow.
constexpr std::size_t largest_column = 1000000;

bool all_digits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool same_ignoring_case(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

}  // namespace

std::string column_choice_problem(const std::string& text)
{
    if (!all_digits(text)) return "";
    std::size_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || number > largest_column) return "column " + text + " is beyond any table";
    if (number == 0) return "columns are numbered from 1";
    return "";
}

namespace detail {

Request parse_request(const std::string& text, const std::string& file)
{
    Request request;
    if (text.empty()) return request;
    if (text == no_column) {
        request.kind = Request::Kind::none;
        return request;
    }
    if (!all_digits(text)) {
        request.kind = Request::Kind::name;
        request.name = text;
        return request;
    }
    const std::string problem = column_choice_problem(text);
    if (!problem.empty()) throw Error(file + ": " + problem);
    request.kind = Request::Kind::number;
    std::from_chars(text.data(), text.data() + text.size(), request.number);
    return request;
}

long find_name(const std::vector<std::string>& names, const std::string& name, const std::string& file)
{
    const auto exact = std::find(names.begin(), names.end(), name);
    if (exact != names.end()) return exact - names.begin();
    long found = -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!same_ignoring_case(names[i], name)) continue;
        if (found >= 0)
            throw Error(file + ": the column name " + name + " fits both " + names[found] + " and " + names[i]);
        found = static_cast<long>(i);
    }
    return found;
}

std::string list_names(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
    return list;
}

}  // namespace detail
}  // namespace lightcurve
