// Failure rows of the run configuration, each a whole run of discriminant:
// where discriminant.in may end and where it may not, values that cannot
// be read, the tesseral stop, the refusals of runs beyond the search's
// limits, and the output file (created only for a run that searches).
#include <gtest/gtest.h>

#include <map>

#include "failures/data.hpp"
#include "failures/table.hpp"

#ifdef DISCRIMINANT_PROGRAM

namespace failures {
namespace {

// A complete discriminant.in of one sectoral couple (1, 1) over seven grid
// points, with lines replaced (by line number) and cut after `keep` lines.
std::string config(const std::map<int, std::string>& changes = {}, int keep = 44)
{
    static const char* const base[44] = {
        "Mode identification by the moment method", "=========", "title of the run:", "",
        "'test run'", "", "free text:", "Line profiles of the example star", "second free line",
        "range of l-values", "1 1          lmin lmax", "sectoral        kind of modes", "kind: all, axi-symmetric,",
        "      tesseral, sectoral or specific", "", "", "specific m-value:", "0", "", "free text:",
        "free line three", "free line four", "grid: minimum, maximum, step", "60. 60. 1.     inclination",
        "35. 5. -5.     vp (km/s)", "10. 10. 1.     vomega (km/s)", "5. 5. 1.     sigma (km/s)", "", "free text:",
        "free line five", "free line six", "limb darkening", "0.36     u", "mode 1", "result.out",
        "7.5      frequency (c/d)", "0.01     K", "3.1 0.2    AA", "9.5 1.0    CC", "2.0 0.5    DD",
        "150. 10.    EE", "20. 5.    FF", "10. 3.    GG", "300. 40.    RST"};
    std::string text;
    for (int line = 1; line <= keep; ++line) {
        auto change = changes.find(line);
        text += (change == changes.end() ? std::string(base[line - 1]) : change->second) + "\n";
    }
    return text;
}

Input in(const std::map<int, std::string>& changes = {}, int keep = 44)
{
    return file("discriminant.in", config(changes, keep));
}

const std::string banner = " * MISSION COMPLETED *";
// The output file of the complete run: header, the listing of the couple,
// and the final table.
const Left complete_result{"result.out", 47, {"Table with the final results"}};

Row refusal(const char* name, const std::map<int, std::string>& changes, const std::string& message)
{
    return {name, {in(changes)}, "", {stderr_is(message)}, 1, {}, {"result.out"}};
}

const std::vector<Row> rows = {
    {"complete_run", {in()}, "", {stdout_line(banner, 1)}, 0, {complete_result}},
    {"missing_configuration", {}, "",
     {stderr_is("discriminant.in: cannot be opened for reading (No such file or directory)")}, 2, {}},

    // The file may end here: straight to the closing banner, no output file.
    {"empty_file", {in({}, 0)}, "", {stdout_line(banner, 1)}, 0, {}, {"result.out"}},
    {"ends_after_line_8", {in({}, 8)}, "", {stdout_line(banner, 1)}, 0, {}},
    {"ends_after_line_12", {in({}, 12)}, "", {stdout_line(banner, 1)}, 0, {}},
    {"ends_after_line_33", {in({}, 33)}, "", {stdout_line(banner, 1)}, 0, {}, {"result.out"}},
    {"ends_after_line_43", {in({}, 43)}, "", {stdout_line(banner, 1)}, 0, {}, {"result.out"}},
    {"value_pair_split_ends_at_its_end", {in({{38, "3.1"}})}, "", {stdout_line(banner, 1)}, 0, {}},

    // The file may not end here.
    {"ends_before_title", {in({}, 4)}, "",
     {stderr_is("discriminant.in, line 5: end of file where a text was expected")}, 2, {}},
    {"ends_at_heading_line_10", {in({}, 9)}, "",
     {stderr_is("discriminant.in, line 10: end of file where a line was expected")}, 2, {}},
    {"ends_at_lmin_lmax", {in({}, 10)}, "",
     {stderr_is("discriminant.in, line 11: end of file where an integer was expected")}, 2, {}},
    {"ends_at_kind", {in({}, 11)}, "",
     {stderr_is("discriminant.in, line 12: end of file where a text was expected")}, 2, {}},
    {"ends_at_specific_m", {in({}, 17)}, "",
     {stderr_is("discriminant.in, line 18: end of file where an integer was expected")}, 2, {}},
    {"ends_at_grid_heading", {in({}, 22)}, "",
     {stderr_is("discriminant.in, line 23: end of file where a line was expected")}, 2, {}},
    {"ends_at_vomega", {in({}, 25)}, "",
     {stderr_is("discriminant.in, line 26: end of file where a real number was expected")}, 2, {}},

    // Values that cannot be read.
    {"lmin_not_a_number", {in({{11, "one 3"}})}, "", {stderr_is("discriminant.in, line 11: an integer was expected")},
     2, {}},
    {"grid_line_short_reads_on", {in({{24, "60. 60."}})}, "",
     {stderr_is("discriminant.in, line 29: a real number was expected")}, 2, {}},
    {"u_not_a_number", {in({{33, "u"}})}, "", {stderr_is("discriminant.in, line 33: a real number was expected")}, 2,
     {}},
    {"observed_not_a_number", {in({{41, "many 10."}})}, "",
     {stderr_is("discriminant.in, line 41: a real number was expected")}, 2, {}, {"result.out"}},
    {"output_file_cannot_be_created", {in({{35, "nodir/result.out"}})}, "",
     {stderr_is("nodir/result.out: cannot be created (No such file or directory)")}, 2, {}},

    // The tesseral stop: a blank line last on the screen, nothing written.
    {"tesseral_with_lmax_1", {in({{12, "tesseral"}})}, "",
     {stderr_is("No tesseral modes in specified l-range !!!"),
      stdout_has(" ---> kind of modes     : tesseral     \n\n")},
     1, {}, {"result.out"}},

    // Not refused: an empty l range gives an empty final table.
    {"lmin_above_lmax_no_couples", {in({{11, "3 1"}})}, "", {stdout_line(banner, 1)}, 0,
     {{"result.out", 37, {"Table with the final results (Sf =    0.00000)"}}}},
    // Degrees past 44: the tables grow with the run.
    {"sectoral_l_45_searched", {in({{11, "45 45"}})}, "", {stdout_line(banner, 1)}, 0,
     {{"result.out", 47, {"  1    45  45 ", "Table with the final results"}}}},
    // A kind the run cannot read ends where the file ends, before any refusal.
    {"unknown_kind_file_ends_early", {in({{12, "SECTORAL"}}, 33)}, "", {stdout_line(banner, 1)}, 0, {},
     {"result.out"}},

    // Refusals: a stop with one line, no output file.
    refusal("refuse_lmin_negative", {{11, "-1 2"}, {12, "all"}}, "lmin below 0: the degree l must be 0 or more"),
    // The count shown before that refusal leaves out the negative degrees.
    {"refuse_lmin_negative_count_all", {in({{11, "-2 1"}, {12, "all"}})}, "",
     {stderr_is("lmin below 0: the degree l must be 0 or more"),
      stdout_has(" ---> number of (l,m)-couples          :  3\n")},
     1, {}, {"result.out"}},
    {"refuse_lmin_negative_count_axi_symmetric", {in({{11, "-3 1"}, {12, "axi-symmetric"}})}, "",
     {stderr_is("lmin below 0: the degree l must be 0 or more"),
      stdout_has(" ---> number of (l,m)-couples          :  2\n")},
     1, {}, {"result.out"}},
    refusal("refuse_kind_in_capitals", {{12, "SECTORAL"}},
            "Unknown kind of modes \"SECTORAL\": it must be all, axi-symmetric, tesseral, sectoral or specific"),
    refusal("refuse_unknown_kind", {{11, "0 2"}, {12, "zonal"}},
            "Unknown kind of modes \"zonal\": it must be all, axi-symmetric, tesseral, sectoral or specific"),
    refusal("refuse_too_many_couples", {{11, "0 9"}, {12, "all"}}, "Too many (l,m)-couples: 55 (at most 45)"),
    refusal("refuse_lmax_above_85", {{11, "86 86"}},
            "lmax above 85: the degree l must be 85 or less, as the factorials up to (2l)! must stay finite"),
    refusal("refuse_zero_step", {{24, "10. 90. 0."}},
            "Bad inclination grid: minimum, maximum and step must give 1 to 20000 values"),
    refusal("refuse_zero_step_zero_span", {{26, "10. 10. 0."}},
            "Bad vomega grid: minimum, maximum and step must give 1 to 20000 values"),
    refusal("refuse_max_below_min", {{25, "25. 5. 5."}},
            "Bad vp grid: minimum, maximum and step must give 1 to 20000 values"),
    refusal("refuse_count_above_20000", {{27, "0. 20000. 1."}},
            "Bad sigma grid: minimum, maximum and step must give 1 to 20000 values"),
    refusal("refuse_grid_above_20000", {{24, "0. 90. 1."}, {25, "1. 250. 1."}},
            "Too many gridpoints: 22750 (at most 20000)"),
    refusal("refuse_grid_product_beyond_32_bits", {{24, "1. 20000. 1."}, {25, "1. 20000. 1."}, {26, "1. 20000. 1."}},
            "Too many gridpoints: 8000000000000 (at most 20000)"),
    refusal("refuse_u_equal_1", {{33, "1.0"}}, "Limb-darkening coefficient u = 1 gives no beta: u must differ from 1"),
    refusal("refuse_zero_error", {{40, "2.0 0."}}, "Standard error of DD must be above 0"),
    refusal("refuse_negative_error", {{44, "300. -40."}}, "Standard error of RST must be above 0"),
    refusal("refuse_negative_observed", {{42, "-20. 5."}}, "Observed FF must not be negative"),
    refusal("refuse_all_observed_zero",
            {{38, "0. 0.2"}, {39, "0. 1."}, {40, "0. .5"}, {41, "0. 10."}, {42, "0. 5."}, {43, "0. 3."}, {44, "0. 4."}},
            "All seven observed values are 0: at least one must be above 0"),
    refusal("refuse_specific_m_outside", {{11, "1 3"}, {12, "specific"}, {18, "2"}},
            "Specific m-value 2 lies outside -l..l for l = 1"),

    // Nothing lost: a refused run leaves an earlier output file as it was.
    {"refusal_keeps_an_earlier_result", {in({{33, "1.0"}}), file("result.out", "results of an earlier run\n")}, "",
     {stderr_is("Limb-darkening coefficient u = 1 gives no beta: u must differ from 1")}, 1, {}},

    // A write that fails is never a success: the file (or standard output)
    // and the system's reason, exit status 2.
    {"output_file_on_a_full_device", {in(), full_device("result.out")}, "", {stderr_is("result.out: cannot be written (No space left on device)")}, 2,
     {}, {}, true},
    screen_full({"screen_on_a_full_device", {in()}, "", {stderr_is("standard output: cannot be written (No space left on device)")}, 2, {complete_result}}),
};

class DiscriminantFailure : public testing::TestWithParam<Row> {};

TEST_P(DiscriminantFailure, Run) { check_row(DISCRIMINANT_PROGRAM, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, DiscriminantFailure, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace failures

#endif
