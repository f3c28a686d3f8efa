// Whole runs of prewhiten: what it writes for good stars, and every way a
// star or the command line can fail: the message, the exit status, the
// other stars still done, and no output file that is not whole.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "failures/data.hpp"
#include "failures/runner.hpp"
#include "failures/table.hpp"

#ifdef PREWHITEN_PROGRAM

namespace failures {
namespace {

const std::string star = light_curve(300);
const Input star_dat = file("star.dat", star);
const std::string hint = " (prewhiten --help lists the options)";
// A spectrum file: its comment line and header.
const Left spectrum_of_star{"star.spectrum.csv", -1,
                            {"# N=300, T=", ", unit=none, method=", "\nfrequency,amplitude\n"}};
const std::string table_header =
    "\nid,frequency,frequency_err,amplitude,amplitude_err,phase,phase_err,snr,log10_fap,combination,"
    "combination_probability\n";
// The files of an extraction of star.dat (its 300 points: a residual file
// of 301 lines).
const std::vector<Left> extraction_of_star = {
    {"star.png", -1, {}, true},
    {"star.frequencies.csv", -1, {"# N=300, T=21.82557, t_ref=", ", unit=none, D=", ", stop=snr, next_snr=",
                                  table_header + "1,1.234499"}},
    {"star.frequencies.txt", -1, {"# star.dat: N = 300, T = 21.8256 d", "# 12 frequencies; stop: ", "\n 1  1.2344999"}},
    {"star.residuals.dat", 301, {"time residual (star.dat minus 12 frequencies and the baseline, unit none)\n10 "}},
    {"star.baseline.csv", 3, {"# N=300, T=21.82557, unit=none, baseline=linear, segments=1\nsegment,start,"}},
    {"star.spectrum.csv", -1, {"# N=300, T=21.82557, unit=none, frequencies=12, method=nufft",
                               "\nfrequency,amplitude,residual_amplitude\n"}}};

// The files of an extraction without a picture, its table holding `text`.
std::vector<Left> tables_of(const std::string& stem, const std::string& text)
{
    return {{stem + ".frequencies.csv", -1, {text}}, {stem + ".frequencies.txt"}, {stem + ".residuals.dat"},
            {stem + ".baseline.csv"}, {stem + ".spectrum.csv"}};
}

// The rows of a light curve without its header line, for a second part of
// one file.
std::string rows_of(const std::string& curve) { return curve.substr(curve.find('\n') + 1); }

std::string tess_file()
{
    const std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/")) +
           "/examples/hlsp_tess-spoc_tess_phot_0000000022876651-s0058_tess_v1_lc.fits";
}

Row run(const char* name, std::vector<std::string> arguments, std::vector<Input> inputs,
        std::vector<Message> messages, int status, std::vector<Left> left, std::vector<std::string> absent = {})
{
    Row row{name, std::move(inputs), "", std::move(messages), status, std::move(left), std::move(absent)};
    row.arguments = std::move(arguments);
    return row;
}

Message stderr_has(const std::string& text) { return {Stream::err, Match::contains, text}; }

Row with_answers(Row row, std::string answers)
{
    row.answers = std::move(answers);
    return row;
}

const std::vector<Row> rows = {
    // Stars done.
    run("spectrum_only", {"--spectrum-only", "star.dat"}, {star_dat},
        {stdout_line("star.dat: 300 rows read, 0 dropped, 300 kept"), stdout_has("star.dat: highest peak at 1.23"),
         stdout_line("star.dat: wrote star.spectrum.csv")},
        0, {spectrum_of_star}),
    run("extraction_writes_its_files", {"star.dat"}, {star_dat},
        {stdout_line("star.dat: 12 frequencies; stop: no peak left reaches S/N 4 (the highest, at 4.04 c/d, has 2.95)"),
         stdout_line("star.dat: wrote star.frequencies.csv"), stdout_line("star.dat: wrote star.frequencies.txt"),
         stdout_line("star.dat: wrote star.residuals.dat"), stdout_line("star.dat: wrote star.spectrum.csv"),
         stdout_line("star.dat: wrote star.png")},
        0, extraction_of_star),
    run("picture_as_pdf_or_none", {"--plot", "pdf", "star.dat"}, {star_dat},
        {stdout_line("star.dat: wrote star.pdf")}, 0,
        {{"star.frequencies.csv"}, {"star.frequencies.txt"}, {"star.residuals.dat"}, {"star.baseline.csv"},
         {"star.spectrum.csv"},
         {"star.pdf", -1, {}, true}}),
    run("extraction_with_weights_and_a_limit", {"--weights", "--max-frequencies", "1", "--window", "1.2345", "e.dat"},
        {file("e.dat", light_curve(300, true))},
        {stdout_line("e.dat: 1 frequency; stop: 1 frequency extracted, the most asked for")}, 0,
        {{"e.frequencies.csv", 3,
          {", stop=max-frequencies, refine=all, weights=yes,", ", fit=fast, select=snr, baseline=linear, segments=1\n",
           table_header + "1,1.234"}},
         {"e.frequencies.txt"},
         {"e.residuals.dat", 301, {"time residual error (e.dat minus 1 frequency and the baseline, unit none)\n10 "}},
         {"e.baseline.csv"}, {"e.spectrum.csv", -1, {"frequencies=1,"}},
         {"e.window.csv", -1, {"window_frequency=1.2345,"}},
         {"e.png", -1, {}, true}}),
    run("resume_skips_a_star_whose_table_is_there", {"--resume", "--plot", "none", "star.dat", "a.dat"},
        {star_dat, file("a.dat", star), file("star.frequencies.csv", "an older table\n")},
        {stdout_line("star.dat: skipped, star.frequencies.csv is there (--resume)"),
         stdout_has("\na.dat: 300 points, 12 frequencies; stop: no peak left reaches S/N 4"
                    " (the highest, at 4.04 c/d, has 2.95); ")},
        0, {{"a.frequencies.csv"}, {"a.frequencies.txt"}, {"a.residuals.dat", 301}, {"a.baseline.csv"},
        {"a.spectrum.csv"}}),
    // Several stars: a line each, a row each in the summary, the bad one
    // named and the others done.
    run("bad_star_among_good_ones_with_a_summary",
        {"--summary", "all.csv", "--plot", "none", "--max-frequencies", "2", "a.dat", "bad.dat", "b.dat"},
        {file("a.dat", star), file("bad.dat", lines({"1 7.5", "2 seven"})), file("b.dat", star)},
        {stdout_has("a.dat: 300 points, 2 frequencies; stop: 2 frequencies extracted, the most asked for; "),
         stdout_has("\nb.dat: 300 points, 2 frequencies; stop: 2 frequencies extracted, the most asked for; "),
         stderr_is("prewhiten: bad.dat, line 2: the value 'seven' (column 2) is not a number")},
        2,
        {{"all.csv", 4,
          {"file,N,T,frequencies,f1,A1,unit,stop,status,message\na.dat,300,21.82557,2,1.2344",
           "\nbad.dat,,,,,,,,failed,\"bad.dat, line 2: the value 'seven' (column 2) is not a number\"\n",
           "\nb.dat,300,21.82557,2,1.2344", ",none,max-frequencies,done,\n"}},
         {"a.frequencies.csv"}, {"a.frequencies.txt"}, {"a.residuals.dat"}, {"a.baseline.csv"}, {"a.spectrum.csv"},
         {"b.frequencies.csv"}, {"b.frequencies.txt"}, {"b.residuals.dat"}, {"b.baseline.csv"}, {"b.spectrum.csv"}}),
    run("summary_that_cannot_be_written", {"--summary", "no/all.csv", "--plot", "none", "star.dat"}, {star_dat},
        {stderr_is("prewhiten: no/all.csv: cannot be written (No such file or directory)")}, 2,
        {{"star.frequencies.csv"}, {"star.frequencies.txt"}, {"star.residuals.dat"}, {"star.baseline.csv"},
         {"star.spectrum.csv"}}),
    run("shard_takes_every_nth_from_the_ith",
        {"--shard", "2/3", "--plot", "none", "--max-frequencies", "1", "a.dat", "b.dat", "c.dat", "d.dat", "e.dat"},
        {file("a.dat", star), file("b.dat", star), file("c.dat", star), file("d.dat", star), file("e.dat", star)},
        {stdout_has("b.dat: 300 points, 1 frequency;"), stdout_has("\ne.dat: 300 points, 1 frequency;")}, 0,
        {{"b.frequencies.csv"}, {"b.frequencies.txt"}, {"b.residuals.dat"}, {"b.baseline.csv"}, {"b.spectrum.csv"},
         {"e.frequencies.csv"}, {"e.frequencies.txt"}, {"e.residuals.dat"}, {"e.baseline.csv"}, {"e.spectrum.csv"}}),
    run("spectral_window", {"--spectrum-only", "--window", "1.2345", "--method", "exact", "star.dat"}, {star_dat},
        {stdout_line("star.dat: wrote star.window.csv")}, 0,
        {{"star.spectrum.csv", -1, {"method=exact\n"}},
         {"star.window.csv", -1, {"# N=300, T=", ", window_frequency=1.2345, method=exact\nfrequency,amplitude\n"}}}),
    run("grid_from_the_options", {"--spectrum-only", "--fmin", "1", "--fmax", "2", "--step", "0.25", "star.dat"},
        {star_dat}, {stdout_line("star.dat: 1 to 2 c/d in steps of 0.25 c/d, 5 frequencies, method nufft")}, 0,
        {{"star.spectrum.csv", 7, {"\n1,", "\n1.25,", "\n1.5,", "\n1.75,", "\n2,"}}}),
    run("columns_by_name_and_unit_mag", {"--spectrum-only", "--unit", "mag", "--time", "bjd", "--value", "V", "s.csv"},
        {file("s.csv", lines({"# bjd,V,err", "1,7.5,0.01", "2,7.6,0.01", "3,7.4,0.01", "4,7.5,0.01"}))},
        {stdout_line("s.csv: N = 4, T = 3 d, median step 1 d, values in mmag")}, 0,
        {{"s.spectrum.csv", -1, {"# N=4, T=3, unit=mmag"}}}),
    run("the_real_tess_file", {"--spectrum-only", "--unit", "flux", "--fmax", "5", tess_file()}, {},
        {stdout_line(tess_file() + ": 11977 rows read, 860 dropped (273 time not finite, 587 quality flagged), "
                                   "11117 kept"),
         stdout_line(tess_file() + ": N = 11117, T = 27.715 d, median step 0.00231479 d, values in ppt"),
         stdout_has(": highest peak at 1.20")},
        0,
        {{"hlsp_tess-spoc_tess_phot_0000000022876651-s0058_tess_v1_lc.spectrum.csv", -1,
          {"# N=11117, T=27.71503702090422, unit=ppt"}}}),
    run("joined_files_are_one_star", {"--spectrum-only", "--join", "b.dat", "a.dat"},
        {file("a.dat", light_curve(100, false, 10.0)), file("b.dat", light_curve(100, false, 40.0))},
        {stdout_line("b.dat: 100 rows read, 0 dropped, 100 kept"),
         stdout_line("a.dat: 100 rows read, 0 dropped, 100 kept"),
         stdout_has("b.dat + 1 more: N = 200, T = 37.2"), stdout_line("b.dat + 1 more: wrote b.spectrum.csv")},
        0, {{"b.spectrum.csv", -1, {"# N=200,"}}}),
    // Segments: split at a gap of days, between the files of --join even
    // where they abut, or at the user's breakpoints.
    run("segments_at_a_gap", {"--max-frequencies", "1", "--plot", "none", "gap.dat"},
        {file("gap.dat", light_curve(150) + rows_of(light_curve(150, false, 30.0)))},
        {stdout_line("gap.dat: 2 segments, median 10.8761 d, shortest 10.8761 d; a linear baseline each; "
                     "candidates by S/N")},
        0, tables_of("gap", ", segments=2\n")),
    run("segments_between_joined_files", {"--join", "--max-frequencies", "1", "--plot", "none", "a.dat", "b.dat"},
        {file("a.dat", star), file("b.dat", light_curve(300, false, 32.0))},
        {stdout_has("a.dat + 1 more: 2 segments, median 21.8")}, 0, tables_of("a", ", segments=2\n")),
    run("segments_from_a_file", {"--segments", "cuts.txt", "--max-frequencies", "1", "--plot", "none", "star.dat"},
        {star_dat, file("cuts.txt", lines({"# where the telescope was serviced", "15", "25"}))},
        {stdout_has("star.dat: 3 segments, median 6.79588 d, shortest 4.96061 d (the breakpoints of cuts.txt)"),
         stdout_has("cuts.txt); a linear baseline each; candidates by S/N\n")},
        0, tables_of("star", ", segments=3\n")),
    run("segments_file_that_cannot_be_read", {"--segments", "cuts.txt", "star.dat"},
        {star_dat, file("cuts.txt", lines({"15", "the 25th"}))}, {stderr_has("prewhiten: cuts.txt, line 2: ")}, 2,
        {}),

    // Standard input as the file -, once on a line; with --join it is one
    // of the star's files.
    with_answers(run("light_curve_on_standard_input", {"--spectrum-only", "-"}, {},
                     {stdout_line("standard input: 300 rows read, 0 dropped, 300 kept"),
                      stdout_line("standard input: wrote stdin.spectrum.csv")},
                     0, {{"stdin.spectrum.csv", -1, {"# N=300, T=21.82557, unit=none"}}}),
                 star),
    with_answers(run("standard_input_joined", {"--spectrum-only", "--join", "a.dat", "-"},
                     {file("a.dat", light_curve(100, false, 10.0))},
                     {stdout_line("standard input: 100 rows read, 0 dropped, 100 kept"),
                      stdout_has("a.dat + 1 more: N = 200, T = 37.2")},
                     0, {{"a.spectrum.csv", -1, {"# N=200,"}}}),
                 light_curve(100, false, 40.0)),
    run("standard_input_twice", {"--spectrum-only", "-", "star.dat", "-"}, {star_dat},
        {stderr_is("prewhiten: standard input (-) can be read once only" + hint)}, 1, {}),
    run("output_folder_made", {"--spectrum-only", "-o", "out/sub", "star.dat"}, {star_dat, folder("out")},
        {stdout_line("star.dat: wrote out/sub/star.spectrum.csv")}, 0, {{"out/sub/star.spectrum.csv"}}),
    run("rows_dropped_by_reason",
        {"--spectrum-only", "--error", "3", "star.dat"},
        {file("star.dat", lines({"t x e", "1 7.5 0.1", "nan 7.5 0.1", "2 inf 0.1", "3 7.6 nan", "4,,0.1", "5 7.4 0.1",
                                 "6 7.5 0.1", "7 7.3 0.1"}))},
        {stdout_line("star.dat: 8 rows read, 4 dropped (1 time not finite, 2 value not finite, 1 error not finite), "
                     "4 kept")},
        0, {{"star.spectrum.csv"}}),

    // Stars that fail (with good stars on the same line: the transcript
    // files_that_fail).
    run("weights_without_an_error_column", {"--weights", "star.dat"}, {star_dat},
        {stderr_is("prewhiten: star.dat: --weights needs an error column, and this light curve has none")}, 2, {}),
    run("folder_as_a_light_curve", {"--spectrum-only", "dir"}, {folder("dir")},
        {stderr_is("prewhiten: dir: cannot be opened for reading (Is a directory)")}, 2, {}),
    run("binary_file_as_text", {"--spectrum-only", "pic.png"},
        {file("pic.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16))},
        {stderr_is("prewhiten: pic.png, line 2: too few columns (1; the value is column 2)")}, 2, {}),
    run("header_only", {"--spectrum-only", "empty.dat"}, {file("empty.dat", "V band, no data\n")},
        {stdout_line("empty.dat: 0 rows read, 0 dropped, 0 kept"),
         stderr_is("prewhiten: empty.dat: no usable observations")},
        2, {}),
    run("every_row_dropped", {"--spectrum-only", "nan.dat"}, {file("nan.dat", lines({"1 nan", "2 nan"}))},
        {stdout_line("nan.dat: 2 rows read, 2 dropped (2 value not finite), 0 kept"),
         stderr_is("prewhiten: nan.dat: no usable observations")},
        2, {}),
    run("flux_without_a_positive_median", {"--spectrum-only", "--unit", "flux", "sky.dat"},
        {file("sky.dat", lines({"1 -3", "2 -1", "3 2"}))},
        {stderr_is("prewhiten: sky.dat: the median flux is -1, not positive: values cannot be taken relative to it")},
        2, {}),
    run("grid_empty_from_the_defaults", {"--spectrum-only", "--fmin", "100", "star.dat"}, {star_dat},
        {stderr_has("prewhiten: star.dat: the grid is empty: fmin 100 c/d is above fmax 6.")}, 2, {}),
    // Its 300 rows are read within 16 KiB; the spectrum needs more.  Within
    // 1 KiB, 64 rows of two numbers are read (line 65), and the 65th would
    // double the arrays.
    run("more_memory_than_allowed", {"--spectrum-only", "--max-memory", "16K", "star.dat"}, {star_dat},
        {stderr_has("prewhiten: star.dat: the spectrum of 300 points at "),
         stderr_has(", more than --max-memory 16.0 KiB\n")},
        2, {}),
    run("more_memory_than_allowed_to_read", {"--spectrum-only", "--max-memory", "1K", "star.dat"}, {star_dat},
        {stderr_is("prewhiten: star.dat, line 66: the light curve read so far needs more than --max-memory 1.0 KiB")},
        2, {}),
    run("truncated_fits_file", {"--spectrum-only", "cut.fits"}, {file("cut.fits", "SIMPLE  =                    T")},
        {stderr_has("prewhiten: cut.fits: cannot be read as FITS (")}, 2, {}),

    // Output that cannot be written, or would replace what it must not.
    run("output_name_is_a_folder", {"--spectrum-only", "star.dat"}, {star_dat, folder("star.spectrum.csv")},
        {stderr_is("prewhiten: star.spectrum.csv: cannot be written (Is a directory)")}, 2, {}),
    run("output_folder_is_a_file", {"--spectrum-only", "-o", "star.dat", "star.dat"}, {star_dat},
        {stderr_has("prewhiten: star.dat: cannot be used as the output folder (")}, 2, {}),
    run("two_stars_of_one_stem", {"--spectrum-only", "a/star.dat", "b/star.dat"},
        {folder("a"), folder("b"), file("a/star.dat", star), file("b/star.dat", star)},
        {stderr_is("prewhiten: b/star.dat: its results would replace those of a/star.dat (both are named star); "
                   "not done")},
        2, {spectrum_of_star}),
    run("two_stars_of_one_stem_in_different_shards", {"--spectrum-only", "--shard", "2/2", "a/star.dat", "b/star.dat"},
        {folder("a"), folder("b"), file("a/star.dat", star), file("b/star.dat", star)},
        {stderr_is("prewhiten: b/star.dat: its results would replace those of a/star.dat (both are named star); "
                   "not done")},
        2, {}),
    // The picture is written before the table: a star whose picture fails
    // has no table, so --resume does it again.
    run("picture_that_cannot_be_written", {"star.dat"}, {star_dat, folder("star.png")},
        {stderr_is("prewhiten: star.png: cannot be written (Is a directory)")}, 2,
        {{"star.frequencies.txt"}, {"star.residuals.dat"}, {"star.baseline.csv"}, {"star.spectrum.csv"}},
        {"star.frequencies.csv"}),
    run("residuals_would_replace_an_input", {"x.residuals.dat", "x.dat"},
        {file("x.residuals.dat", star), file("x.dat", star)},
        {stderr_is("prewhiten: x.dat: its results would replace the input file x.residuals.dat; not done")}, 2,
        {{"x.residuals.frequencies.csv"}, {"x.residuals.frequencies.txt"}, {"x.residuals.residuals.dat"},
         {"x.residuals.baseline.csv"}, {"x.residuals.spectrum.csv"}, {"x.residuals.png", -1, {}, true}}),
    run("results_would_replace_an_input", {"--spectrum-only", "x.spectrum.csv", "x.dat"},
        {file("x.spectrum.csv", star), file("x.dat", star)},
        {stderr_is("prewhiten: x.dat: its results would replace the input file x.spectrum.csv; not done")}, 2,
        {{"x.spectrum.spectrum.csv"}}),

    // Names that must not be written to, and the files of one command
    // line that cannot go together: refused before anything is read or
    // written.
    run("summary_that_is_a_light_curve", {"--summary", "b.dat", "a.dat", "b.dat"},
        {file("a.dat", star), file("b.dat", star)},
        {stderr_is("prewhiten: --summary b.dat: would append to the light curve b.dat" + hint)}, 1, {}),
    run("summary_named_like_a_table", {"--summary", "out/../out/a.frequencies.csv", "-o", "out", "a.dat"},
        {file("a.dat", star)},
        {stderr_is("prewhiten: --summary out/../out/a.frequencies.csv: would append to a result file of a.dat" +
                   hint)},
        1, {}, {"out"}),
    run("summary_through_a_symbolic_link", {"--summary", "all.csv", "star.dat"},
        {star_dat, file("target", "precious\n"), {"all.csv", "", false, "target"}},
        {stderr_is("prewhiten: --summary all.csv: is a symbolic link, not followed" + hint)}, 1, {}),
    run("one_file_twice_in_a_join", {"--join", "star.dat", "./star.dat"}, {star_dat},
        {stderr_is("prewhiten: --join: star.dat and ./star.dat are the same file" + hint)}, 1, {}),
    run("window_beyond_any_light_curve", {"--window", "1e308", "star.dat"}, {star_dat},
        {stderr_is("prewhiten: --window: must be above 0 and at most 1e+09" + hint)}, 1, {}),
    run("noise_box_narrower_than_a_few_peaks", {"--box", "0.1", "--max-frequencies", "1", "--plot", "none", "star.dat"},
        {star_dat}, {stderr_has("prewhiten: star.dat: --box 0.1 c/d is narrower than 4/T = 0.18")}, 0,
        {{"star.frequencies.csv"}, {"star.frequencies.txt"}, {"star.residuals.dat"}, {"star.baseline.csv"},
         {"star.spectrum.csv"}}),
    run("name_with_control_characters",
        {"--summary", "all.csv", "--plot", "none", "--max-frequencies", "1", "a\tb\n.dat"}, {file("a\tb\n.dat", star)},
        {stdout_line("a\\tb\\n.dat: 1 frequency; stop: 1 frequency extracted, the most asked for")}, 0,
        {{"all.csv", 2, {"\na\\tb\\n.dat,300,"}},
         {"a\tb\n.frequencies.csv"},
         {"a\tb\n.frequencies.txt", -1, {"# a\\tb\\n.dat: N = 300"}},
         {"a\tb\n.residuals.dat", 301, {"time residual"
          " (a\\tb\\n.dat minus 1 frequency and the baseline, unit none)\n10 "}},
         {"a\tb\n.baseline.csv"}, {"a\tb\n.spectrum.csv"}}),

    // Tracking through time: the files of a tracked star, the star too
    // short for three windows, the tracking of a table's frequencies alone,
    // --resume, the summary's orbit columns and the options' errors.
    run("track_writes_its_files", {"--baseline", "none", "--select", "height", "--track", "5", "--summary", "all.csv", "star.dat"}, {star_dat},
        {stdout_line("star.dat: tracked 7 frequencies (5 left out, within 1.5/W of a stronger one) in 5 windows of "
                     "5 d, step 5 d: 4 used, 1 skipped (1 few points)"),
         stdout_has("\nstar.dat: time delays in 4 windows, median error "),
         stdout_has("\nstar.dat: no orbit claimed: the delays' highest peak, at P = "),
         stdout_line("star.dat: wrote star.orbit.txt"), stdout_line("star.dat: wrote star.track.png")},
        0,
        {{"all.csv", 2, {"\nstar.dat,300,21.82557,12,", ",done,,no,,,\n"}},
         {"star.track.csv", -1, {"# W=5, S=5, windows=5, used=4, skipped=1, few_points=1,",
                                 "\nwindow,t_mid,t_start,t_end,n,id,frequency,amplitude,", "\n1,"}},
         {"star.timedelay.csv", 6, {", frequencies=extraction,", "\nwindow,t_mid,n,time_delay,time_delay_err"}},
         {"star.modulation.csv", 14, {"\n12,1.81"}},
         {"star.orbit.csv", 3, {"\nclaimed,period,period_err,", "\nno,nan,"}},
         {"star.orbit.txt", -1, {"# star.dat: tracked 7 frequencies", "\nno orbit claimed: "}},
         {"star.track.png", -1, {}, true}, {"star.frequencies.csv"}, {"star.frequencies.txt"}, {"star.residuals.dat"},
         {"star.spectrum.csv"}, {"star.png", -1, {}, true}}),
    run("track_too_short_for_three_windows", {"--baseline", "none", "--track", "10", "--plot", "none", "star.dat"}, {star_dat},
        {stdout_line("star.dat: not tracked: its span, 21.8256 d, holds fewer than three windows of 10 d "
                     "(step 10 d, 30 d needed)")},
        0, {{"star.frequencies.csv"}, {"star.frequencies.txt"}, {"star.residuals.dat"}, {"star.spectrum.csv"}},
        {"star.track.csv", "star.orbit.csv", "star.orbit.txt"}),
    run("track_at_the_frequencies_of_a_table", {"--track", "5", "--track-step", "2.5", "--plot", "none",
                                                "--frequencies", "f.txt", "star.dat"},
        {star_dat, file("f.txt", "# frequencies of a run\n1.2345\n4.58\n")},
        {stdout_line("star.dat: tracked 2 frequencies in 9 windows of 5 d, step 2.5 d: 8 used, 1 skipped "
                     "(1 few points)")},
        0,
        {{"star.track.csv", -1, {"frequencies=f.txt, overlapping=yes"}}, {"star.timedelay.csv"},
         {"star.modulation.csv", 4}, {"star.orbit.csv"}, {"star.orbit.txt"}},
        {"star.frequencies.csv", "star.spectrum.csv", "star.png"}),
    run("track_at_a_table_too_short", {"--track", "10", "--frequencies", "f.txt", "star.dat"},
        {star_dat, file("f.txt", "1.2345\n")},
        {stderr_is("prewhiten: star.dat: not tracked: its span, 21.8256 d, holds fewer than three windows of 10 d "
                   "(step 10 d, 30 d needed)")},
        2, {}, {"star.track.csv"}),
    // Evenly sampled every 0.1 d, 1 and 11 c/d are one column in every
    // window: each window's fit is singular, skipped and counted.
    run("track_where_every_window_is_singular", {"--track", "5", "--plot", "pdf", "--frequencies", "f.txt", "e.dat"},
        {file("e.dat", [] {
             std::string text;
             for (int k = 0; k < 300; ++k)
                 text += std::to_string(0.1 * k) + " " + std::to_string(std::sin(2 * M_PI * 0.1 * k)) + "\n";
             return text;
         }()),
         file("f.txt", "1.0\n11.0\n")},
        {stdout_line("e.dat: tracked 2 frequencies in 6 windows of 5 d, step 5 d: 0 used, 6 skipped (6 singular)"),
         stdout_line("e.dat: no window has a time delay: none could be fitted"),
         stdout_line("e.dat: no orbit claimed: too few windows with delays to search (0)")},
        0,
        {{"e.track.csv", 2, {"singular=6"}}, {"e.timedelay.csv", 2}, {"e.modulation.csv", 4}, {"e.orbit.csv", 3},
         {"e.orbit.txt"}, {"e.track.pdf", -1, {}, true}}),
    run("resume_with_tracking", {"--baseline", "none", "--select", "height", "--resume", "--track", "5", "--plot", "none", "star.dat", "a.dat"},
        {star_dat, file("a.dat", star), file("star.frequencies.csv", "an older table\n")},
        {stdout_line("star.dat: skipped, star.frequencies.csv is there (--resume)"),
         stdout_has("\na.dat: 300 points, 12 frequencies; stop: the next peak, at 4.04 c/d, has S/N 2.95, below 4; "
                    "no orbit claimed; ")},
        0,
        {{"a.frequencies.csv"}, {"a.frequencies.txt"}, {"a.residuals.dat"}, {"a.spectrum.csv"}, {"a.track.csv"},
         {"a.timedelay.csv"}, {"a.modulation.csv"}, {"a.orbit.csv"}, {"a.orbit.txt"}},
        {"star.track.csv"}),
    run("summary_of_the_other_layout", {"--summary", "all.csv", "--track", "5", "star.dat"},
        {star_dat, file("all.csv", "file,N,T,frequencies,f1,A1,unit,stop,status,message\na.dat,300,,,,,,,done,\n")},
        {stderr_is("prewhiten: --summary all.csv: holds rows without the orbit's columns (a run without --track); "
                   "rows with them would not match its header" + hint)},
        1, {{"all.csv", 2}}, {"star.frequencies.csv"}),
    run("track_width_not_positive", {"--track", "0", "star.dat"}, {star_dat},
        {stderr_is("prewhiten: --track: must be above 0 and at most 365250" + hint)}, 1, {}),
    run("track_step_without_track", {"--track-step", "2", "star.dat"}, {star_dat},
        {stderr_is("prewhiten: --track-step needs --track" + hint)}, 1, {}),
    run("frequency_table_that_does_not_parse", {"--track", "5", "--frequencies", "f.csv", "star.dat"},
        {star_dat, file("f.csv", "id,frequency\n1,abc\n")},
        {stderr_is("prewhiten: --frequencies: f.csv, line 2: the frequency 'abc' is not a number" + hint)}, 1, {}),

    // The command line.
    run("unknown_option", {"--sn", "5", "star.dat"}, {star_dat},
        {stderr_is("prewhiten: The following argument was not expected: --sn" + hint)}, 1, {}),
    run("bad_extraction_choice", {"--refine", "some", "star.dat"}, {star_dat},
        {stderr_is("prewhiten: --refine: 'some' is not one of all, new, none" + hint)}, 1, {}),
    run("file_after_double_dash", {"--spectrum-only", "--", "-star.dat"}, {file("-star.dat", star)},
        {stdout_line("-star.dat: wrote -star.spectrum.csv")}, 0, {{"-star.spectrum.csv"}}),
};

class PrewhitenFailure : public testing::TestWithParam<Row> {};

TEST_P(PrewhitenFailure, Run) { check_row(PREWHITEN_PROGRAM, GetParam(), 120); }

INSTANTIATE_TEST_SUITE_P(Rows, PrewhitenFailure, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

#ifdef PERIODSCAN_PROGRAM
// The residual file has the classic time-series layout: periodscan reads
// every point of it, and what it finds is the term that was left in.
TEST(PrewhitenResiduals, ReadBackByPeriodscan)
{
    const Scratch work;
    write_file(work.path() / "star.dat", star);
    const std::vector<std::string> command = {PREWHITEN_PROGRAM, "--max-frequencies", "1", "star.dat"};
    const failures::Run extraction = run_program(command, work.path(), "", 60);
    ASSERT_EQ(extraction.status, 0) << extraction.err;
    const failures::Run search = run_program(PERIODSCAN_PROGRAM, work.path(),
                                   "star.residuals.dat\n0\n2\nres.scargle\n0.01\n0.5 6\n3\neof\n");
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_NE(search.out.find("AANTAL :    300\n"), std::string::npos) << search.out;
    // The residuals' mean is zero to the file's digits (its sign is the
    // rounding's).
    EXPECT_TRUE(search.out.find("GEMIDDELDE         :   -0.00000\n") != std::string::npos ||
                search.out.find("GEMIDDELDE         :    0.00000\n") != std::string::npos)
        << search.out;
    // 1.2345 c/d (0.12) is gone; the 0.03 term near 4.58 c/d is the highest.
    EXPECT_NE(search.out.find("Maximum: 0.29"), std::string::npos) << search.out;
    EXPECT_NE(search.out.find("at frequency:  4.58000000"), std::string::npos) << search.out;
}
#endif

}  // namespace
}  // namespace failures

#endif
