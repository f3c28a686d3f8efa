// Failure rows of the light-curve plot, each a whole run of curveview:
// ster2.dat missing, empty or unreadable (nothing drawn, the device
// question never asked), the device question at the end of standard input,
// devices that cannot be opened, and files larger than the plot arrays of
// old.
#include <gtest/gtest.h>

#include <cstdio>

#include "failures/data.hpp"
#include "failures/table.hpp"

#ifdef CURVEVIEW_PROGRAM

namespace failures {
namespace {

const std::string question = "Graphics device/type (? to see list, default /xw):";

// A header and n points inside the fixed window.
std::string ster2(int n)
{
    std::string text = "HJD-2450000   Hp (mmag)\n";
    char line[64];
    for (int i = 0; i < n; ++i) {
        std::snprintf(line, sizeof line, "%.5f %.2f\n", 50691.0 + 2.0 * i / (n + 1), -75.0 + 40.0 * ((i * 37) % 100) / 100);
        text += line;
    }
    return text;
}

const Input light = file("ster2.dat", ster2(30));
const Left picture{"curve.png", -1, {}, true};

const std::vector<Row> rows = {
    // ster2.dat: an input error, nothing drawn, no question asked.
    {"missing_file", {}, "curve.png/png\n",
     {stderr_is("ster2.dat: cannot be opened for reading (No such file or directory)"), stdout_is("")}, 2, {}},
    {"empty_file", {file("ster2.dat", "")}, "curve.png/png\n",
     {stderr_is("ster2.dat, line 1: end of file where a line was expected"), stdout_is("")}, 2, {}},
    {"record_not_two_numbers", {file("ster2.dat", lines({"header", "50691.1 -40", "50691.2 deep", "50691.3 -41"}))},
     "curve.png/png\n", {stderr_is("ster2.dat, line 3: a real number was expected"), stdout_is("")}, 2, {},
     {"curve.png"}},

    // What can be drawn is drawn.
    {"header_only_draws_the_frame", {file("ster2.dat", "header\n")}, "curve.png/png\n", {stdout_is(question)}, 0,
     {picture}},
    {"short_last_line_draws_nothing", {file("ster2.dat", ster2(5) + "50692.5\n")}, "curve.png/png\n",
     {stderr_is("ster2.dat, line 7: the line ends where a real number was expected"), stdout_is("")}, 2, {},
     {"curve.png"}},
    {"more_points_than_1500", {file("ster2.dat", ster2(3000))}, "curve.png/png\n", {stdout_is(question)}, 0,
     {picture}},
    {"more_records_than_10000", {file("ster2.dat", ster2(10005))}, "/null\n", {stdout_is(question)}, 0, {}},

    // The device question.
    {"end_of_input_at_device", {light}, "",
     {stderr_is("standard input, line 1: end of file where a line was expected"), stdout_is(question)}, 2, {}},
    {"device_in_missing_folder", {light}, "nodir/curve.png/png\n",
     {stdout_is(question + " Graphics device nodir/curve.png/png cannot be opened: nothing is drawn on it.\n")}, 0,
     {}},
    // The library says why on standard error in its own words.
    {"unknown_device", {light}, "bogus\n",
     {stdout_line(question + " Graphics device bogus cannot be opened: nothing is drawn on it.")}, 0, {}, {}, false},
    {"default_device_without_display", {light}, "\n",
     {stdout_line(question + " Graphics device /xw cannot be opened: nothing is drawn on it.")}, 0, {}, {}, false},

    // A picture or a screen that cannot be written is never a success: the
    // file (or standard output) and the reason, exit status 2.
    {"picture_on_a_full_device", {light, full_device("curve.png")}, "curve.png/png\n",
     {stderr_is("curve.png: cannot be written (error while writing to output stream)"), stdout_is(question)}, 2, {}},
    screen_full({"screen_on_a_full_device", {light}, "curve.png/png\n", {stderr_is("standard output: cannot be written (No space left on device)")}, 2,
                 {}, {"curve.png"}}),
};

class CurveviewFailure : public testing::TestWithParam<Row> {};

TEST_P(CurveviewFailure, Run) { check_row(CURVEVIEW_PROGRAM, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, CurveviewFailure, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace failures

#endif
