#include "tracking/files.hpp"

#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>
#include <vector>

#include "numerics/text.hpp"

namespace tracking {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double degrees_per_radian = 57.29577951308232;

void append_row(std::string& text, std::initializer_list<double> numbers)
{
    for (double x : numbers) {
        text += ',';
        numerics::append_number(text, x);
    }
}

// "# W=10, S=10, windows=147, ...": the facts every file opens with.
std::string facts_line(const Result& result, const FileContext& context,
                       const std::vector<std::pair<std::string, std::string>>& extra = {})
{
    std::vector<std::pair<std::string, std::string>> facts = {
        {"W", numerics::full_number(result.width)},
        {"S", numerics::full_number(result.step)},
        {"windows", std::to_string(result.windows.size())},
        {"used", std::to_string(result.counts.used)},
        {"skipped", std::to_string(result.counts.skipped())},
        {"few_points", std::to_string(result.counts.few_points)},
        {"few_for_model", std::to_string(result.counts.few_for_model)},
        {"singular", std::to_string(result.counts.singular)},
        {"t_ref", numerics::full_number(result.t_ref)},
        {"unit", context.unit},
        {"frequencies", context.source},
        {"overlapping",
         result.step < result.width ? "yes (neighbouring windows share points: not independent)" : "no"}};
    std::string left;
    for (std::size_t i : result.left_out) {
        if (!left.empty()) left += ' ';
        left += std::to_string(result.table[i].id);
    }
    facts.emplace_back("left_out", left.empty() ? "none" : left);
    facts.insert(facts.end(), extra.begin(), extra.end());
    std::string line = "#";
    for (std::size_t i = 0; i < facts.size(); ++i)
        line += (i == 0 ? " " : ", ") + facts[i].first + "=" + facts[i].second;
    return line + "\n";
}

}  // namespace

std::string track_csv(const Result& result, const FileContext& context)
{
    std::string text = facts_line(result, context, {{"phase", "cycles (unwrapped where used)"}, {"time_delay", "s"}});
    text += "window,t_mid,t_start,t_end,n,id,frequency,amplitude,amplitude_err,phase,phase_err,time_delay,"
            "time_delay_err,used\n";
    for (std::size_t w = 0; w < result.windows.size(); ++w) {
        const WindowResult& wr = result.windows[w];
        for (std::size_t i = 0; i < wr.cells.size(); ++i) {
            const Cell& c = wr.cells[i];
            const TableFrequency& f = result.table[result.fitted[i]];
            text += std::to_string(w + 1);
            append_row(text, {wr.window.t_mid, wr.window.start, wr.window.end});
            text += ',' + std::to_string(wr.window.count) + ',' + std::to_string(f.id);
            append_row(text, {f.frequency, c.amplitude, c.amplitude_err, c.phase, c.phase_err,
                              c.used ? c.time_delay : nan, c.used ? c.time_delay_err : nan});
            text += c.used ? ",1\n" : ",0\n";
        }
    }
    return text;
}

std::string timedelay_csv(const Result& result, const FileContext& context)
{
    const bool model = result.orbit.fitted;
    std::string text = facts_line(result, context, {{"time_delay", "s"}, {"orbit", model ? "claimed" : "none"}});
    text += "window,t_mid,n,time_delay,time_delay_err,chi2_dof,frequencies_used";
    text += model ? ",model\n" : "\n";
    for (std::size_t j = 0; j < result.delays.size(); ++j) {
        const WindowResult& wr = result.windows[result.delay_window[j]];
        text += std::to_string(result.delay_window[j] + 1);
        append_row(text, {wr.window.t_mid});
        text += ',' + std::to_string(wr.window.count);
        append_row(text, {wr.delay.delay, wr.delay.delay_err, wr.delay.chi2_dof});
        text += ',' + std::to_string(wr.delay.frequencies);
        if (model) append_row(text, {result.orbit.model[j]});
        text += '\n';
    }
    return text;
}

std::string modulation_csv(const Result& result, const FileContext& context)
{
    std::string text = facts_line(result, context,
                                  {{"amplitude_slope", context.unit + " per year"}, {"frequency_rate", "c/d per day"}});
    text += "id,frequency,mean_amplitude,amplitude_chi2_dof,amplitude_slope,amplitude_slope_err,frequency_rate,"
            "frequency_rate_err,time_delay_chi2_dof\n";
    std::vector<const Modulation*> of(result.table.size(), nullptr);
    for (std::size_t i = 0; i < result.fitted.size(); ++i) of[result.fitted[i]] = &result.modulation[i];
    for (std::size_t i = 0; i < result.table.size(); ++i) {
        Modulation none;
        none.mean_amplitude = none.amplitude_chi2_dof = none.amplitude_slope = none.amplitude_slope_err = nan;
        none.frequency_rate = none.frequency_rate_err = none.time_delay_chi2_dof = nan;
        const Modulation& m = of[i] ? *of[i] : none;
        text += std::to_string(result.table[i].id);
        append_row(text, {result.table[i].frequency, m.mean_amplitude, m.amplitude_chi2_dof, m.amplitude_slope,
                          m.amplitude_slope_err, m.frequency_rate, m.frequency_rate_err, m.time_delay_chi2_dof});
        text += '\n';
    }
    return text;
}

std::string orbit_csv(const Result& result, const FileContext& context)
{
    const DelaySpectrum& s = result.spectrum;
    const OrbitFit& o = result.orbit;
    std::vector<std::pair<std::string, std::string>> extra = {
        {"windows_with_delays", std::to_string(result.delays.size())},
        {"search",
         s.searched ? numerics::full_number(s.fmin) + " to " + numerics::full_number(s.fmax) + " c/d" : "none"},
        {"peak_period", s.searched ? numerics::full_number(1.0 / s.peak_frequency) : "nan"}};
    if (o.fitted) {
        extra.emplace_back("orbit", o.eccentric ? "eccentric" : "circular (e consistent with 0: varpi undefined; "
                                                               "t_p is the time of the delay's maximum)");
        extra.emplace_back("trend", numerics::full_number(o.trend) + " s/d");
    }
    extra.emplace_back("units", "period d; asini_c s; varpi deg; t_p d; tau0 s; mass_function M_sun; k1 km/s");
    std::string text = facts_line(result, context, extra);
    text += "claimed,period,period_err,asini_c,asini_c_err,e,e_err,varpi,varpi_err,t_p,t_p_err,tau0,mass_function,"
            "mass_function_err,k1,k1_err,log10_fap,chi2_dof\n";
    text += o.fitted ? "yes" : "no";
    if (!o.fitted) {
        for (int k = 0; k < 15; ++k) text += ",nan";
        append_row(text, {s.searched ? s.log10_fap : nan, nan});
        return text + '\n';
    }
    const double varpi = o.eccentric ? o.orbit.varpi * degrees_per_radian : nan;
    const double varpi_err = o.eccentric ? o.varpi_err * degrees_per_radian : nan;
    append_row(text, {o.orbit.period, o.period_err, o.orbit.asini, o.asini_err, o.orbit.e, o.e_err, varpi, varpi_err,
                      o.eccentric ? o.orbit.t_p : o.t_max, o.eccentric ? o.t_p_err : o.t_max_err, o.orbit.tau0,
                      o.mass_function, o.mass_function_err, o.k1, o.k1_err, s.log10_fap, o.chi2_dof});
    return text + '\n';
}

}  // namespace tracking
