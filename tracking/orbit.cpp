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

#include "extraction/model.hpp"
#include "extraction/statistics.hpp"

namespace tracking {
namespace {

constexpr double two_pi = 6.283185307179586;

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
    fdf.df = nullptr;
    fdf.fvv = nullptr;
    fdf.n = n;
    fdf.p = p;
    fdf.params = const_cast<Problem*>(&problem);
    gsl_vector_view x0 = gsl_vector_view_array(x.data(), p);
    if (gsl_multifit_nlinear_init(&x0.vector, &fdf, work.get()) != GSL_SUCCESS) return {x, chi2_at(problem, x)};
    int info = 0;
    gsl_multifit_nlinear_driver(200, 1e-10, 1e-10, 0.0, nullptr, nullptr, &info, work.get());
    const gsl_vector* solution = gsl_multifit_nlinear_position(work.get());
    std::vector<double> out(p);
    for (std::size_t i = 0; i < p; ++i) out[i] = gsl_vector_get(solution, i);
    const double chi2 = chi2_at(problem, out);
    if (!std::isfinite(chi2)) return {x, chi2_at(problem, x)};
    return {out, chi2};
}

// The covariance (J^T J)^-1 of the weighted residuals at x, by central
// differences; empty when singular.
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
        extraction::sin_cos_cycles(arg.data(), sn.data(), cs.data(), n);
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
    s.peak = static_cast<std::size_t>(std::max_element(s.power.begin(), s.power.end()) - s.power.begin());
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
    gsl_set_error_handler_off();
    OrbitFit fit;
    const std::size_t n = points.size();
    const std::size_t extra = settings.trend ? 1 : 0;
    const std::size_t p_circ = orbit_size(Form::circular) + extra, p_ecc = orbit_size(Form::eccentric) + extra;
    if (!spectrum.searched || !(spectrum.peak_frequency > 0.0) || n <= p_circ) return fit;

    // The circular orbit from the peak's sinusoid a sin(2 pi (f (t - t0) + phase)).
    const Problem circ{points, Form::circular, settings.trend, t0};
    std::vector<double> start = {1.0 / spectrum.peak_frequency, spectrum.peak_amplitude, spectrum.peak_phase,
                                 spectrum.peak_offset};
    if (settings.trend) start.push_back(0.0);
    auto [xc, chi2_c] = levenberg_marquardt(circ, start);
    if (xc[1] < 0.0) {  // a negative amplitude is half an orbit of phase
        xc[1] = -xc[1];
        xc[2] += 0.5;
    }
    xc[2] -= std::floor(xc[2]);
    Orbit best = orbit_of(Form::circular, xc, t0);
    double best_trend = settings.trend ? xc[4] : 0.0;
    fit.circular_chi2 = chi2_c;
    fit.eccentric_chi2 = chi2_c;

    // Eccentric orbits from the circular one: M(t0) + varpi = 2 pi lambda.
    if (n > p_ecc) {
        const Problem ecc{points, Form::eccentric, settings.trend, t0};
        double best_e = std::numeric_limits<double>::infinity();
        std::vector<double> xe_best;
        for (double e0 : {0.1, 0.3, 0.5, 0.7})
            for (int quarter = 0; quarter < 4; ++quarter) {
                const double varpi = 0.25 * two_pi * quarter;
                std::vector<double> x = {xc[0], xc[1], std::sqrt(e0) * std::cos(varpi),
                                         std::sqrt(e0) * std::sin(varpi), varpi / two_pi - xc[2], xc[3]};
                if (settings.trend) x.push_back(xc[4]);
                auto [xe, chi2_e] = levenberg_marquardt(ecc, x);
                if (chi2_e < best_e && xe[1] > 0.0) {
                    best_e = chi2_e;
                    xe_best = xe;
                }
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
        }
    }

    fit.fitted = true;
    fit.orbit = best;
    fit.trend = best_trend;
    fit.chi2 = fit.eccentric ? fit.eccentric_chi2 : fit.circular_chi2;
    fit.dof = n - (fit.eccentric ? p_ecc : p_circ);
    fit.chi2_dof = fit.chi2 / static_cast<double>(fit.dof);
    const double scale = std::max(1.0, fit.chi2_dof);

    // Errors in the smooth parameters.  The circular orbit's own
    // covariance drops k and h; their errors at e = 0 come from the full set.
    const std::vector<double> q = smooth_of(best, t0, best_trend, settings.trend);
    const Problem smooth{points, Form::smooth, settings.trend, t0};
    std::vector<double> cov_full = covariance_at(smooth, q);
    for (double& c : cov_full) c *= scale;
    std::vector<double> cov = cov_full;
    std::vector<double> qc;  // the circular parameters P, a, lambda, tau0 [, trend]
    if (!fit.eccentric) {
        qc = {q[0], q[1], q[4], q[5]};
        if (settings.trend) qc.push_back(q[6]);
        cov = covariance_at(circ, qc);
        for (double& c : cov) c *= scale;
    }
    const std::vector<double>& qq = fit.eccentric ? q : qc;
    const std::size_t pp = qq.size();
    auto sigma = [&](std::size_t i) {
        return cov.size() == pp * pp ? std::sqrt(cov[i * pp + i]) : std::numeric_limits<double>::quiet_NaN();
    };
    fit.period_err = sigma(0);
    fit.asini_err = sigma(1);
    fit.tau0_err = sigma(fit.eccentric ? 5 : 3);
    if (fit.eccentric) {
        auto e_of = [](std::span<const double> v) { return std::hypot(v[2], v[3]); };
        auto varpi_of = [](std::span<const double> v) { return std::atan2(v[3], v[2]); };
        auto t_p_of = [&](std::span<const double> v) {
            return t0 - (v[4] - std::atan2(v[3], v[2]) / two_pi) * v[0];
        };
        fit.e_err = propagated_error(e_of, q, cov);
        fit.varpi_err = propagated_error(varpi_of, q, cov, true);
        fit.t_p_err = propagated_error(t_p_of, q, cov);
        fit.orbit.t_p = nearest_epoch(fit.orbit.t_p, fit.orbit.period, t0);
        fit.orbit.varpi -= two_pi * std::floor(fit.orbit.varpi / two_pi);
    } else {
        const std::size_t pf = q.size();
        fit.e_err = cov_full.size() == pf * pf ? std::sqrt(0.5 * (cov_full[2 * pf + 2] + cov_full[3 * pf + 3]))
                                               : std::numeric_limits<double>::quiet_NaN();
        fit.varpi_err = std::numeric_limits<double>::quiet_NaN();
        fit.t_p_err = std::numeric_limits<double>::quiet_NaN();
        fit.orbit.t_p = nearest_epoch(fit.orbit.t_p, fit.orbit.period, t0);
        // tau = a sin(2 pi ((t - t0) / P + lambda)) is largest a quarter orbit on.
        auto t_max_of = [&](std::span<const double> v) { return t0 + (0.25 - v[2]) * v[0]; };
        fit.t_max = nearest_epoch(t_max_of(qc), fit.orbit.period, t0);
        fit.t_max_err = propagated_error(t_max_of, qc, cov);
    }
    auto f_of = [](std::span<const double> v) { return mass_function(v[1], v[0]); };
    fit.mass_function = mass_function(best.asini, best.period);
    fit.mass_function_err = propagated_error(f_of, qq, cov);
    fit.k1 = radial_velocity_amplitude(best.asini, best.period, best.e);
    if (fit.eccentric) {
        auto k_of = [](std::span<const double> v) {
            return radial_velocity_amplitude(v[1], v[0], std::min(std::hypot(v[2], v[3]), 0.9999));
        };
        fit.k1_err = propagated_error(k_of, qq, cov);
    } else {
        auto k_of = [](std::span<const double> v) { return radial_velocity_amplitude(v[1], v[0], 0.0); };
        fit.k1_err = propagated_error(k_of, qq, cov);
    }
    fit.model.resize(n);
    for (std::size_t w = 0; w < n; ++w) fit.model[w] = window_delay(points[w], best, best_trend, t0);
    return fit;
}

}  // namespace tracking
