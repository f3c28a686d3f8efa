// The tables of an extraction.
#include "tables.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

namespace prewhiten {

namespace {

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
    facts.insert(facts.end(), context.extra.begin(), context.extra.end());
    return facts;
}

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

// "1 frequency", "12 frequencies".
std::string frequencies(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " frequency" : " frequencies");
}

// What a rejected candidate's fit did.
const char* rejection_text(extraction::Rejection::Why why)
{
    switch (why) {
    case extraction::Rejection::Why::moved: return "moved a frequency by more than 1/T";
    case extraction::Rejection::Why::merged: return "brought two frequencies within 1/(2T)";
    case extraction::Rejection::Why::not_converged: return "did not converge";
    }
    return "";
}

}  // namespace

std::string frequencies_csv(const extraction::Result& result, const TableContext& context)
{
    std::string text = comment_line(table_facts(result, context));
    text += "id,frequency,frequency_err,amplitude,amplitude_err,phase,phase_err,snr,log10_fap,combination\n";
    for (const extraction::Frequency& f : result.frequencies) {
        text += std::to_string(f.id);
        for (double x : {f.value.frequency, f.covariance.frequency, f.value.amplitude, f.covariance.amplitude,
                         f.value.phase, f.covariance.phase, f.snr, f.log10_fap}) {
            text += ',';
            numerics::append_number(text, x);
        }
        text += ',' + f.combination + '\n';
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
    text += "# phases in cycles at t_ref for A sin(2 pi (f (t - t_ref) + phase)); err_cov from the least-squares\n";
    text += "# covariance, err_MO from Montgomery & O'Donoghue (1999), both times sqrt(D_f), D_f the larger of D\n";
    text += "# and the excess of the residuals' noise around f over white noise of their rms\n";
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
                        fixed(f.log10_fap, 1), fixed(f.correlation, 2), f.combination});
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
    file.write("time residual" + std::string(errors ? " error" : "") + " (" + escape_controls(context.label) +
               " minus " + frequencies(result.frequencies.size()) + ", unit " + context.unit + ")\n");
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
    if (!result.rejected.empty())
        out << context.label << ": " << result.rejected.size()
            << (result.rejected.size() == 1 ? " candidate" : " candidates")
            << " passed over because the fit diverged (see the .txt table)\n";
    std::vector<std::size_t> order(result.frequencies.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return result.frequencies[a].value.amplitude > result.frequencies[b].value.amplitude;
    });
    for (std::size_t i = 0; i < std::min(rows, order.size()); ++i) {
        const extraction::Frequency& f = result.frequencies[order[i]];
        std::snprintf(line, sizeof line, ":   f%-4d %14.7f c/d %12.5g%s  S/N %7.1f  %s\n", f.id, f.value.frequency,
                      f.value.amplitude, unit.c_str(), f.snr, f.combination.c_str());
        std::string text = line;
        while (text.size() > 1 && text[text.size() - 2] == ' ') text.erase(text.size() - 2, 1);
        out << context.label << text;
    }
    if (order.size() > rows) out << context.label << ": and " << order.size() - rows << " weaker\n";
}

}  // namespace prewhiten
