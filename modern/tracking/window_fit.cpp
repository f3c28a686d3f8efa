#include "tracking/window_fit.hpp"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>

#include <algorithm>
#include <cmath>

#include "numerics/cycles.hpp"

namespace tracking {
namespace {

using numerics::two_pi;

double weight(const WindowData& data, std::size_t k) { return data.weights.empty() ? 1.0 : data.weights[k]; }

// The weighted design matrix, n x p row by row: the baseline's powers of x,
// then sin and cos of each frequency's phase, each row times its weight.
std::vector<double> design(const WindowData& data, std::span<const double> frequencies, std::size_t degree_terms)
{
    const std::size_t n = data.times.size(), p = degree_terms + 2 * frequencies.size();
    std::vector<double> x(n * p);
    std::vector<double> tau(n), arg(n), s(n), c(n);
    for (std::size_t k = 0; k < n; ++k) {
        tau[k] = data.times[k] - data.t_ref;
        const double u = (data.times[k] - data.centre) / data.half_width;
        double power = 1.0;
        for (std::size_t j = 0; j < degree_terms; ++j, power *= u) x[k * p + j] = weight(data, k) * power;
    }
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        for (std::size_t k = 0; k < n; ++k) arg[k] = frequencies[i] * tau[k];
        numerics::sincos_cycles(arg.data(), s.data(), c.data(), n);
        const std::size_t col = degree_terms + 2 * i;
        for (std::size_t k = 0; k < n; ++k) {
            x[k * p + col] = weight(data, k) * s[k];
            x[k * p + col + 1] = weight(data, k) * c[k];
        }
    }
    return x;
}

}  // namespace

std::size_t baseline_terms(Baseline baseline)
{
    switch (baseline) {
    case Baseline::none: return 0;
    case Baseline::offset: return 1;
    case Baseline::linear: return 2;
    case Baseline::quadratic: return 3;
    }
    return 0;
}

WindowFit fit_window(const WindowData& data, std::span<const double> frequencies, Baseline baseline)
{
    WindowFit fit;
    const std::size_t nb = baseline_terms(baseline);
    const std::size_t n = data.times.size(), p = nb + 2 * frequencies.size();
    if (p == 0 || n <= p) {
        fit.singular = true;
        return fit;
    }
    const std::vector<double> x = design(data, frequencies, nb);

    // Columns scaled to unit length: the condition number then measures
    // how nearly dependent the columns are, not their units.
    std::vector<double> scale(p, 0.0);
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t j = 0; j < p; ++j) scale[j] += x[k * p + j] * x[k * p + j];
    for (double& s : scale) {
        if (!(s > 0.0)) {
            fit.singular = true;
            return fit;
        }
        s = std::sqrt(s);
    }
    std::vector<double> qr(x), t(p * p), qtb(n), work(3 * p);
    for (std::size_t k = 0; k < n; ++k) {
        for (std::size_t j = 0; j < p; ++j) qr[k * p + j] /= scale[j];
        qtb[k] = weight(data, k) * data.values[k];
    }
    gsl_matrix_view a = gsl_matrix_view_array(qr.data(), n, p);
    gsl_matrix_view tv = gsl_matrix_view_array(t.data(), p, p);
    gsl_vector_view bv = gsl_vector_view_array(qtb.data(), n);
    gsl_vector_view wv = gsl_vector_view_array(work.data(), p);
    double rcond = 0.0;
    gsl_vector_view w3 = gsl_vector_view_array(work.data(), 3 * p);
    if (gsl_linalg_QR_decomp_r(&a.matrix, &tv.matrix) != GSL_SUCCESS ||
        gsl_linalg_QR_rcond(&a.matrix, &rcond, &w3.vector) != GSL_SUCCESS || !(rcond >= singular_rcond)) {
        fit.singular = true;
        return fit;
    }
    gsl_linalg_QR_QTvec_r(&a.matrix, &tv.matrix, &bv.vector, &wv.vector);

    // R z = (Q^T b)_1..p, then the coefficients are z / scale; the rest of
    // Q^T b is the residual vector in the complement.
    std::vector<double> rinv(p * p, 0.0), z(qtb.begin(), qtb.begin() + static_cast<std::ptrdiff_t>(p));
    for (std::size_t i = 0; i < p; ++i)
        for (std::size_t j = i; j < p; ++j) rinv[i * p + j] = qr[i * p + j];
    cblas_dtrsv(CblasRowMajor, CblasUpper, CblasNoTrans, CblasNonUnit, static_cast<int>(p), rinv.data(),
                static_cast<int>(p), z.data(), 1);
    gsl_matrix_view rv = gsl_matrix_view_array(rinv.data(), p, p);
    gsl_linalg_tri_invert(CblasUpper, CblasNonUnit, &rv.matrix);

    std::vector<double> coef(p);
    for (std::size_t j = 0; j < p; ++j) coef[j] = z[j] / scale[j];
    fit.residuals.resize(n);
    fit.chi2 = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        double m = 0.0;
        for (std::size_t j = 0; j < p; ++j) m += x[k * p + j] * coef[j];
        const double r = weight(data, k) * data.values[k] - m;
        fit.chi2 += r * r;
        fit.residuals[k] = r / weight(data, k);
    }
    fit.dof = n - p;
    fit.variance = fit.chi2 / static_cast<double>(fit.dof);

    // (X^T W X)^-1 = R^-1 R^-T in scaled columns; element (i, j) is the dot
    // product of rows i and j of R^-1 (upper triangular: from max(i, j) on).
    auto cov = [&](std::size_t i, std::size_t j) {
        double sum = 0.0;
        for (std::size_t k = std::max(i, j); k < p; ++k) sum += rinv[i * p + k] * rinv[j * p + k];
        return fit.variance * sum / (scale[i] * scale[j]);
    };
    fit.baseline.assign(coef.begin(), coef.begin() + static_cast<std::ptrdiff_t>(nb));
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        const std::size_t u = nb + 2 * i, v = u + 1;
        TermFit term;
        term.a = coef[u];
        term.b = coef[v];
        const double caa = cov(u, u), cbb = cov(v, v), cab = cov(u, v);
        const double a2 = term.a * term.a, b2 = term.b * term.b, amp2 = a2 + b2;
        term.amplitude = std::sqrt(amp2);
        term.phase = std::atan2(term.b, term.a) / two_pi;
        term.phase -= std::floor(term.phase);
        if (term.phase >= 1.0) term.phase = 0.0;
        if (amp2 > 0.0) {
            term.amplitude_err = std::sqrt(std::max(0.0, (a2 * caa + b2 * cbb + 2.0 * term.a * term.b * cab) / amp2));
            term.phase_err =
                std::sqrt(std::max(0.0, b2 * caa + a2 * cbb - 2.0 * term.a * term.b * cab)) / (two_pi * amp2);
        } else {
            term.amplitude_err = std::sqrt(0.5 * (caa + cbb));
            term.phase_err = 0.5;  // no amplitude: the phase is unknown
        }
        fit.terms.push_back(term);
    }
    return fit;
}

std::vector<double> local_noise(const WindowData& data, const WindowFit& fit, std::span<const double> frequencies,
                                double box, int samples)
{
    const std::size_t n = data.times.size();
    std::vector<double> ratio(frequencies.size(), 1.0);
    if (n == 0 || samples < 1 || fit.residuals.size() != n || !(fit.variance > 0.0)) return ratio;
    const double resolution = 0.5 / data.half_width;  // 1 / W
    std::vector<double> u(n), tau(n), arg(n), s(n), c(n);
    for (std::size_t k = 0; k < n; ++k) {
        u[k] = weight(data, k) * fit.residuals[k];
        tau[k] = data.times[k] - data.centre;
    }
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        double power = 0.0;
        int used = 0;
        for (int q = 0; q < samples; ++q) {
            const double f = frequencies[i] + box * ((q + 0.5) / samples - 0.5);
            // Near a fitted frequency (or zero, the baseline's) the fit has
            // taken the residuals' power away: such samples say nothing.
            bool near = std::fabs(f) < resolution;
            for (double g : frequencies) near = near || std::fabs(f - g) < resolution;
            if (near) continue;
            for (std::size_t k = 0; k < n; ++k) arg[k] = f * tau[k];
            numerics::sincos_cycles(arg.data(), s.data(), c.data(), n);
            double re = 0.0, im = 0.0;
            for (std::size_t k = 0; k < n; ++k) {
                re += u[k] * c[k];
                im += u[k] * s[k];
            }
            power += (re * re + im * im) / static_cast<double>(n);
            ++used;
        }
        if (used > 0) ratio[i] = power / used / fit.variance;
    }
    return ratio;
}

}  // namespace tracking
