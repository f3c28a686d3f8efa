// The picture: spectra reduced to their envelope per pixel column, the
// stretch of light curve shown, the layout as recorded calls, and whole
// files through the giza library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "plotting/plot.hpp"
#include "extraction/statistics.hpp"
#include "support/lightcurve_files.hpp"
#include "output.hpp"
#include "picture.hpp"
#include "support/recording_plotter.hpp"

namespace {

namespace fs = std::filesystem;
using lightcurve_test::Folder;
using lightcurve_test::content;
using lightcurve_test::files_in;
using prewhiten::PictureInput;

// --- envelope ---------------------------------------------------------------

TEST(Envelope, KeepsEachColumnsLowestAndHighestInGridOrder)
{
    const spectrum::Grid grid{0.0, 1.0 / 1024, 10000};  // columns of 100 frequencies, all exact
    std::vector<double> a(grid.count);
    for (std::size_t j = 0; j < a.size(); ++j) a[j] = 1.0 + std::sin(0.37 * j) + (j == 5123 ? 50.0 : 0.0);
    const prewhiten::Polyline line = prewhiten::envelope(grid, a, 0.0, 10000.0 / 1024, 100);
    ASSERT_EQ(line.x.size(), 200u);
    EXPECT_TRUE(std::is_sorted(line.x.begin(), line.x.end()));
    // The tallest peak is drawn at its own frequency, not the column's.
    const auto top = std::max_element(line.y.begin(), line.y.end()) - line.y.begin();
    EXPECT_EQ(line.x[top], 5123.0f / 1024);
    EXPECT_FLOAT_EQ(line.y[top], static_cast<float>(a[5123]));
    // Every column's extremes are there.
    for (int c = 0; c < 100; ++c) {
        const auto first = a.begin() + c * 100;
        const float low = static_cast<float>(*std::min_element(first, first + 100));
        const float high = static_cast<float>(*std::max_element(first, first + 100));
        EXPECT_FLOAT_EQ(std::min(line.y[2 * c], line.y[2 * c + 1]), low) << c;
        EXPECT_FLOAT_EQ(std::max(line.y[2 * c], line.y[2 * c + 1]), high) << c;
    }
}

TEST(Envelope, CoarseSpectrumDrawnAsItIsWithinTheRange)
{
    const spectrum::Grid grid{1.0, 0.5, 9};  // 1 .. 5 c/d
    const std::vector<double> a = {NAN, 2, 3, 1, 4, 5, 0.5, 6, 7};
    const prewhiten::Polyline line = prewhiten::envelope(grid, a, 1.4, 4.1, 1000, 2.0);
    EXPECT_EQ(line.x, (std::vector<float>{-0.5f, 0.0f, 0.5f, 1.0f, 1.5f, 2.0f}));
    EXPECT_EQ(line.y, (std::vector<float>{2, 3, 1, 4, 5, 0.5f}));
    EXPECT_TRUE(prewhiten::envelope(grid, a, 6.0, 7.0, 10).x.empty());
    EXPECT_TRUE(prewhiten::envelope(grid, {}, 1.0, 5.0, 10).x.empty());
}

// --- the stretch of light curve ---------------------------------------------

TEST(Stretch, FirstWindowWithTheMostPointsCutToTheMost)
{
    const std::vector<double> t = {0, 1, 2, 10, 10.5, 11, 11.5, 12, 30, 30.1, 30.2, 30.3, 30.4};
    const prewhiten::Stretch s = prewhiten::choose_stretch(t, 2.0, 100);
    EXPECT_EQ(s.first, 3u);
    EXPECT_EQ(s.last, 8u);
    const prewhiten::Stretch cut = prewhiten::choose_stretch(t, 2.0, 3);
    EXPECT_EQ(cut.first, 3u);
    EXPECT_EQ(cut.last, 6u);
    const prewhiten::Stretch none = prewhiten::choose_stretch({}, 2.0, 3);
    EXPECT_EQ(none.last - none.first, 0u);
}

TEST(Text, LibraryMarkupEscaped)
{
    EXPECT_EQ(prewhiten::plain_text("kic7917485_kepler_lc.txt"), "kic7917485\\_kepler\\_lc.txt");
    EXPECT_EQ(prewhiten::plain_text("a^2 {b} c\\d"), "a\\^2 \\{b\\} c\\\\d");
}

// --- the layout ---------------------------------------------------------------

// A small star: a spectrum with two peaks, a combination beside the first,
// a window, a light curve over two days.
struct Star {
    spectrum::Grid grid{0.1, 0.01, 1991};  // 0.1 .. 20 c/d
    std::vector<double> data, residual, window, noise_f, noise_a, t, v, mt, mv;
    PictureInput input;

    explicit Star(lightcurve::Unit unit = lightcurve::Unit::flux)
    {
        for (std::size_t j = 0; j < grid.count; ++j) {
            const double f = grid.frequency(j);
            data.push_back(0.1 + 8.0 * std::exp(-std::pow((f - 5.0) / 0.02, 2)) +
                           3.0 * std::exp(-std::pow((f - 12.0) / 0.02, 2)));
            residual.push_back(0.05 + 0.01 * std::sin(f));
            window.push_back(std::exp(-std::pow((f - 10.0) / 0.05, 2)));
        }
        for (double f = 0.1; f <= 20.0; f += 1.0) noise_f.push_back(f), noise_a.push_back(0.4);
        for (int i = 0; i < 200; ++i) t.push_back(2459000.25 + 0.01 * i), v.push_back(std::sin(i * 0.3));
        for (int i = 0; i < 400; ++i) mt.push_back(2459000.25 + 0.005 * i), mv.push_back(std::sin(i * 0.15));
        input.file = "tic_1.dat";
        input.stop_reason = "the next peak's S/N is below 4";
        input.unit = unit;
        input.grid = grid;
        input.data_amplitude = data;
        input.residual_amplitude = residual;
        input.noise_frequency = noise_f;
        input.noise_level = noise_a;
        input.frequencies = {{1, 5.0, 8.0, false}, {2, 12.0, 3.0, false}, {3, 5.01, 0.5, true}};
        input.window_grid = grid;
        input.window_amplitude = window;
        input.window_centre = 10.0;
        input.window_half_width = 1.0;
        input.times = t;
        input.values = v;
        input.model_times = mt;
        input.model_values = mv;
    }
};

std::vector<std::string> draw(const PictureInput& input)
{
    plotting::RecordingPlotter rec;
    prewhiten::draw_picture(rec, input);
    return rec.calls;
}

std::vector<std::string> starting(const std::vector<std::string>& calls, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& c : calls)
        if (c.rfind(prefix, 0) == 0) found.push_back(c);
    return found;
}

std::size_t position(const std::vector<std::string>& calls, const std::string& call)
{
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
}

TEST(Layout, PageTitleAndFourPanels)
{
    const Star star;
    const auto calls = draw(star.input);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "pap(14, 0.72)");
    EXPECT_EQ(calls[1], "page()");
    EXPECT_EQ(starting(calls, "svp("),
              (std::vector<std::string>{"svp(0, 1, 0, 1)", "svp(0.085, 0.975, 0.63, 0.885)",
                                        "svp(0.085, 0.975, 0.415, 0.605)", "svp(0.085, 0.44, 0.075, 0.28)",
                                        "svp(0.56, 0.975, 0.075, 0.28)"}));
    const auto texts = starting(calls, "ptxt(0.085");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "ptxt(0.085, 0.965, 0, 0, \"tic\\_1.dat\")");
    EXPECT_EQ(texts[1], "ptxt(0.085, 0.927, 0, 0, \"3 frequencies extracted; the next peak's S/N is below 4\")");
    // The spectra share one frequency axis, cut at a round number above 1.2
    // times the highest frequency (12 c/d) when the grid goes on further;
    // the window is centred; the light curve's times count from the whole
    // day before them.
    const auto windows = starting(calls, "swin(");
    ASSERT_EQ(windows.size(), 5u);
    EXPECT_EQ(windows[1].rfind("swin(0.1, 16, 0, ", 0), 0u) << windows[1];
    EXPECT_EQ(windows[2].rfind("swin(0.1, 16, 0, ", 0), 0u) << windows[2];
    const std::string residuals = "Residuals after 3 frequencies (spectrum computed to 20 c/d)";
    EXPECT_NE(position(calls, "mtxt(\"T\", -1.4, 0.01, 0, \"" + residuals + "\")"), calls.size());
    EXPECT_EQ(windows[3].rfind("swin(-1, 1, 0, ", 0), 0u) << windows[3];
    EXPECT_NE(position(calls, "mtxt(\"B\", 2.6, 0.5, 0.5, \"Time - 2459000 (d)\")"), calls.size());
    EXPECT_NE(position(calls, "mtxt(\"B\", 2.6, 0.5, 0.5, \"Frequency (c/d)\")"), calls.size());
    EXPECT_NE(position(calls, "mtxt(\"L\", 3.8, 0.5, 0.5, \"Relative flux (ppt)\")"), calls.size());
    EXPECT_EQ(calls.back().rfind("mtxt(\"T\", 0.6, 0, 0, \"Light curve and model\")", 0), 0u);
    EXPECT_EQ(starting(calls, "end(").size(), 0u);  // the caller ends the page
}

TEST(Layout, ControlCharactersOfTheNameEscapedInTheTitle)
{
    Star star;
    star.input.file = "tic\n1.dat";
    const auto texts = starting(draw(star.input), "ptxt(0.085, 0.965");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "ptxt(0.085, 0.965, 0, 0, \"tic\\\\n1.dat\")");
}

TEST(Layout, FrequenciesMarkedStrongestLabelledFirstCombinationsInTheirColour)
{
    const Star star;
    const auto calls = draw(star.input);
    // Three ticks, one label each for f1 and f2; f3 sits beside f1 and its
    // label would cover f1's, so it keeps only its tick.
    const auto labels = starting(calls, "ptxt(");
    std::vector<std::string> ids;
    for (const std::string& l : labels)
        if (l.find("\"f") != std::string::npos) ids.push_back(l.substr(l.rfind(", ") + 2));
    EXPECT_EQ(ids, (std::vector<std::string>{"\"f1\")", "\"f2\")"}));
    const std::size_t f1 = position(calls, labels[2]);
    ASSERT_GT(f1, 2u);
    EXPECT_EQ(calls[f1 - 1], "sci(17)");  // the colour of independent frequencies
    std::size_t blue = 0, f3_tick = 0, f1_tick = 0;
    for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
        if (calls[i] == "sci(18)" && calls[i + 1].rfind("line(2, [5.01 5.01]", 0) == 0) ++blue, f3_tick = i + 1;
        if (calls[i].rfind("line(2, [5 5]", 0) == 0) f1_tick = i;
    }
    EXPECT_EQ(blue, 1u);
    EXPECT_GT(f1_tick, f3_tick);  // the strong peak's tick drawn over the weak neighbour's
}

TEST(Layout, MagnitudesBrighterUpwardsAndUnitOnTheAxes)
{
    const Star flux;
    const Star mag(lightcurve::Unit::mag);
    const auto f = starting(draw(flux.input), "swin(");
    const auto m = starting(draw(mag.input), "swin(");
    ASSERT_EQ(f.size(), 5u);
    ASSERT_EQ(m.size(), 5u);
    float x1, x2, y1, y2, u1, u2, v1, v2;
    ASSERT_EQ(std::sscanf(f[4].c_str(), "swin(%f, %f, %f, %f)", &x1, &x2, &y1, &y2), 4);
    ASSERT_EQ(std::sscanf(m[4].c_str(), "swin(%f, %f, %f, %f)", &u1, &u2, &v1, &v2), 4);
    EXPECT_LT(y1, y2);
    EXPECT_EQ(v1, y2);
    EXPECT_EQ(v2, y1);
    const auto mcalls = draw(mag.input);
    EXPECT_NE(position(mcalls, "mtxt(\"L\", 3.8, 0.5, 0.5, \"Magnitude (mmag)\")"), mcalls.size());
    EXPECT_TRUE(std::any_of(mcalls.begin(), mcalls.end(), [](const std::string& c) {
        return c.rfind("mtxt(\"L\"", 0) == 0 && c.ends_with("\"Amplitude (mmag)\")");
    }));
}

TEST(Layout, LongSpectrumReducedToThePanelsColumns)
{
    Star star;
    star.grid = {0.001, 0.00001, 2000000};  // 0.001 .. 20 c/d
    std::vector<double> big(star.grid.count), small(star.grid.count);
    for (std::size_t j = 0; j < big.size(); ++j) big[j] = 1.0 + std::sin(0.001 * j), small[j] = 0.1;
    star.input.grid = star.grid;
    star.input.data_amplitude = big;
    star.input.residual_amplitude = small;
    star.input.window_grid = star.grid;
    star.input.window_amplitude = small;
    for (const std::string& c : starting(draw(star.input), "line(")) {
        const int n = std::stoi(c.substr(5));
        EXPECT_LE(n, 2 * 1188) << c.substr(0, 40);
    }
}

TEST(Layout, NothingToShowStillGivesAPage)
{
    PictureInput empty;
    empty.file = "empty.dat";
    const auto calls = draw(empty);
    EXPECT_EQ(starting(calls, "box(").size(), 4u);
    EXPECT_EQ(starting(calls, "ptxt(0.085, 0.927")[0], "ptxt(0.085, 0.927, 0, 0, \"0 frequencies extracted\")");
    for (const std::string& w : starting(calls, "swin(")) EXPECT_EQ(w.find("nan"), std::string::npos) << w;
}

// The residual panel has its own amplitude axis: what is left after the
// strong peaks is drawn to fill it, not flattened on the data's scale.
TEST(Layout, ResidualsOnTheirOwnScaleAndModelBrokenAtGaps)
{
    Star star;
    star.input.model_starts = {150, 300};
    const auto calls = draw(star.input);
    const auto windows = starting(calls, "swin(");
    ASSERT_EQ(windows.size(), 5u);
    float x1, x2, y1, data_top, residual_top;
    ASSERT_EQ(std::sscanf(windows[1].c_str(), "swin(%f, %f, %f, %f)", &x1, &x2, &y1, &data_top), 4);
    ASSERT_EQ(std::sscanf(windows[2].c_str(), "swin(%f, %f, %f, %f)", &x1, &x2, &y1, &residual_top), 4);
    EXPECT_GT(residual_top, 0.4f);  // the S/N limit curve, the highest thing in it
    EXPECT_LT(residual_top, 0.1f * data_top);
    // Three pieces of model in the light-curve panel: three lines after its
    // points, none from one piece into the next.
    const std::size_t points = position(calls, starting(calls, "pt(200").front());
    std::vector<std::string> model;
    for (std::size_t i = points; i < calls.size(); ++i)
        if (calls[i].rfind("line(", 0) == 0) model.push_back(calls[i]);
    ASSERT_EQ(model.size(), 3u);
    EXPECT_EQ(model[0].rfind("line(150, ", 0), 0u);
    EXPECT_EQ(model[2].rfind("line(100, ", 0), 0u);
}

// Every label of a crowd of peaks stays off the other marked peaks: a label
// that would cover a taller neighbour moves beside its own tick or is left
// out, and the strongest keep theirs.
TEST(Layout, LabelsNeverCoverAnotherMarkedPeak)
{
    Star star;
    star.input.frequencies = {{1, 5.0, 8.0, false}, {2, 12.0, 3.0, false}, {3, 5.09, 2.0, false},
                              {4, 5.2, 1.5, false}, {5, 4.91, 1.0, true}, {6, 11.9, 0.5, false}};
    for (std::size_t j = 0; j < star.grid.count; ++j) {
        const double f = star.grid.frequency(j);
        for (const prewhiten::MarkedFrequency& m : star.input.frequencies)
            star.data[j] = std::max(star.data[j], m.amplitude * std::exp(-std::pow((f - m.frequency) / 0.01, 2)));
    }
    star.input.data_amplitude = star.data;
    const auto calls = draw(star.input);
    float x1, x2, y1, top;
    ASSERT_EQ(std::sscanf(starting(calls, "swin(")[1].c_str(), "swin(%f, %f, %f, %f)", &x1, &x2, &y1, &top), 4);
    // A character of the labels' size in the panel's units.
    const double wide = 0.55 * 0.72 / 40 * 0.8 * (x2 - x1) / (0.975 - 0.085);
    const double high = 0.8 / 40 * top / (0.885 - 0.63);
    std::vector<int> labelled;
    for (const std::string& c : starting(calls, "ptxt(")) {
        float x, y, angle, justify;
        char id[8] = {};
        if (std::sscanf(c.c_str(), "ptxt(%f, %f, %f, %f, \"f%7[0-9]", &x, &y, &angle, &justify, id) != 5) continue;
        labelled.push_back(std::stoi(id));
        const double width = (1 + std::string(id).size()) * wide;
        const double left = x - justify * width, right = left + width;
        for (const prewhiten::MarkedFrequency& m : star.input.frequencies) {
            if (m.id == labelled.back()) continue;
            const bool under = m.frequency > left && m.frequency < right;
            EXPECT_FALSE(under && y < m.amplitude + 0.02 * top) << c << " covers f" << m.id;
        }
        EXPECT_LE(y + high, top) << c;
    }
    std::sort(labelled.begin(), labelled.end());
    ASSERT_GE(labelled.size(), 3u);
    EXPECT_EQ(labelled[0], 1);
    EXPECT_EQ(labelled[1], 2);
}

// The window is shown as far as its structure goes: a night's gaps put
// aliases at 1 c/d, a span of years makes its central peak 1/T narrow.
TEST(WindowPanel, ScaledToTheWindowsStructure)
{
    auto half_width = [](const std::vector<double>& times) {
        const double span = times.back() - times.front();
        const double half = std::max(1.5, 5.0 / span), centre = 10 * half, step = 0.1 / span;
        const spectrum::Grid grid{centre - half, step, static_cast<std::size_t>(2 * half / step) + 1};
        const spectrum::Plan plan(times, grid, {});
        return prewhiten::window_half_width(grid, plan.window(centre), centre, span);
    };
    std::vector<double> nights, years;
    for (int night = 0; night < 5; ++night)
        for (int k = 0; k < 100; ++k) nights.push_back(night + 0.3 + 0.004 * k);
    for (int k = 0; k < 60000; ++k)
        if (std::fmod(k * 0.025, 90.0) < 85.0) years.push_back(k * 0.025);  // quarters of 85 d, gaps of 5 d
    const double night_span = nights.back() - nights.front(), year_span = years.back() - years.front();
    EXPECT_GT(half_width(nights), 1.0);  // the daily aliases in sight
    EXPECT_LE(half_width(nights), 1.5);
    const double long_half = half_width(years);
    EXPECT_GE(long_half, 4.0 / year_span);  // the central peak and its sidelobes
    EXPECT_LT(long_half, 0.05);             // not a spike in a panel of +-1.5 c/d
    EXPECT_GT(night_span, 4.0);
}

// --- from an extraction ----------------------------------------------------------

// Two sinusoids, 3 and 4.7 c/d, over 20 days at a 0.01 d cadence.
TEST(PictureOfExtraction, NoiseCurveWindowAndModelThroughTheStretch)
{
    lightcurve::LightCurve curve;
    curve.unit = lightcurve::Unit::mag;
    for (int k = 0; k < 2000; ++k) {
        const double t = 2459000.0 + 0.01 * k;
        curve.times.push_back(t);
        curve.values.push_back(5.0 * std::sin(2 * M_PI * 3.0 * t) + 2.0 * std::sin(2 * M_PI * 4.7 * t) +
                               0.1 * std::sin(1.7 * k * k));
    }
    extraction::Settings settings;
    settings.grid = {0.05, 0.005, 9991};  // to 50 c/d
    settings.max_frequencies = 2;
    settings.baseline = extraction::Baseline::none;
    settings.select = extraction::Select::height;
    const extraction::Result result =
        extraction::extract(extraction::spectrum_plan(curve.times, settings), curve.times, curve.values, {},
                            extraction::one_segment(curve.times), settings);
    ASSERT_EQ(result.frequencies.size(), 2u);
    const PictureInput input = prewhiten::picture_of("s.dat", "stop: two", curve, result, settings);

    EXPECT_EQ(input.unit, lightcurve::Unit::mag);
    ASSERT_EQ(input.frequencies.size(), 2u);
    EXPECT_NEAR(input.frequencies[0].frequency, 3.0, 1e-4);
    // The S/N limit every quarter box: 4 times the residuals' noise there.
    ASSERT_GT(input.noise_frequency.size(), 190u);
    EXPECT_DOUBLE_EQ(input.noise_frequency[1] - input.noise_frequency[0], 0.25);
    EXPECT_DOUBLE_EQ(input.noise_level[40], 4 * extraction::box_mean(result.grid, result.residual_amplitude,
                                                                      input.noise_frequency[40], 1.0));
    // The window: 1 at its centre, far from zero frequency.
    const auto centre = std::lround((input.window_centre - input.window_grid.fmin) / input.window_grid.step);
    EXPECT_NEAR(input.window_amplitude[centre], 1.0, 1e-6);
    EXPECT_GE(input.window_centre, 15.0);
    EXPECT_DOUBLE_EQ(input.window_half_width, 4.0 / (curve.times.back() - curve.times.front()));
    // Five cycles of f1, and the model through the points.
    EXPECT_NEAR(input.times.back() - input.times.front(), 5.0 / 3.0, 0.011);
    EXPECT_GE(input.model_times.size(), 500u);
    EXPECT_EQ(input.model_times.front(), input.times.front());
    EXPECT_EQ(input.model_times.back(), input.times.back());
    for (std::size_t i = 1; i < input.times.size(); i += 17) {
        const auto j = std::lower_bound(input.model_times.begin(), input.model_times.end(), input.times[i]) -
                       input.model_times.begin();
        const std::span<const double> t = input.model_times, m = input.model_values;
        const double w = (input.times[i] - t[j - 1]) / (t[j] - t[j - 1]);
        const double model = (1 - w) * m[j - 1] + w * m[j];
        EXPECT_NEAR(model, input.values[i], 0.15) << i;
    }
}

// --- files --------------------------------------------------------------------



TEST(PictureFile, PngAndPdfWholeUnderTheirNamesOnly)
{
    Folder folder;
    const Star star;
    plotting::GizaPlotter giza;
    prewhiten::write_picture(folder.name("tic_1.png"), prewhiten::PictureType::png, star.input, giza);
    prewhiten::write_picture(folder.name("tic_1.pdf"), prewhiten::PictureType::pdf, star.input, giza);
    EXPECT_EQ(files_in(folder.name("")), (std::vector<std::string>{"tic_1.pdf", "tic_1.png"}));
    const std::string png = content(folder.name("tic_1.png"));
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
    EXPECT_EQ(content(folder.name("tic_1.pdf")).substr(0, 5), "%PDF-");
}

// The plotter's failure to write the file (a full disc, as the library
// says while it closes it) is the picture's, with nothing left behind.
TEST(PictureFile, PlottersFailureIsAnErrorAndLeavesNothing)
{
    Folder folder;
    const Star star;
    plotting::RecordingPlotter full;
    full.end_failure = "No space left on device";
    const fs::path name = folder.name("tic_1.png");
    try {
        prewhiten::write_picture(name, prewhiten::PictureType::png, star.input, full);
        FAIL() << "no error";
    } catch (const prewhiten::WriteError& e) {
        EXPECT_EQ(std::string(e.what()), name.string() + ": cannot be written (No space left on device)");
    }
    EXPECT_EQ(full.calls.back(), "end()");
    EXPECT_TRUE(files_in(folder.name("")).empty());
}

TEST(PictureFile, FolderThatCannotBeWrittenIsAnErrorAndLeavesNothing)
{
    Folder folder;
    const Star star;
    const fs::path name = fs::path(folder.name("missing")) / "tic_1.png";
    try {
        plotting::GizaPlotter giza;
        prewhiten::write_picture(name, prewhiten::PictureType::png, star.input, giza);
        FAIL() << "no error";
    } catch (const prewhiten::WriteError& e) {
        EXPECT_EQ(std::string(e.what()), name.string() + ": cannot be created (No such file or directory)");
    }
    EXPECT_TRUE(files_in(folder.name("")).empty());
}

}  // namespace
