// A star's frequencies tracked through time, and what is said of them.
#include "track_star.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "numerics/median.hpp"
#include "numerics/text.hpp"
#include "output.hpp"
#include "screen.hpp"
#include "star.hpp"
#include "tables.hpp"
#include "tracking/window_fit.hpp"

namespace prewhiten {

namespace {

constexpr double degrees_per_radian = 57.29577951308232;

// A frequency's delays disagree with the others' when their chi2 per
// degree of freedom about them exceeds this: beyond what noise and the
// errors' own uncertainty give, its phase changes on its own.
constexpr double disagreeing_chi2 = 3.0;

// "7.05 +- 0.45", the value to two digits of its error.
std::string with_error(double value, double error)
{
    if (!(error > 0.0) || !std::isfinite(error)) return g6(value);
    return fixed(value, decimals_for(error)) + " +- " + two_digits(error);
}

std::string count_of(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The false-alarm probability for the eye: "0.32", "2.1e-05", "10^-35.2".
std::string fap_text(double log10_fap)
{
    if (!std::isfinite(log10_fap)) return "undefined";
    if (log10_fap > -300.0) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2g", std::pow(10.0, log10_fap));
        return text;
    }
    return "10^" + fixed(log10_fap, 1);
}

// The mean time of the light curve, the origin of a table without t_ref.
double mean_time(const std::vector<double>& times)
{
    long double sum = 0.0L;
    for (double t : times) sum += t;
    return times.empty() ? 0.0 : static_cast<double>(sum / static_cast<long double>(times.size()));
}

// The amplitudes of a linear least-squares fit of the frequencies, fixed,
// and a straight line to the whole light curve; zeros when it is singular.
std::vector<double> fitted_amplitudes(const std::vector<double>& frequencies, const lightcurve::LightCurve& curve,
                                      double t_ref, bool weights)
{
    std::vector<double> amplitudes(frequencies.size(), 0.0);
    if (curve.times.empty()) return amplitudes;
    std::vector<double> w;
    if (weights)
        for (double e : curve.errors) w.push_back(1.0 / e);
    tracking::WindowData data;
    data.times = curve.times;
    data.values = curve.values;
    data.weights = w;
    data.t_ref = t_ref;
    data.centre = 0.5 * (curve.times.front() + curve.times.back());
    data.half_width = std::max(0.5 * (curve.times.back() - curve.times.front()), 1e-6);
    const std::size_t parameters = 2 * frequencies.size() + tracking::baseline_terms(tracking::Baseline::linear);
    if (curve.times.size() <= parameters) return amplitudes;
    const tracking::WindowFit fit = tracking::fit_window(data, frequencies, tracking::Baseline::linear);
    if (fit.singular) return amplitudes;
    for (std::size_t i = 0; i < frequencies.size(); ++i) amplitudes[i] = fit.terms[i].amplitude;
    return amplitudes;
}

std::string frequency_name(const tracking::Result& r, std::size_t fitted)
{
    std::string name = "f";
    name += std::to_string(r.table[r.fitted[fitted]].id);
    return name;
}

// The frequencies whose delays disagree with the others', worst first.
std::vector<std::size_t> disagreeing(const tracking::Result& r)
{
    std::vector<std::size_t> list;
    for (std::size_t i = 0; i < r.modulation.size(); ++i)
        if (r.modulation[i].time_delay_chi2_dof > disagreeing_chi2) list.push_back(i);
    std::stable_sort(list.begin(), list.end(), [&](std::size_t a, std::size_t b) {
        return r.modulation[a].time_delay_chi2_dof > r.modulation[b].time_delay_chi2_dof;
    });
    return list;
}

std::string windows_line(const tracking::Result& r)
{
    const tracking::Counts& c = r.counts;
    std::string text = "tracked " + count_of(r.fitted.size(), "frequency", "frequencies");
    if (!r.left_out.empty())
        text += " (" + std::to_string(r.left_out.size()) + " left out, within 1.5/W of a stronger one)";
    text += " in " + count_of(r.windows.size(), "window", "windows") + " of " + g6(r.width) + " d, step " +
            g6(r.step) + " d: " + std::to_string(c.used) + " used, " + std::to_string(c.skipped()) + " skipped";
    std::string reasons;
    auto reason = [&](std::size_t n, const char* what) {
        if (n > 0) reasons += (reasons.empty() ? "" : ", ") + std::to_string(n) + " " + what;
    };
    reason(c.few_points, "few points");
    reason(c.few_for_model, "too few for the model");
    reason(c.singular, "singular");
    return reasons.empty() ? text : text + " (" + reasons + ")";
}

std::string delays_line(const tracking::Result& r)
{
    if (r.counts.used == 0) return "no window has a time delay: none could be fitted";
    if (r.delays.empty()) return "no window has a time delay (every phase error above 0.1 cycle)";
    std::vector<double> errors;
    for (const tracking::DelayPoint& p : r.delays) errors.push_back(p.delay_err);
    std::string text = "time delays in " + count_of(r.delays.size(), "window", "windows") + ", median error " +
                       g6(numerics::median(errors)) + " s; ";
    const std::vector<std::size_t> apart = disagreeing(r);
    if (apart.empty()) return text + "the frequencies agree (their phases move together)";
    std::string names, ratios;
    for (std::size_t k = 0; k < std::min<std::size_t>(apart.size(), 3); ++k) {
        if (k > 0) names += ", ", ratios += ", ";
        names += frequency_name(r, apart[k]);
        ratios += fixed(r.modulation[apart[k]].time_delay_chi2_dof, 1);
    }
    if (apart.size() > 3) names += " and " + std::to_string(apart.size() - 3) + " more";
    const bool one = apart.size() == 1;
    return text + names + (one ? " disagrees" : " disagree") + " with the others (delay chi2/dof " + ratios +
           (one ? "): its phase also changes on its own, and its errors are widened"
                : "): their phases also change on their own, and their errors are widened");
}

std::string orbit_line(const TrackedStar& star)
{
    const tracking::Result& r = star.result;
    const tracking::DelaySpectrum& s = r.spectrum;
    if (!s.searched)
        return "no orbit claimed: too few windows with delays to search (" + std::to_string(r.delays.size()) + ")";
    const std::string fap = "FAP " + fap_text(s.log10_fap);
    if (!r.orbit.fitted)
        return "no orbit claimed: the delays' highest peak, at P = " + g6(1.0 / s.peak_frequency) + " d, has " + fap +
               " (limit " + g6(star.orbit_fap) + ")";
    const tracking::OrbitFit& o = r.orbit;
    std::string text = std::string("orbit (") + (o.eccentric ? "eccentric" : "circular") +
                       "): P = " + with_error(o.orbit.period, o.period_err) + " d, a1 sin i / c = " +
                       with_error(o.orbit.asini, o.asini_err) + " s";
    if (o.eccentric) text += ", e = " + with_error(o.orbit.e, o.e_err);
    return text + "; " + fap + ", chi2/dof " + fixed(o.chi2_dof, 2);
}

}  // namespace

TrackedTable table_of_extraction(const extraction::Result& result)
{
    TrackedTable table;
    table.t_ref = result.t_ref;
    table.source = "extraction";
    for (const extraction::Frequency& f : result.frequencies)
        table.frequencies.push_back({f.id, f.value.frequency, f.value.amplitude});
    return table;
}

TrackedTable table_of_file(const lightcurve::FrequencyTable& file, const std::string& name,
                           const lightcurve::LightCurve& curve, bool weights, std::uint64_t memory,
                           const std::string& memory_text)
{
    if (file.amplitudes.size() != file.frequencies.size()) {
        // The design matrix and its QR copy, n x p each, and the p x p
        // triangles; saturating, as no product of sizes may wrap.
        const double n = static_cast<double>(curve.times.size());
        const double p = 2.0 * static_cast<double>(file.frequencies.size()) + 2.0;
        const double bytes = 8.0 * (2.0 * n * p + 3.0 * p * p);
        if (bytes > static_cast<double>(memory))
            throw StarError("the fit of the amplitudes of " + std::to_string(file.frequencies.size()) +
                            " frequencies to " + std::to_string(curve.times.size()) + " points needs " +
                            numerics::bytes_text(bytes >= 0x1p64 ? UINT64_MAX : static_cast<std::uint64_t>(bytes)) +
                            ", more than " + memory_text + " (a table with amplitudes needs no fit)");
    }
    TrackedTable table;
    table.source = escape_controls(name);
    table.t_ref = file.t_ref ? *file.t_ref : mean_time(curve.times);
    const std::vector<double> amplitudes = file.amplitudes.size() == file.frequencies.size()
                                               ? file.amplitudes
                                               : fitted_amplitudes(file.frequencies, curve, table.t_ref, weights);
    for (std::size_t i = 0; i < file.frequencies.size(); ++i)
        table.frequencies.push_back({static_cast<int>(i + 1), file.frequencies[i], amplitudes[i]});
    return table;
}

tracking::Settings tracking_settings(const Options& options)
{
    tracking::Settings settings;
    settings.width = options.track.value_or(settings.width);
    settings.step = options.track_step.value_or(settings.width);
    settings.weights = options.weights;
    settings.orbit_fap = options.orbit_fap.value_or(default_orbit_fap);
    settings.threads = options.spectrum.threads;
    return settings;
}

bool spans_three_windows(const lightcurve::LightCurve& curve, const Options& options)
{
    const tracking::Settings s = tracking_settings(options);
    return !curve.times.empty() && curve.times.back() - curve.times.front() >= s.width + 2.0 * s.step;
}

std::string too_short_to_track(const lightcurve::LightCurve& curve, const Options& options)
{
    const tracking::Settings s = tracking_settings(options);
    return "not tracked: its span, " + g6(lightcurve::time_span(curve.times)) +
           " d, holds fewer than three windows of " + g6(s.width) + " d (step " + g6(s.step) + " d, " +
           g6(s.width + 2.0 * s.step) + " d needed)";
}

TrackedStar track_star(const std::string& label, const lightcurve::LightCurve& curve, const TrackedTable& table,
                       const Options& options)
{
    if (options.weights && !curve.has_errors)
        throw StarError("--weights needs an error column, and this light curve has none");
    TrackedStar star;
    star.label = label;
    const tracking::Settings settings = tracking_settings(options);
    star.orbit_fap = settings.orbit_fap;
    star.result = tracking::track(curve.times, curve.values, curve.errors, table.frequencies, table.t_ref, settings);
    star.context = {lightcurve::unit_name(curve.unit), table.source};
    if (options.plot != PictureType::none)
        star.picture = track_picture_of(label, star.result, curve.unit, star.orbit_fap);
    return star;
}

void say_tracking(std::ostream& out, const TrackedStar& star)
{
    out << star.label << ": " << windows_line(star.result) << "\n";
    out << star.label << ": " << delays_line(star.result) << "\n";
    out << star.label << ": " << orbit_line(star) << "\n";
}

void add_orbit(SummaryRow& row, const TrackedStar& star)
{
    const tracking::OrbitFit& o = star.result.orbit;
    row.tracked = true;
    row.orbit = o.fitted;
    if (!o.fitted) return;
    row.orbit_period = o.orbit.period;
    row.orbit_asini = o.orbit.asini;
    row.orbit_e = o.orbit.e;
}

std::string orbit_text(const TrackedStar& star)
{
    const tracking::Result& r = star.result;
    const tracking::DelaySpectrum& s = r.spectrum;
    const tracking::OrbitFit& o = r.orbit;
    const std::string unit = star.context.unit == "none" ? "the unit of the values" : star.context.unit;
    std::string text = "# " + escape_controls(star.label) + ": " + windows_line(r) + "\n";
    text += "# t_ref = " + fixed(r.t_ref, 6) + ", frequencies from " + star.context.source + ", amplitudes in " +
            unit + ", time delays in s\n";
    text += "# " + delays_line(r) + "\n";
    if (s.searched)
        text += "# the delays' spectrum from " + g6(s.fmin) + " to " + g6(s.fmax) + " c/d: highest peak at P = " +
                g6(1.0 / s.peak_frequency) + " d, FAP " + fap_text(s.log10_fap) + " (an orbit is claimed below " +
                g6(star.orbit_fap) + ")\n";
    text += "\n";
    if (!o.fitted) {
        text += orbit_line(star) + "\n";
    } else {
        text += std::string("Orbit (light-travel time, ") +
                (o.eccentric ? "eccentric" : "circular: e consistent with 0, so varpi is undefined and t_max is the "
                                             "time of the delay's maximum") +
                "), chi2/dof " + fixed(o.chi2_dof, 2) + "\n";
        std::vector<std::vector<std::string>> rows = {{"quantity    ", "value", "error", "unit"}};
        // Names padded to one width, so that they stand to the left.
        auto add = [&](const char* what, double value, double error, const char* unit) {
            const bool known = error > 0.0 && std::isfinite(error);
            std::string name = what;
            name.resize(std::max<std::size_t>(name.size(), 12), ' ');
            rows.push_back(
                {name, known ? fixed(value, decimals_for(error)) : g6(value), known ? two_digits(error) : "-", unit});
        };
        add("P", o.orbit.period, o.period_err, "d");
        add("a1 sin i / c", o.orbit.asini, o.asini_err, "s");
        add("e", o.orbit.e, o.e_err, "");
        if (o.eccentric) {
            add("varpi", o.orbit.varpi * degrees_per_radian, o.varpi_err * degrees_per_radian, "deg");
            add("t_p", o.orbit.t_p, o.t_p_err, "d");
        } else {
            add("t_max", o.t_max, o.t_max_err, "d");
        }
        add("tau_0", o.orbit.tau0, o.tau0_err, "s");
        add("f(M)", o.mass_function, o.mass_function_err, "M_sun");
        add("K1", o.k1, o.k1_err, "km/s");
        text += aligned(rows);
    }
    text += "\nModulation of each frequency (amplitude slope in " + unit +
            " per year, frequency rate in c/d per day)\n";
    std::vector<std::vector<std::string>> rows = {{"id", "frequency", "mean_amp", "amp_chi2/dof", "amp_slope", "err",
                                                   "freq_rate", "err", "delay_chi2/dof", "note"}};
    std::vector<const tracking::Modulation*> of(r.table.size(), nullptr);
    for (std::size_t i = 0; i < r.fitted.size(); ++i) of[r.fitted[i]] = &r.modulation[i];
    for (std::size_t i = 0; i < r.table.size(); ++i) {
        const tracking::TableFrequency& f = r.table[i];
        const tracking::Modulation* m = of[i];
        if (!m) {
            rows.push_back({std::to_string(f.id), fixed(f.frequency, 6), "", "", "", "", "", "", "",
                            "left out: within 1.5/W of a stronger one"});
            continue;
        }
        rows.push_back({std::to_string(f.id), fixed(f.frequency, 6), g6(m->mean_amplitude),
                        fixed(m->amplitude_chi2_dof, 2),
                        fixed(m->amplitude_slope, decimals_for(m->amplitude_slope_err)),
                        two_digits(m->amplitude_slope_err), g6(m->frequency_rate), two_digits(m->frequency_rate_err),
                        fixed(m->time_delay_chi2_dof, 2), ""});
    }
    return text + aligned(rows);
}

}  // namespace prewhiten
