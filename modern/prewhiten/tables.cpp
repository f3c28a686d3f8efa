// The tables of an extraction.
#include "tables.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "extraction/combinations.hpp"

namespace prewhiten {

// Decimals that show a value to two significant digits of its error
// (0.0123 -> 4 decimals); 6 when the error is unknown, at most 12.
int decimals_for(double error)
{
    if (!(error > 0.0) || !std::isfinite(error)) return 6;
    return std::clamp(1 - static_cast<int>(std::floor(std::log10(error))), 0, 12);
}

std::string fixed(double x, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, x);
    return text;
}

std::string two_digits(double x)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2g", x);
    return text;
}

namespace {

Facts table_facts(const extraction::Result& result, const TableContext& context)
{
    Facts facts = {{"N", std::to_string(result.n)},
                   {"T", numerics::full_number(result.span)},
                   {"t_ref", numerics::full_number(result.t_ref)},
                   {"unit", context.unit},
                   {"D", numerics::full_number(result.D)},
                   {"stop", extraction::stop_name(result.stop)}};
    if (result.stop == extraction::Stop::snr) facts.emplace_back("next_snr", numerics::full_number(result.stop_value));
    if (result.stop == extraction::Stop::fap)
        facts.emplace_back("next_log10_fap", numerics::full_number(result.stop_value));
    if (const auto series = extraction::locked_series(result)) {
        facts.emplace_back("locked_F", numerics::full_number(series->frequency));
        facts.emplace_back("locked_F_err", numerics::full_number(series->error));
    }
    facts.insert(facts.end(), context.extra.begin(), context.extra.end());
    return facts;
}

}  // namespace

// A table of text cells written with each column as wide as its widest
// cell; numbers to the right, the last column (the labels) to the left.
std::string aligned(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> width;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (width.size() <= c) width.resize(c + 1, 0);
            width[c] = std::max(width[c], row[c].size());
        }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string pad(width[c] - row[c].size(), ' ');
            line += c == 0 ? "" : "  ";
            line += c + 1 == row.size() ? row[c] + pad : pad + row[c];
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + "\n";
    }
    return text;
}

namespace {

// "1 frequency", "12 frequencies".
std::string frequencies(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " frequency" : " frequencies");
}

// "harmonic series locked at F = 2.1234567 +- 1.2e-06 c/d (f1 and 14 harmonics)",
// or empty when the fit locked none.
std::string locked_sentence(const extraction::Result& result)
{
    const auto series = extraction::locked_series(result);
    if (!series) return "";
    const int harmonics = series->members - 1;
    return "harmonic series locked at F = " + fixed(series->frequency, decimals_for(series->error)) + " +- " +
           two_digits(series->error) + " c/d (f" + std::to_string(series->id) + " and " +
           std::to_string(harmonics) + (harmonics == 1 ? " harmonic" : " harmonics") + ")";
}

// What a rejected candidate's fit did.
const char* rejection_text(extraction::Rejection::Why why)
{
    switch (why) {
    case extraction::Rejection::Why::moved: return "moved a frequency by more than 1/T";
    case extraction::Rejection::Why::merged: return "brought two frequencies within 1/(2T)";
    case extraction::Rejection::Why::not_converged: return "did not converge";
    case extraction::Rejection::Why::low_snr: return "left it below the S/N limit";
    }
    return "";
}

}  // namespace

std::string frequencies_csv(const extraction::Result& result, const TableContext& context)
{
    std::string text = comment_line(table_facts(result, context));
    text += "id,frequency,frequency_err,amplitude,amplitude_err,phase,phase_err,snr,log10_fap,combination,"
            "combination_probability\n";
    for (const extraction::Frequency& f : result.frequencies) {
        text += std::to_string(f.id);
        for (double x : {f.value.frequency, f.covariance.frequency, f.value.amplitude, f.covariance.amplitude,
                         f.value.phase, f.covariance.phase, f.snr, f.log10_fap}) {
            text += ',';
            numerics::append_number(text, x);
        }
        text += ',' + f.label.text + ',';
        if (std::isfinite(f.label.probability)) numerics::append_number(text, f.label.probability);
        text += '\n';
    }
    return text;
}

void write_frequencies_csv(const std::filesystem::path& name, const extraction::Result& result,
                           const TableContext& context)
{
    OutputFile file(name);
    file.write(frequencies_csv(result, context));
    file.commit();
}

std::string frequencies_text(const extraction::Result& result, const TableContext& context)
{
    std::string text = "# " + escape_controls(context.label) + ": N = " + std::to_string(result.n) + ", T = " +
                       fixed(result.span, 4) + " d, t_ref = " + fixed(result.t_ref, 6) + ", unit " + context.unit +
                       ", D = " + fixed(result.D, 3) + "\n";
    text += "# " + frequencies(result.frequencies.size()) + "; stop: " + context.stop + "\n";
    if (const std::string locked = locked_sentence(result); !locked.empty())
        text += "# " + locked + ": each harmonic n F exactly, its frequency error n times F's\n";
    text += "# phases in cycles at t_ref for A sin(2 pi (f (t - t_ref) + phase)); err_cov from the least-squares\n";
    text += "# covariance, err_MO from Montgomery & O'Donoghue (1999), both times sqrt(D_f), D_f the larger of D\n";
    text += "# and the excess of the residuals' noise around f over white noise of their rms\n";
    text += "# a label with ? is only possible: a match as close as its own has a chance above 1 % (the CSV's\n"
            "# combination_probability)\n";
    for (const extraction::Rejection& r : result.rejected)
        text += "# candidate at " + fixed(r.frequency, 6) + " c/d rejected after " + frequencies(r.extracted) +
                ": its fit " + rejection_text(r.why) + "\n";
    std::vector<std::vector<std::string>> rows = {{"id", "frequency", "err_cov", "err_MO", "amplitude", "err_cov",
                                                   "err_MO", "phase", "err_cov", "err_MO", "S/N", "log10_FAP",
                                                   "D_f", "combination"}};
    for (const extraction::Frequency& f : result.frequencies) {
        const int fd = decimals_for(f.covariance.frequency), ad = decimals_for(f.covariance.amplitude),
                  pd = decimals_for(f.covariance.phase);
        rows.push_back({std::to_string(f.id), fixed(f.value.frequency, fd), two_digits(f.covariance.frequency),
                        two_digits(f.analytic.frequency), fixed(f.value.amplitude, ad),
                        two_digits(f.covariance.amplitude), two_digits(f.analytic.amplitude), fixed(f.value.phase, pd),
                        two_digits(f.covariance.phase), two_digits(f.analytic.phase), fixed(f.snr, 1),
                        fixed(f.log10_fap, 1), fixed(f.correlation, 2), extraction::shown_label(f.label)});
    }
    return text + aligned(rows) + baselines_text(result, context);
}

void write_baselines_csv(const std::filesystem::path& name, const extraction::Result& result,
                         const TableContext& context)
{
    OutputFile file(name);
    Facts facts = {{"N", std::to_string(result.n)},
                   {"T", numerics::full_number(result.span)},
                   {"unit", context.unit}};
    for (const auto& fact : context.extra)
        if (fact.first == "baseline" || fact.first == "segments") facts.push_back(fact);
    std::string text = comment_line(facts);
    text += "segment,start,end,N,degree,centre,c0,c0_error,c1,c1_error,c2,c2_error\n";
    for (std::size_t s = 0; s < result.baselines.size() && s < result.segments.size(); ++s) {
        const extraction::Segment& segment = result.segments[s];
        const extraction::SegmentBaseline& b = result.baselines[s];
        text += std::to_string(s + 1) + ',';
        numerics::append_number(text, segment.first);
        text += ',';
        numerics::append_number(text, segment.last);
        text += ',' + std::to_string(segment.count) + ',' + std::to_string(b.coefficients - 1) + ',';
        numerics::append_number(text, b.centre);
        for (int c = 0; c < 3; ++c) {
            text += ',';
            if (c < b.coefficients) numerics::append_number(text, b.value[c]);
            text += ',';
            if (c < b.coefficients) numerics::append_number(text, b.error[c]);
        }
        text += '\n';
    }
    file.write(text);
    file.commit();
}

std::string baselines_text(const extraction::Result& result, const TableContext& context)
{
    if (result.baselines.empty()) return "";
    const std::string unit = context.unit == "none" ? "" : " " + context.unit;
    std::string text = "#\n# the baseline of each segment, fitted with the sinusoids: c0 + c1 (t - centre) + "
                       "c2 (t - centre)^2, t in d";
    if (!unit.empty()) text += "; c0 in" + unit + ", c1 in" + unit + "/d, c2 in" + unit + "/d^2";
    text += "\n";
    std::vector<std::vector<std::string>> rows = {
        {"#", "segment", "start", "end", "N", "centre", "c0", "err", "c1", "err", "c2", "err"}};
    for (std::size_t s = 0; s < result.baselines.size() && s < result.segments.size(); ++s) {
        const extraction::Segment& segment = result.segments[s];
        const extraction::SegmentBaseline& b = result.baselines[s];
        std::vector<std::string> row = {"#", std::to_string(s + 1), fixed(segment.first, 4), fixed(segment.last, 4),
                                        std::to_string(segment.count), fixed(b.centre, 4)};
        for (int c = 0; c < 3; ++c) {
            row.push_back(c < b.coefficients ? fixed(b.value[c], decimals_for(b.error[c])) : "");
            row.push_back(c < b.coefficients ? two_digits(b.error[c]) : "");
        }
        rows.push_back(row);
    }
    return text + aligned(rows);
}

void write_frequencies_txt(const std::filesystem::path& name, const extraction::Result& result,
                           const TableContext& context)
{
    OutputFile file(name);
    file.write(frequencies_text(result, context));
    file.commit();
}

void write_residuals(const std::filesystem::path& name, const lightcurve::LightCurve& curve,
                     const extraction::Result& result, const TableContext& context)
{
    OutputFile file(name);
    const bool errors = curve.has_errors && curve.errors.size() == curve.size();
    // One header line, as the classic programs read it: the name's control
    // characters escaped.
    const std::size_t baselines = result.baselines.size();
    const std::string and_baselines =
        baselines == 0 ? "" : " and the baseline" + std::string(baselines == 1 ? "" : "s of ") +
                                  (baselines == 1 ? "" : std::to_string(baselines) + " segments");
    file.write("time residual" + std::string(errors ? " error" : "") + " (" + escape_controls(context.label) +
               " minus " + frequencies(result.frequencies.size()) + and_baselines + ", unit " + context.unit + ")\n");
    std::string row;
    for (std::size_t k = 0; k < curve.size(); ++k) {
        row.clear();
        numerics::append_number(row, curve.times[k]);
        row += ' ';
        numerics::append_number(row, result.residuals[k]);
        if (errors) {
            row += ' ';
            numerics::append_number(row, curve.errors[k]);
        }
        row += '\n';
        file.write(row);
    }
    file.commit();
}

void say_extraction(std::ostream& out, const extraction::Result& result, const TableContext& context,
                    std::size_t rows)
{
    const std::string unit = context.unit == "none" ? "" : " " + context.unit;
    out << context.label << ": " << frequencies(result.frequencies.size()) << "; stop: " << context.stop << "\n";
    char line[160];
    std::snprintf(line, sizeof line, ": D = %.3g, residual rms %.4g%s, %.1f s\n", result.D, result.rms,
                  unit.c_str(), result.timing.total);
    out << context.label << line;
    if (const std::string locked = locked_sentence(result); !locked.empty())
        out << context.label << ": " << locked << "\n";
    const auto weak = static_cast<std::size_t>(
        std::count_if(result.rejected.begin(), result.rejected.end(),
                      [](const extraction::Rejection& r) { return r.why == extraction::Rejection::Why::low_snr; }));
    const std::size_t diverged = result.rejected.size() - weak;
    if (diverged > 0)
        out << context.label << ": " << diverged << (diverged == 1 ? " candidate" : " candidates")
            << " passed over because the fit diverged (see the .txt table)\n";
    if (weak > 0)
        out << context.label << ": " << weak << (weak == 1 ? " candidate" : " candidates")
            << " passed over, below the S/N limit after the fit (see the .txt table)\n";
    std::vector<std::size_t> order(result.frequencies.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return result.frequencies[a].value.amplitude > result.frequencies[b].value.amplitude;
    });
    for (std::size_t i = 0; i < std::min(rows, order.size()); ++i) {
        const extraction::Frequency& f = result.frequencies[order[i]];
        std::snprintf(line, sizeof line, ":   f%-4d %14.7f c/d %12.5g%s  S/N %7.1f  %s\n", f.id, f.value.frequency,
                      f.value.amplitude, unit.c_str(), f.snr, extraction::shown_label(f.label).c_str());
        std::string text = line;
        while (text.size() > 1 && text[text.size() - 2] == ' ') text.erase(text.size() - 2, 1);
        out << context.label << text;
    }
    if (order.size() > rows) out << context.label << ": and " << order.size() - rows << " weaker\n";
}

}  // namespace prewhiten
