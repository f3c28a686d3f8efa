// Failure rows of the fit dialogue and of the phase plot, each a whole run
// of cyclefit: files that cannot be used, answers asked again, refused
// frequency sets, answers that end the program, devices that cannot be
// opened, and the files left behind: the summary file fort.15 keeps every
// finished fit's entry, and every solution and residual file written
// before the end is complete.
#include <gtest/gtest.h>

#include "failures/data.hpp"
#include "failures/table.hpp"

#ifdef CYCLEFIT_PROGRAM

namespace failures {
namespace {

const std::string star = light_curve(40);
const Input star_dat = file("star.dat", star);

// One fit of star.dat (no error column, T0 = t(1)) with one frequency and
// one harmonic; the phase-plot question comes next.
const std::string fit1 = "star.dat\n0\nn\n1\n1.2345,1\n";
// What such a fit leaves: the summary entry (FREQ, FRACVAR, empty line) and
// the solution file of 2+2+14+5+1 + 1 + 4 + 1+2+5 + 40 + 5+3+100 records.
const Left summary1{"fort.15", 3, {"file : solution.1.23450.fv"}};
const Left solution1{"solution.1.23450.fv", 185};
// The residual file of its phase plot: a header and 40 records.
const Left residuals1{"solution.1.23450.res", 41};

// Fifty observations, fitted with 1.5 c/d and one harmonic: a solution file
// of 2+2+14+5+1 + 1 + 4 + 1+2+5 + 50 + 5+3+100 records.
const Input lc_dat = file("lc.dat", light_curve(50));
const Left summary_lc{"fort.15", 3, {"file : solution.1.50000.fv"}};
const Left solution_lc{"solution.1.50000.fv", 195};

const std::string again = " Do you want to check another frequency for this";

const std::vector<Row> rows = {
    // The input file.
    {"eof_ends_quietly", {}, "eof\n", {stdout_is(" Give the name of the input file (eof to end)\n\n")}, 0, {}},
    {"eofx_is_a_file_name", {}, "eofx\n0\neof\n", {stdout_line(" Cannot open the input file eofx")}, 0, {}},
    {"missing_input_file", {}, "gone.dat\n1\neof\n", {stdout_line(" Cannot open the input file gone.dat")}, 0, {}},
    {"empty_input_file", {file("empty.dat", "")}, "empty.dat\n0\neof\n",
     {stdout_line(" The input file empty.dat is empty: no header line")}, 0, {}},
    {"header_only", {file("star.dat", "V band\n")}, "star.dat\n0\neof\n", {stdout_line(" N=0")}, 0, {}},
    {"first_record_unreadable", {file("star.dat", lines({"V band", "10.0 seven", "10.1 7.5"}))}, "star.dat\n0\neof\n",
     {stdout_line(" star.dat, line 2: a value that cannot be read; 0 observations read"), stdout_line(" N=0")}, 0,
     {}},
    {"unreadable_record_further_down", {file("star.dat", light_curve(20) + "10.3 x\n" + "10.4 7.5\n")},
     "star.dat\n0\neof\neof\n", {stdout_line(" star.dat, line 22: a value that cannot be read; 20 observations read")},
     0, {}},
    // Answers, unlike data lines, may go on over the next line.
    {"frequency_and_harmonics_on_two_lines", {star_dat}, "star.dat\n0\nn\n1\n1.2345\n1\n0\n0\neof\n", {}, 0,
     {summary1, solution1}},
    {"short_line_further_down", {file("star.dat", light_curve(20) + "10.3\n" + "10.4 7.5\n")},
     "star.dat\n0\neof\neof\n", {stdout_line(" star.dat, line 22: a value that cannot be read; 20 observations read")},
     0, {}},
    {"two_columns_read_with_errors", {star_dat}, "star.dat\n1\neof\n",
     {stdout_line(" star.dat, line 2: a value that cannot be read; 0 observations read"), stdout_line(" N=0")}, 0, {}},
    {"more_than_75000_observations", {file("star.dat", light_curve(75002))}, "star.dat\n0\neof\neof\n",
     {stdout_line(" star.dat, line 75001: reading stops at 75000 observations, the rest is ignored")}, 0, {}},
    {"epoch_eof_back_to_file_question", {star_dat}, "star.dat\n0\neofx\neof\n",
     {stdout_line(" Give the name of the input file (eof to end)", 2)}, 0, {}},

    // Answers outside the choices are asked again.
    {"error_column_answer_asked_again", {star_dat}, "star.dat\n2\n-1\n0\neof\neof\n",
     {stdout_line(" Are there errors in the inputfile? (1/0)", 3)}, 0, {}},
    {"phaseplot_answer_asked_again", {star_dat}, fit1 + "0.5\n2\n0\n0\neof\n",
     {stdout_line(" Do you want to make a phaseplot with this frequency? (1/0)", 3)}, 0, {summary1, solution1}},
    {"next_step_answer_asked_again", {star_dat}, fit1 + "0\n7\n-1\n0\neof\n", {stdout_line(again, 3)}, 0,
     {summary1, solution1}},

    // Frequency sets the fit cannot hold: the question again.
    {"number_of_frequencies_refused", {star_dat}, "star.dat\n0\nn\n0\n12\n1\n1.2345,1\n0\n0\neof\n",
     {stdout_line(" The number of frequencies must be from 1 to 11", 2)}, 0, {summary1, solution1}},
    {"number_of_harmonics_refused", {star_dat}, "star.dat\n0\nn\n1\n1.2345,-1\n1\n1.2345,50\n1\n1.2345,1\n0\n0\neof\n",
     {stdout_line(" The number of harmonics must be from 0 to 49", 2)}, 0, {summary1, solution1}},
    {"more_than_99_parameters_refused", {star_dat},
     "star.dat\n0\nn\n3\n1.2345,49\n2.5,1\n3.5,1\n1\n1.2345,1\n0\n0\neof\n",
     {stdout_line(" At most 99 parameters: 1 + 2 x (number of harmonics in all)", 1),
      stdout_line(" Frequency nr. 3,number of harmonics: ", 1)},
     0, {summary1, solution1}},
    // A set refused in its first line is still read to its last line: the
    // second frequency is not taken for the number of frequencies.
    {"refused_first_of_two_frequencies", {lc_dat}, "lc.dat\n0\nx\n2\n1.5 -1\n2.5 1\n1\n1.5 1\n0\n0\neof\n",
     {stdout_line(" The number of harmonics must be from 0 to 49", 1),
      stdout_line(" Frequency nr. 2,number of harmonics: ", 1),
      stdout_line(" Number of frequencies to fit: ", 2)},
     0, {summary_lc, solution_lc}},
    {"sixty_harmonics_in_the_first_of_two_frequencies", {lc_dat},
     "lc.dat\n0\nx\n2\n1.5 60\n2.5 1\n1\n1.5 1\n0\n0\neof\n",
     {stdout_line(" The number of harmonics must be from 0 to 49", 1),
      stdout_line(" Frequency nr. 2,number of harmonics: ", 1)},
     0, {summary_lc, solution_lc}},
    {"fewer_observations_than_parameters", {file("star.dat", light_curve(4))},
     "star.dat\n0\nn\n1\n1.2345,2\n1\n1.2345,1\n0\n0\neof\n",
     {stdout_line(" Fewer observations than parameters: 4 observations, 5 parameters; no fit")}, 0,
     {{"fort.15", 3}, {"solution.1.23450.fv", 149}}},

    // Answers that end the program.
    {"end_of_input_at_file_question", {}, "",
     {stderr_is("standard input, line 1: end of file where a text was expected")}, 2, {}},
    {"non_numeric_answer", {star_dat}, "star.dat\nx\n", {stderr_is("standard input, line 2: an integer was expected")},
     2, {}},
    {"end_of_input_at_time_of_phase_0", {star_dat}, "star.dat\n0\nN\n",
     {stderr_is("standard input, line 4: end of file where a real number was expected")}, 2, {}},

    // The phase plot.  Without a harmonic the calculated fit has its heading
    // and no rows: 100 records fewer.
    {"no_harmonic_no_phase_plot", {star_dat}, "star.dat\n0\nn\n1\n1.2345,0\n1\n0\neof\n",
     {stdout_line(" There is no frequency to fold on: no phase plot.")}, 0,
     {{"fort.15", 3}, {"solution.1.23450.fv", 81}, residuals1}},
    {"data_kind_asked_again", {star_dat}, fit1 + "1\n13\n-1\n4\n/null\n0\n0\neof\n",
     {stdout_line(" Which kind of data-set?", 3)}, 0, {summary1, solution1, residuals1}},
    {"ps_answer_asked_again", {star_dat}, fit1 + "1\n4\n/null\n2\n-1\n0\n0\neof\n",
     {stdout_line(" Do you want a ps-file? (1=yes; 0=no)", 3)}, 0, {summary1, solution1, residuals1}},
    {"device_cannot_be_opened", {star_dat}, fit1 + "1\n4\nnodir/x.png/png\n0\n0\neof\n",
     {stdout_has("Graphics device nodir/x.png/png cannot be opened: nothing is drawn on it.\n")}, 0,
     {summary1, solution1, residuals1}},
    {"postscript_file_cannot_be_opened", {star_dat, folder("solution.1.23450.ps")}, fit1 + "1\n4\n/null\n1\n0\neof\n",
     {stdout_line(" Graphics device solution.1.23450.ps /ps cannot be opened: nothing is drawn on it.")}, 0,
     {summary1, solution1, residuals1}},
    {"png_and_postscript_drawn", {star_dat}, fit1 + "1\n5\nphase.png/png\n1\n0\neof\n", {}, 0,
     {summary1, solution1, residuals1, {"phase.png", -1, {}, true}, {"solution.1.23450.ps", -1, {}, true}}},
    {"end_of_input_at_device", {star_dat}, fit1 + "1\n4\n",
     {stderr_is("standard input, line 8: end of file where a line was expected")}, 2,
     {summary1, solution1, residuals1}},
    {"end_of_input_at_data_kind", {star_dat}, fit1 + "1\n",
     {stderr_is("standard input, line 7: end of file where an integer was expected")}, 2,
     {summary1, solution1, residuals1}},
    // Times of 100000 or more that are not above 2400000 do not fit the
    // time field of the solution file: the reading back stops at the
    // first observation and the plot is declined.
    {"solution_field_not_a_number", {file("star.dat", light_curve(40, false, 200000.0))}, fit1 + "1\n0\neof\n",
     {stdout_line(" solution.1.23450.fv, line 38: no number the plot can use; reading stops there."),
      stdout_line(" No observation was read back from the solution file: no phase plot.")},
     0, {summary1, solution1, {"solution.1.23450.res", 1}}},
    {"residual_file_cannot_be_created", {star_dat, folder("solution.1.23450.res")}, fit1 + "1\n",
     {stderr_is("solution.1.23450.res: cannot be created (Is a directory)")}, 2, {summary1, solution1}},

    // Nothing lost: the summary file keeps every finished fit, and the
    // files of those fits stay complete.
    {"end_of_input_in_the_third_fit", {star_dat}, fit1 + "0\n1\n1\n2.34567,2\n0\n1\n2\n",
     {stderr_is("standard input, line 13: end of file where a real number was expected")}, 2,
     {{"fort.15", 6, {"file : solution.1.23450.fv", "file : solution.2.34567.fv"}},
      solution1,
      {"solution.2.34567.fv", 189}}},
    {"bad_answer_in_the_third_fit", {star_dat}, fit1 + "0\n1\n1\n2.34567,2\n0\n1\n2\n1.0,x\n",
     {stderr_is("standard input, line 13: an integer was expected")}, 2,
     {{"fort.15", 6, {"file : solution.1.23450.fv", "file : solution.2.34567.fv"}},
      solution1,
      {"solution.2.34567.fv", 189}}},
    {"end_of_input_at_a_new_file", {star_dat, file("errs.dat", light_curve(30, true))},
     fit1 + "0\n0\nerrs.dat\n1\nn\n",
     {stderr_is("standard input, line 11: end of file where an integer was expected")}, 2, {summary1, solution1}},
    {"solution_file_cannot_be_created_in_a_later_fit", {star_dat, folder("solution.1.23450.fv")},
     "star.dat\n0\nn\n1\n2.5,1\n0\n1\n1\n1.2345,1\n",
     {stderr_is("solution.1.23450.fv: cannot be created (Is a directory)")}, 2,
     {{"fort.15", 3, {"file : solution.2.50000.fv"}}, {"solution.2.50000.fv", 185}}},

    // A write that fails is never a success: the file (or standard output)
    // and the system's reason, exit status 2; what was written to the other
    // files before stays complete.
    {"solution_file_on_a_full_device", {star_dat, full_device("solution.1.23450.fv")}, fit1 + "0\n0\neof\n",
     {stderr_is("solution.1.23450.fv: cannot be written (No space left on device)")}, 2, {{"fort.15", 1, {"FREQ 1 =  1.23450000"}}}},
    {"summary_file_on_a_full_device", {star_dat, full_device("fort.15")}, fit1 + "0\n0\neof\n",
     {stderr_is("fort.15: cannot be written (No space left on device)")}, 2, {solution1}},
    {"postscript_file_on_a_full_device", {star_dat, full_device("solution.1.23450.ps")},
     fit1 + "1\n4\n/null\n1\n0\neof\n",
     {stderr_is("solution.1.23450.ps: cannot be written (error while writing to output stream)")}, 2,
     {summary1, solution1, residuals1}},
    screen_full({"screen_on_a_full_device", {star_dat}, "star.dat\n0\neof\neof\n",
                 {stderr_is("standard output: cannot be written (No space left on device)")}, 2, {}}),
};

class CyclefitFailure : public testing::TestWithParam<Row> {};

TEST_P(CyclefitFailure, Run) { check_row(CYCLEFIT_PROGRAM, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, CyclefitFailure, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace failures

#endif
