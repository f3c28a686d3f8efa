// Failure rows of the frequency-search dialogue, each a whole run of
// periodscan: every way a run can end early or go back, and the output
// files it leaves (an output file is either complete or not created).
#include <gtest/gtest.h>

#include "failures/data.hpp"
#include "failures/table.hpp"

#ifdef PERIODSCAN_PROGRAM

namespace failures {
namespace {

const std::string star = light_curve(40);
const std::string menu = " Methode:  1 = Jurkevich-Stellingwerf, 2 = Scargle";
// A Scargle search from 0 to 1 c/d in steps of 0.01 into first.out:
// 101 lines; the menu follows.
const std::string scargle_first = "star.dat\n2\nfirst.out\n0.01\n0 1\n";

const std::vector<Row> rows = {
    // The file question.
    {"eof_ends_quietly", {}, "eof\n", {stdout_is(" Give the name of the file with the data (eof for end)\n")}, 0, {}},
    {"capital_EOF_is_a_file_name", {}, "EOF\n",
     {stderr_is("EOF: cannot be opened for reading (No such file or directory)")}, 2, {}},
    {"missing_data_file", {}, "star.dat\n",
     {stderr_is("star.dat: cannot be opened for reading (No such file or directory)")}, 2, {}},
    {"header_only", {file("star.dat", "V band, no data\n")}, "star.dat\n", {stderr_is("N<=0")}, 1, {}},
    {"empty_data_file", {file("star.dat", "")}, "star.dat\n", {stderr_is("N<=0")}, 1, {}},
    {"data_record_not_a_number", {file("star.dat", lines({"header", "10.0 7.5", "10.1 seven", "10.2 7.4"}))},
     "star.dat\n", {stderr_is("star.dat, line 3: a real number was expected")}, 2, {}},
    {"range_answer_over_two_lines", {file("star.dat", star)}, "star.dat\n2\nout.txt\n0.01\n0\n1\n3\neof\n",
     {stdout_line(" Eindfrequentie  =  1.0")}, 0, {{"out.txt", 101}}},
    {"data_line_holds_one_value", {file("star.dat", lines({"header", "10.0 7.5", "10.1", "10.2 7.4"}))},
     "star.dat\n", {stderr_is("star.dat, line 3: the line ends where a real number was expected")}, 2, {}},
    {"more_than_10000_observations_said", {file("star.dat", light_curve(10003))}, "star.dat\n3\neof\n",
     {stdout_line(" Only the first 10000 observations are read: the file goes on after line 10001")}, 0, {}},

    // The menu and the grid questions.
    {"menu_answer_out_of_range_asks_again", {file("star.dat", star)}, "star.dat\n7\n-1\n3\neof\n",
     {stdout_line(menu, 3)}, 0, {}},
    {"step_0_back_to_menu", {file("star.dat", star)}, "star.dat\n2\nout.txt\n0\n3\neof\n", {stdout_line(menu, 2)}, 0,
     {}, {"out.txt"}},
    {"start_and_end_0_back_to_menu", {file("star.dat", star)}, "star.dat\n1\nout.txt\n0.01\n0 0\n3\neof\n",
     {stdout_line(menu, 2)}, 0, {}, {"out.txt"}},
    {"fewer_than_one_frequency", {file("star.dat", star)}, "star.dat\n2\nout.txt\n0.1\n1 0.5\n",
     {stderr_is("NF<1")}, 1, {}, {"out.txt"}},
    {"more_than_maxf_frequencies", {file("star.dat", star)}, "star.dat\n2\nout.txt\n0.00001\n0 5\n",
     {stderr_is("NF>MAXF")}, 1, {}, {"out.txt"}},
    {"count_beyond_integers_is_maxf", {file("star.dat", star)}, "star.dat\n2\nout.txt\n1e-300\n0 1\n",
     {stderr_is("NF>MAXF"), stdout_line(" Aantal stappen  =  9223372036854775807")}, 1, {}},
    {"count_below_integers_is_nf_below_1", {file("star.dat", star)}, "star.dat\n2\nout.txt\n-1e-300\n0 1\n",
     {stderr_is("NF<1"), stdout_line(" Aantal stappen  =  -9223372036854775808")}, 1, {}},
    {"bins_and_covers_asked_again", {file("star.dat", star)},
     "star.dat\n1\nout.txt\n0.1\n0.5 1\n0 3\n-1 1\n65536 65536\n1001 1\n5 1\n3\neof\n",
     {stdout_line(" NB must be at least 1 and NB*NC at most 1000 (NC below 2 counts as 1)", 4)}, 0,
     {{"out.txt", 6}}},
    {"no_maximum_still_writes_the_file", {file("star.dat", star)}, "star.dat\n2\nzero.out\n1\n0 0.0001\n3\neof\n",
     {stdout_line(" No maximum found: no amplitude is above 0.0")}, 0, {{"zero.out", 1, {"NaN"}}}},
    {"no_minimum_still_writes_the_file", {file("one.dat", lines({"one observation", "10.0 7.5"}))},
     "one.dat\n1\nj.out\n0.1\n0.5 1\n5 1\n3\neof\n",
     {stdout_line(" No minimum found: no statistic is below 9.0E9")}, 0, {{"j.out", 6, {"NaN"}}}},

    // Answers that end the program.
    {"end_of_input_at_file_question", {}, "",
     {stderr_is("standard input, line 1: end of file where a text was expected")}, 2, {}},
    {"non_numeric_menu_answer", {file("star.dat", star)}, "star.dat\nx\n",
     {stderr_is("standard input, line 2: an integer was expected")}, 2, {}},
    {"end_of_input_at_the_range", {file("star.dat", star)}, "star.dat\n2\nout.txt\n0.01\n",
     {stderr_is("standard input, line 5: end of file where a real number was expected")}, 2, {}, {"out.txt"}},
    {"output_file_in_missing_folder", {file("star.dat", star)}, "star.dat\n2\nnodir/out.txt\n0.01\n0 1\n",
     {stderr_is("nodir/out.txt: cannot be created (No such file or directory)")}, 2, {}},
    {"output_name_is_a_folder", {file("star.dat", star), folder("out.txt")}, "star.dat\n2\nout.txt\n0.01\n0 1\n",
     {stderr_is("out.txt: cannot be created (Is a directory)")}, 2, {}},

    // Nothing lost: an earlier complete output file stays complete, a new
    // one is not created.
    {"end_of_input_at_bins_after_a_search", {file("star.dat", star)},
     scargle_first + "1\nsecond.out\n0.01\n0 1\n",
     {stderr_is("standard input, line 10: end of file where an integer was expected")}, 2, {{"first.out", 101}},
     {"second.out"}},
    {"end_of_input_at_bins_same_output_name", {file("star.dat", star)},
     scargle_first + "1\nfirst.out\n0.02\n0 1\n",
     {stderr_is("standard input, line 10: end of file where an integer was expected")}, 2, {{"first.out", 101}}},
    {"bad_range_after_a_search", {file("star.dat", star)}, scargle_first + "1\nsecond.out\n0.01\nx y\n",
     {stderr_is("standard input, line 9: a real number was expected")}, 2, {{"first.out", 101}}, {"second.out"}},
    {"nf_below_1_after_a_search", {file("star.dat", star)}, scargle_first + "2\nsecond.out\n0.1\n1 0.5\n",
     {stderr_is("NF<1")}, 1, {{"first.out", 101}}, {"second.out"}},
    {"uncreatable_output_after_a_search", {file("star.dat", star)}, scargle_first + "2\nnodir/second.out\n0.1\n0 1\n",
     {stderr_is("nodir/second.out: cannot be created (No such file or directory)")}, 2, {{"first.out", 101}}},

    // A write that fails is never a success: the file (or standard output)
    // and the system's reason, exit status 2.  The output file is on a full
    // device, once too large for the buffer and once caught only by its close.
    {"output_file_on_a_full_device", {file("star.dat", star), full_device("out.txt")},
     "star.dat\n2\nout.txt\n0.01\n0 1\n3\neof\n", {stderr_is("out.txt: cannot be written (No space left on device)")}, 2, {}},
    {"short_output_file_on_a_full_device", {file("star.dat", star), full_device("out.txt")},
     "star.dat\n2\nout.txt\n0.5\n0 1\n3\neof\n", {stderr_is("out.txt: cannot be written (No space left on device)")}, 2, {}},
    screen_full({"screen_on_a_full_device", {file("star.dat", star)}, "star.dat\n0\n3\neof\n",
                 {stderr_is("standard output: cannot be written (No space left on device)")}, 2, {}}),
};

class PeriodscanFailure : public testing::TestWithParam<Row> {};

TEST_P(PeriodscanFailure, Run) { check_row(PERIODSCAN_PROGRAM, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, PeriodscanFailure, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace failures

#endif
