#include "tracking/orbit.hpp"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit_nlinear.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>

#include "extraction/statistics.hpp"
#include "numerics/cycles.hpp"
#include "numerics/parallel.hpp"

namespace tracking {
namespace {

using numerics::two_pi;

// The parameter sets of the fits.  Each maps a vector x to an orbit.
enum class Form {
    circular,   // P, a, lambda (cycles), tau0 [, trend]
    eccentric,  // P, a, sqrt(e) cos varpi, sqrt(e) sin varpi, periastron phase (cycles), tau0 [, trend]
    smooth,     // P, a, k = e cos varpi, h = e sin varpi, lambda (cycles), tau0 [, trend]
};

std::size_t orbit_size(Form form) { return form == Form::circular ? 4 : 6; }

// An eccentricity the model can use: below 0.9 as given; above, squeezed
// smoothly below 1, so that no trial step of the optimiser leaves the
// domain of Kepler's equation.
double usable_eccentricity(double e)
{
    if (e < 0.9) return e;
    return 0.9 + 0.0999 * std::tanh((e - 0.9) / 0.0999);
}

Orbit orbit_of(Form form, std::span<const double> x, double t0)
{
    Orbit o;
    o.period = x[0];
    o.asini = x[1];
    switch (form) {
    case Form::circular:
        o.e = 0.0;
        o.varpi = 0.0;
        o.t_p = t0 - x[2] * o.period;  // M(t0) = 2 pi lambda
        o.tau0 = x[3];
        break;
    case Form::eccentric:
        o.e = usable_eccentricity(x[2] * x[2] + x[3] * x[3]);
        o.varpi = std::atan2(x[3], x[2]);
        o.t_p = t0 + x[4] * o.period;
        o.tau0 = x[5];
        break;
    case Form::smooth:
        o.e = usable_eccentricity(std::hypot(x[2], x[3]));
        o.varpi = std::atan2(x[3], x[2]);
        o.t_p = t0 - (x[4] - o.varpi / two_pi) * o.period;  // M(t0) = 2 pi lambda - varpi
        o.tau0 = x[5];
        break;
    }
    return o;
}

// The smooth parameters of an orbit (lambda the mean longitude at t0).
std::vector<double> smooth_of(const Orbit& o, double t0, double trend, bool with_trend)
{
    const double lambda = (t0 - o.t_p) / o.period + o.varpi / two_pi;
    std::vector<double> q = {o.period, o.asini, o.e * std::cos(o.varpi), o.e * std::sin(o.varpi),
                             lambda - std::floor(lambda), o.tau0};
    if (with_trend) q.push_back(trend);
    return q;
}

struct Problem {
    std::span<const DelayPoint> points;
    Form form;
    bool trend;
    double t0;
};

// Weighted residuals (model - delay) / sigma at x.  A period that is not
// positive gives large finite residuals, so the optimiser rejects the step.
void residuals(const Problem& problem, std::span<const double> x, std::span<double> out)
{
    const bool valid = x[0] > 0.0 && std::isfinite(x[0]);
    const Orbit o = orbit_of(problem.form, x, problem.t0);
    const double trend = problem.trend ? x[orbit_size(problem.form)] : 0.0;
    for (std::size_t w = 0; w < problem.points.size(); ++w) {
        const DelayPoint& p = problem.points[w];
        const double model = valid ? window_delay(p, o, trend, problem.t0) : 1e10 * p.delay_err;
        out[w] = (model - p.delay) / p.delay_err;
    }
}

int residual_callback(const gsl_vector* x, void* params, gsl_vector* f)
{
    const Problem& problem = *static_cast<const Problem*>(params);
    std::vector<double> xs(x->size);
    for (std::size_t i = 0; i < x->size; ++i) xs[i] = gsl_vector_get(x, i);
    std::vector<double> out(f->size);
    residuals(problem, xs, out);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (!std::isfinite(out[i])) return GSL_EDOM;
        gsl_vector_set(f, i, out[i]);
    }
    return GSL_SUCCESS;
}

// The derivatives of light_time at t with respect to the orbit's
// parameters of the circular or eccentric form (P, a, then lambda; or P,
// a, sqrt(e) cos varpi, sqrt(e) sin varpi, periastron phase), into d.
//   Notes: 1. Circular: tau = a sin(theta), theta = 2 pi ((t - t0) / P + lambda).
//          2. Eccentric: tau = a (X cos varpi + Y sin varpi) with
//             X = sqrt(1 - e^2) sin E, Y = cos E - e, M = 2 pi ((t - t0) / P - phase),
//             dE/dM = 1 / (1 - e cos E), dE/de = sin E / (1 - e cos E) from
//             Kepler's equation; e = c^2 + s^2 (squeezed above 0.9) and
//             varpi = atan2(s, c).
void light_time_gradient(Form form, std::span<const double> x, double t0, double t, double* d)
{
    const double P = x[0], a = x[1];
    if (form == Form::circular) {
        const double theta = two_pi * ((t - t0) / P + x[2]);
        const double s = std::sin(theta), c = std::cos(theta);
        d[0] = -a * c * two_pi * (t - t0) / (P * P);
        d[1] = s;
        d[2] = a * c * two_pi;
        return;
    }
    const double raw = x[2] * x[2] + x[3] * x[3];
    const double e = usable_eccentricity(raw);
    const double squeeze = raw < 0.9 ? 1.0 : 1.0 / std::pow(std::cosh((raw - 0.9) / 0.0999), 2);
    const double varpi = std::atan2(x[3], x[2]);
    const double sw = std::sin(varpi), cw = std::cos(varpi);
    const double M = two_pi * ((t - t0) / P - x[4]);
    const double E = eccentric_anomaly(M, e);
    const double sE = std::sin(E), cE = std::cos(E);
    const double root = std::sqrt((1.0 - e) * (1.0 + e));
    const double D = 1.0 - e * cE;
    const double X = root * sE, Y = cE - e;
    const double dtau_dE = a * (root * cE * cw - sE * sw);
    const double dtau_dM = dtau_dE / D;
    const double dtau_de = a * (-(e / root) * sE * cw - sw) + dtau_dE * sE / D;
    const double dtau_dw = a * (Y * cw - X * sw);
    const double dw_dc = raw > 0.0 ? -x[3] / raw : 0.0, dw_ds = raw > 0.0 ? x[2] / raw : 0.0;
    d[0] = -dtau_dM * two_pi * (t - t0) / (P * P);
    d[1] = X * cw + Y * sw;
    d[2] = dtau_de * 2.0 * x[2] * squeeze + dtau_dw * dw_dc;
    d[3] = dtau_de * 2.0 * x[3] * squeeze + dtau_dw * dw_ds;
    d[4] = -dtau_dM * two_pi;
}

int jacobian_callback(const gsl_vector* x, void* params, gsl_matrix* J)
{
    const Problem& problem = *static_cast<const Problem*>(params);
    std::vector<double> xs(x->size), d(x->size), node(x->size);
    for (std::size_t i = 0; i < x->size; ++i) xs[i] = gsl_vector_get(x, i);
    const std::size_t k = orbit_size(problem.form);
    const std::size_t q = k - 1;  // the orbit's own parameters; tau0 at q
    for (std::size_t w = 0; w < problem.points.size(); ++w) {
        const DelayPoint& p = problem.points[w];
        std::fill(d.begin(), d.end(), 0.0);
        if (p.node_times.empty()) {
            light_time_gradient(problem.form, xs, problem.t0, p.t, d.data());
        } else {
            for (std::size_t g = 0; g < p.node_times.size(); ++g) {
                light_time_gradient(problem.form, xs, problem.t0, p.node_times[g], node.data());
                for (std::size_t j = 0; j < q; ++j) d[j] += p.node_shares[g] * node[j];
            }
        }
        d[q] = 1.0;
        if (problem.trend) d[k] = p.t - problem.t0;
        for (std::size_t j = 0; j < x->size; ++j) {
            if (!std::isfinite(d[j])) return GSL_EDOM;
            gsl_matrix_set(J, w, j, d[j] / p.delay_err);
        }
    }
    return GSL_SUCCESS;
}

double chi2_at(const Problem& problem, std::span<const double> x)
{
    std::vector<double> r(problem.points.size());
    residuals(problem, x, r);
    double chi2 = 0.0;
    for (double v : r) chi2 += v * v;
    return chi2;
}

struct WorkspaceDeleter {
    void operator()(gsl_multifit_nlinear_workspace* w) const { gsl_multifit_nlinear_free(w); }
};

// Levenberg-Marquardt from x; returns the solution (x unchanged when the
// solver cannot start) and its chi2.
std::pair<std::vector<double>, double> levenberg_marquardt(const Problem& problem, std::vector<double> x)
{
    const std::size_t n = problem.points.size(), p = x.size();
    gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
    params.trs = gsl_multifit_nlinear_trs_lm;
    std::unique_ptr<gsl_multifit_nlinear_workspace, WorkspaceDeleter> work(
        gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &params, n, p));
    if (!work) return {x, chi2_at(problem, x)};
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = residual_callback;
    fdf.df = jacobian_callback;  // the circular and eccentric forms; the smooth one only gives covariances
    fdf.fvv = nullptr;
    fdf.n = n;
    fdf.p = p;
    fdf.params = const_cast<Problem*>(&problem);
    gsl_vector_view x0 = gsl_vector_view_array(x.data(), p);
    if (gsl_multifit_nlinear_init(&x0.vector, &fdf, work.get()) != GSL_SUCCESS) return {x, chi2_at(problem, x)};
    // GSL's tests on the step and the gradient, and a stall of chi2: near
    // e = 0 the argument and the time of periastron trade off along a
    // valley of constant chi2, where the steps never become small.
    std::vector<double> history;
    for (int iteration = 0; iteration < 100; ++iteration) {
        if (gsl_multifit_nlinear_iterate(work.get()) != GSL_SUCCESS) break;
        int info = 0;
        if (gsl_multifit_nlinear_test(1e-8, 1e-8, 0.0, &info, work.get()) == GSL_SUCCESS) break;
        double chi2 = 0.0;
        gsl_blas_ddot(work->f, work->f, &chi2);
        history.push_back(chi2);
        if (history.size() > 5) {
            const double chi2_before = history[history.size() - 6];
            if (chi2_before - chi2 <= 1e-6 * chi2 + 1e-12) break;
        }
    }
    const gsl_vector* solution = gsl_multifit_nlinear_position(work.get());
    std::vector<double> out(p);
    for (std::size_t i = 0; i < p; ++i) out[i] = gsl_vector_get(solution, i);
    const double chi2 = chi2_at(problem, out);
    if (!std::isfinite(chi2)) return {x, chi2_at(problem, x)};
    return {out, chi2};
}

// The covariance (J^T J)^-1 of the weighted residuals at x, by central
// differences; empty when singular (a parameter the data do not determine
// gets no error rather than an error of 0).
std::vector<double> covariance_at(const Problem& problem, std::span<const double> x)
{
    const std::size_t n = problem.points.size(), p = x.size();
    std::vector<double> jac(n * p), plus(n), minus(n), xs(x.begin(), x.end());
    for (std::size_t j = 0; j < p; ++j) {
        const double h = 6e-6 * std::max(std::fabs(x[j]), j == 0 ? 1.0 : 1e-2);
        xs[j] = x[j] + h;
        residuals(problem, xs, plus);
        xs[j] = x[j] - h;
        residuals(problem, xs, minus);
        xs[j] = x[j];
        for (std::size_t w = 0; w < n; ++w) jac[w * p + j] = (plus[w] - minus[w]) / (2.0 * h);
    }
    std::vector<double> cov(p * p);
    gsl_matrix_view jv = gsl_matrix_view_array(jac.data(), n, p);
    gsl_matrix_view cv = gsl_matrix_view_array(cov.data(), p, p);
    if (gsl_multifit_nlinear_covar(&jv.matrix, 1e-12, &cv.matrix) != GSL_SUCCESS) return {};
    for (double c : cov)
        if (!std::isfinite(c)) return {};
    for (std::size_t j = 0; j < p; ++j)
        if (!(cov[j * p + j] > 0.0)) return {};
    return cov;
}

// The linear error of g(q) under the covariance: sqrt(grad^T C grad), the
// gradient by central differences (differences of angles wrapped).
double propagated_error(const std::function<double(std::span<const double>)>& g, std::span<const double> q,
                        const std::vector<double>& cov, bool angle = false)
{
    const std::size_t p = q.size();
    if (cov.size() != p * p) return std::numeric_limits<double>::quiet_NaN();
    std::vector<double> grad(p), qs(q.begin(), q.end());
    for (std::size_t j = 0; j < p; ++j) {
        const double h = 1e-6 * std::max(std::fabs(q[j]), std::sqrt(std::max(cov[j * p + j], 1e-300)));
        qs[j] = q[j] + h;
        const double up = g(qs);
        qs[j] = q[j] - h;
        const double down = g(qs);
        qs[j] = q[j];
        const double diff = angle ? std::remainder(up - down, two_pi) : up - down;
        grad[j] = diff / (2.0 * h);
    }
    double var = 0.0;
    for (std::size_t i = 0; i < p; ++i)
        for (std::size_t j = 0; j < p; ++j) var += grad[i] * cov[i * p + j] * grad[j];
    return std::sqrt(std::max(var, 0.0));
}

// A time t_p + m P brought within half a period of t0.
double nearest_epoch(double t, double period, double t0) { return t - period * std::nearbyint((t - t0) / period); }

}  // namespace

void node_groups(std::span<const double> times, int groups, std::vector<double>& node_times,
                 std::vector<double>& node_shares)
{
    node_times.clear();
    node_shares.clear();
    const std::size_t n = times.size();
    if (n == 0 || groups < 1) return;
    const std::size_t g = std::min<std::size_t>(static_cast<std::size_t>(groups), n);
    for (std::size_t j = 0; j < g; ++j) {
        const std::size_t first = j * n / g, last = (j + 1) * n / g;
        double sum = 0.0;
        for (std::size_t k = first; k < last; ++k) sum += times[k] - times[first];
        node_times.push_back(times[first] + sum / static_cast<double>(last - first));
        node_shares.push_back(static_cast<double>(last - first) / static_cast<double>(n));
    }
}

double window_delay(const DelayPoint& point, const Orbit& orbit, double trend, double t0)
{
    double sum = 0.0;
    if (point.node_times.empty()) {
        sum = light_time(orbit, point.t);
    } else {
        for (std::size_t g = 0; g < point.node_times.size(); ++g)
            sum += point.node_shares[g] * light_time(orbit, point.node_times[g]);
    }
    return sum + trend * (point.t - t0);
}

DelaySpectrum search_delays(std::span<const DelayPoint> points, double step, double t0, double fap_limit,
                            double oversample)
{
    DelaySpectrum s;
    const std::size_t n = points.size();
    if (n < 4 || !(step > 0.0)) return s;
    double t_first = points.front().t, t_last = points.front().t;
    for (const DelayPoint& p : points) {
        t_first = std::min(t_first, p.t);
        t_last = std::max(t_last, p.t);
    }
    const double span = t_last - t_first;
    s.fmin = 1.0 / span;
    s.fmax = 0.8 * 0.5 / step;
    s.step = 1.0 / (oversample * span);
    if (!(span > 0.0) || !(s.fmax > s.fmin)) return s;
    const std::size_t count = static_cast<std::size_t>(std::floor((s.fmax - s.fmin) / s.step)) + 1;

    // Weights normalised to sum 1, and the weighted mean and variance.
    std::vector<double> w(n), y(n), tau(n), arg(n), sn(n), cs(n), times(n);
    double sum_w = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        w[k] = 1.0 / (points[k].delay_err * points[k].delay_err);
        sum_w += w[k];
        tau[k] = points[k].t - t0;
        times[k] = points[k].t;
    }
    double mean = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        w[k] /= sum_w;
        mean += w[k] * points[k].delay;
    }
    double yy = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        y[k] = points[k].delay - mean;
        yy += w[k] * y[k] * y[k];
    }
    if (!(yy > 0.0)) return s;

    s.amplitude.resize(count);
    s.power.resize(count);
    std::vector<double> phase(count), offset(count);
    for (std::size_t j = 0; j < count; ++j) {
        const double f = s.fmin + static_cast<double>(j) * s.step;
        for (std::size_t k = 0; k < n; ++k) arg[k] = f * tau[k];
        numerics::sincos_cycles(arg.data(), sn.data(), cs.data(), n);
        double S = 0, C = 0, YS = 0, YC = 0, SS = 0, CC = 0, CS = 0;
        for (std::size_t k = 0; k < n; ++k) {
            S += w[k] * sn[k];
            C += w[k] * cs[k];
            YS += w[k] * y[k] * sn[k];
            YC += w[k] * y[k] * cs[k];
            SS += w[k] * sn[k] * sn[k];
            CC += w[k] * cs[k] * cs[k];
            CS += w[k] * cs[k] * sn[k];
        }
        // Centred sums: the constant is fitted with the sinusoid.
        const double ss = SS - S * S, cc = CC - C * C, csx = CS - C * S;
        const double det = ss * cc - csx * csx;
        if (!(det > 1e-12 * (ss * cc))) continue;  // one column nearly vanishes: no fit there
        const double a = (YS * cc - YC * csx) / det;  // sine coefficient
        const double b = (YC * ss - YS * csx) / det;  // cosine coefficient
        s.power[j] = std::clamp((a * YS + b * YC) / yy, 0.0, 1.0);
        s.amplitude[j] = std::hypot(a, b);
        phase[j] = std::atan2(b, a) / two_pi;
        offset[j] = mean - a * S - b * C;
    }
    s.searched = true;
    std::vector<std::size_t> maxima;
    for (std::size_t j = 0; j < count; ++j)
        if ((j == 0 || s.power[j] > s.power[j - 1]) && (j + 1 == count || s.power[j] >= s.power[j + 1]))
            maxima.push_back(j);
    std::stable_sort(maxima.begin(), maxima.end(),
                     [&](std::size_t a, std::size_t b) { return s.power[a] > s.power[b]; });
    if (maxima.size() > candidate_peaks) maxima.resize(candidate_peaks);
    for (std::size_t j : maxima)
        s.peaks.push_back({s.fmin + static_cast<double>(j) * s.step, s.power[j], s.amplitude[j],
                           phase[j] - std::floor(phase[j]), offset[j]});
    s.peak = maxima.empty() ? 0 : maxima.front();
    s.peak_frequency = s.fmin + static_cast<double>(s.peak) * s.step;
    s.peak_amplitude = s.amplitude[s.peak];
    s.peak_phase = phase[s.peak] - std::floor(phase[s.peak]);
    s.peak_offset = offset[s.peak];
    s.log10_fap = extraction::log10_false_alarm(s.power[s.peak], n, s.fmax, extraction::effective_span(times));
    s.claimed = fap_limit > 0.0 && s.log10_fap < std::log10(fap_limit);
    return s;
}

double mass_function(double asini, double period)
{
    const double a = asini * speed_of_light;  // m
    const double p = period * seconds_per_day;  // s
    return two_pi * two_pi * a * a * a / (solar_mass_parameter * p * p);
}

double radial_velocity_amplitude(double asini, double period, double e)
{
    const double a = asini * speed_of_light;
    const double p = period * seconds_per_day;
    return two_pi * a / (p * std::sqrt((1.0 - e) * (1.0 + e))) / 1000.0;
}

OrbitFit fit_orbit(std::span<const DelayPoint> points, const DelaySpectrum& spectrum, double t0,
                   const OrbitSettings& settings)
{
    OrbitFit fit;
    const std::size_t n = points.size();
    const std::size_t extra = settings.trend ? 1 : 0;
    const std::size_t p_circ = orbit_size(Form::circular) + extra, p_ecc = orbit_size(Form::eccentric) + extra;
    if (!spectrum.searched || spectrum.peaks.empty() || n <= p_circ) return fit;

    // Circular orbits from each candidate peak's sinusoid.
    const Problem circ{points, Form::circular, settings.trend, t0};
    const int threads = numerics::thread_count(settings.threads);
    std::vector<std::pair<std::vector<double>, double>> circular(spectrum.peaks.size());
    numerics::for_each_block(circular.size(), threads, [&](std::size_t j) {
        const DelayPeak& peak = spectrum.peaks[j];
        std::vector<double> start = {1.0 / peak.frequency, peak.amplitude, peak.phase, peak.offset};
        if (settings.trend) start.push_back(0.0);
        auto [x, chi2] = levenberg_marquardt(circ, start);
        if (x[1] < 0.0) {  // a negative amplitude is half an orbit of phase
            x[1] = -x[1];
            x[2] += 0.5;
        }
        x[2] -= std::floor(x[2]);
        circular[j] = {x, chi2};
    });
    std::stable_sort(circular.begin(), circular.end(),
                     [](const auto& a, const auto& b) { return a.second < b.second; });
    const std::vector<double>& xc = circular.front().first;
    const double chi2_c = circular.front().second;
    Orbit best = orbit_of(Form::circular, xc, t0);
    double best_trend = settings.trend ? xc[4] : 0.0;
    fit.circular_chi2 = chi2_c;
    fit.eccentric_chi2 = chi2_c;

    // Eccentric orbits from the two best circular ones of different
    // periods: M(t0) + varpi = 2 pi lambda.
    std::vector<double> xe_best;
    if (n > p_ecc) {
        std::vector<const std::vector<double>*> seeds = {&xc};
        // A circular fit that leaves more than twice the best's chi2 is
        // taken for noise or an alias, not for another orbit's fundamental.
        for (const auto& [x, chi2] : circular)
            if (seeds.size() < 2 && std::fabs(x[0] / xc[0] - 1.0) > 0.01 && chi2 < 2.0 * chi2_c) seeds.push_back(&x);
        const Problem ecc{points, Form::eccentric, settings.trend, t0};
        std::vector<std::vector<double>> starts;
        for (const std::vector<double>* seed : seeds)
            for (double e0 : {0.15, 0.4, 0.65})
                for (int quarter = 0; quarter < 4; ++quarter) {
                    const std::vector<double>& x0 = *seed;
                    const double varpi = 0.25 * two_pi * quarter;
                    std::vector<double> x = {x0[0], x0[1], std::sqrt(e0) * std::cos(varpi),
                                             std::sqrt(e0) * std::sin(varpi), varpi / two_pi - x0[2], x0[3]};
                    if (settings.trend) x.push_back(x0[4]);
                    starts.push_back(std::move(x));
                }
        std::vector<std::pair<std::vector<double>, double>> ends(starts.size());
        numerics::for_each_block(starts.size(), threads,
                                 [&](std::size_t j) { ends[j] = levenberg_marquardt(ecc, starts[j]); });
        double best_e = std::numeric_limits<double>::infinity();
        for (const auto& [xe, chi2_e] : ends)
            if (chi2_e < best_e && xe[1] > 0.0) {
                best_e = chi2_e;
                xe_best = xe;
            }
        if (!xe_best.empty() && best_e < chi2_c) {
            fit.eccentric_chi2 = best_e;
            const double dof_e = static_cast<double>(n - p_ecc);
            const double f_ratio = 0.5 * (chi2_c - best_e) / (best_e / dof_e);
            fit.f_test_probability = best_e > 0.0 ? gsl_cdf_fdist_Q(f_ratio, 2.0, dof_e) : 0.0;
            if (fit.f_test_probability < settings.eccentric_significance) {
                fit.eccentric = true;
                best = orbit_of(Form::eccentric, xe_best, t0);
                best_trend = settings.trend ? xe_best[6] : 0.0;
            }
        } else {
            xe_best.clear();
        }
    }

    fit.fitted = true;
    fit.orbit = best;
    fit.trend = best_trend;
    fit.chi2 = fit.eccentric ? fit.eccentric_chi2 : fit.circular_chi2;
    fit.dof = n - (fit.eccentric ? p_ecc : p_circ);
    fit.chi2_dof = fit.chi2 / static_cast<double>(fit.dof);
    const double scale = std::max(1.0, fit.chi2_dof);

    // Errors in the smooth parameters, e free also for the circular orbit:
    // its period and a1 sin i / c are only as well known as the data leave
    // e, which for an orbit seen over one cycle or less trades off with them.
    const std::vector<double> q = smooth_of(best, t0, best_trend, settings.trend);
    const Problem smooth{points, Form::smooth, settings.trend, t0};
    std::vector<double> cov = covariance_at(smooth, q);
    for (double& c : cov) c *= scale;
    const std::size_t pq = q.size();
    auto sigma = [&](std::size_t i) {
        return cov.size() == pq * pq ? std::sqrt(cov[i * pq + i]) : std::numeric_limits<double>::quiet_NaN();
    };
    fit.period_err = sigma(0);
    fit.asini_err = sigma(1);
    fit.tau0_err = sigma(5);
    fit.orbit.t_p = nearest_epoch(fit.orbit.t_p, fit.orbit.period, t0);
    if (fit.eccentric) {
        auto e_of = [](std::span<const double> v) { return std::hypot(v[2], v[3]); };
        auto varpi_of = [](std::span<const double> v) { return std::atan2(v[3], v[2]); };
        auto t_p_of = [&](std::span<const double> v) {
            return t0 - (v[4] - std::atan2(v[3], v[2]) / two_pi) * v[0];
        };
        fit.e_err = propagated_error(e_of, q, cov);
        fit.varpi_err = propagated_error(varpi_of, q, cov, true);
        fit.t_p_err = propagated_error(t_p_of, q, cov);
        fit.orbit.varpi -= two_pi * std::floor(fit.orbit.varpi / two_pi);
    } else {
        const double e_fit = xe_best.empty() ? 0.0 : orbit_of(Form::eccentric, xe_best, t0).e;
        fit.e_err = std::hypot(e_fit, std::sqrt(0.5 * (sigma(2) * sigma(2) + sigma(3) * sigma(3))));
        fit.varpi_err = std::numeric_limits<double>::quiet_NaN();
        fit.t_p_err = std::numeric_limits<double>::quiet_NaN();
        // tau = a sin(2 pi ((t - t0) / P + lambda)) is largest a quarter orbit on.
        auto t_max_of = [&](std::span<const double> v) { return t0 + (0.25 - v[4]) * v[0]; };
        fit.t_max = nearest_epoch(t_max_of(q), fit.orbit.period, t0);
        fit.t_max_err = propagated_error(t_max_of, q, cov);
    }
    auto f_of = [](std::span<const double> v) { return mass_function(v[1], v[0]); };
    auto k_of = [](std::span<const double> v) {
        return radial_velocity_amplitude(v[1], v[0], std::min(std::hypot(v[2], v[3]), 0.9999));
    };
    fit.mass_function = mass_function(best.asini, best.period);
    fit.mass_function_err = propagated_error(f_of, q, cov);
    fit.k1 = radial_velocity_amplitude(best.asini, best.period, best.e);
    fit.k1_err = propagated_error(k_of, q, cov);
    fit.model.resize(n);
    for (std::size_t w = 0; w < n; ++w) fit.model[w] = window_delay(points[w], best, best_trend, t0);
    return fit;
}

}  // namespace tracking
