#include "extraction/fit.hpp"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_multilarge_nlinear.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "numerics/cycles.hpp"
#include "numerics/parallel.hpp"
#include "solve.hpp"

// GSL reports failures as status values and OpenBLAS runs on the calling
// thread inside our partitions: both set once for the process
// (configure_libraries).

namespace extraction {
namespace {

using numerics::two_pi;

// Rows per block of the Jacobian, and the most partitions the rows are cut
// into (a fixed count, so that sums never depend on the number of threads).
constexpr std::size_t block_rows = 256;
constexpr std::size_t max_partitions = 16;

struct Partitions {
    std::size_t count = 0, blocks = 0, n = 0;
    explicit Partitions(std::size_t rows)
        : count(std::min(max_partitions, (rows + block_rows - 1) / block_rows)),
          blocks((rows + block_rows - 1) / block_rows), n(rows)
    {
    }
    std::size_t first_row(std::size_t j) const { return std::min(n, j * blocks / count * block_rows); }
    std::size_t end_row(std::size_t j) const { return first_row(j + 1); }
};

double weight(const Series& series, std::size_t k) { return series.weights.empty() ? 1.0 : series.weights[k]; }

// The model of one term as the fit sees it: the frequency and the
// coefficients of sin(2 pi f tau) and cos(2 pi f tau).
struct Linear {
    double frequency, a, b;
};

Linear linear(const Sinusoid& term)
{
    const double angle = two_pi * term.phase;
    return {term.frequency, term.amplitude * std::cos(angle), term.amplitude * std::sin(angle)};
}

// Every term as the fit sees it, formed once for all the blocks of rows.
std::vector<Linear> linear_terms(const Model& model)
{
    std::vector<Linear> terms;
    for (const Sinusoid& term : model.terms) terms.push_back(linear(term));
    return terms;
}

// The segments' baselines in one block of rows: added to the model m, and
// their columns (w x^p in the points of their segment, 0 elsewhere) when
// jac is given.
void baseline_rows(const Series& series, const Model& model, const Layout* layout, std::size_t first,
                   std::size_t count, double* m, double* jac)
{
    const BaselineBasis& basis = *series.baseline;
    if (model.baseline.size() == 3 * basis.segments())
        for (std::size_t k = 0; k < count; ++k) m[k] += basis.at(model.baseline, first + k);
    if (!jac) return;
    for (const Layout::BaselineParameter& b : layout->baseline()) {
        double* col = jac + b.index * count;
        for (std::size_t k = 0; k < count; ++k)
            col[k] = basis.of_point[first + k] == b.segment
                         ? weight(series, first + k) * std::pow(basis.x[first + k], b.power)
                         : 0.0;
    }
}

// One block of rows: the residuals (when res is given) and the Jacobian
// columns (when jac is given), from one evaluation of each sine and cosine.
void block(const Series& series, const Model& model, const std::vector<Linear>& terms, const Layout* layout,
           std::size_t first, std::size_t count, double* res, double* jac)
{
    std::array<double, block_rows> arg, s, c, m;
    const double* tau = series.tau.data() + first;
    std::fill_n(m.begin(), count, model.constant);
    if (jac) {
        // The frequency columns are sums over the terms that share them.
        for (std::size_t i = 0; i < terms.size(); ++i)
            if (layout->frequency(i) != Layout::fixed) std::fill_n(jac + layout->frequency(i) * count, count, 0.0);
        for (std::size_t k = 0; k < count; ++k) jac[k] = weight(series, first + k);
    }
    for (std::size_t i = 0; i < terms.size(); ++i) {
        const Linear& term = terms[i];
        for (std::size_t k = 0; k < count; ++k) arg[k] = term.frequency * tau[k];
        numerics::sincos_cycles(arg.data(), s.data(), c.data(), count);
        for (std::size_t k = 0; k < count; ++k) m[k] += term.a * s[k] + term.b * c[k];
        if (!jac) continue;
        double* col_f = layout->frequency(i) == Layout::fixed ? nullptr : jac + layout->frequency(i) * count;
        double* col_a = jac + layout->sine(i) * count;
        double* col_b = jac + layout->cosine(i) * count;
        for (std::size_t k = 0; k < count; ++k) {
            const double w = weight(series, first + k);
            col_a[k] = w * s[k];
            col_b[k] = w * c[k];
        }
        if (col_f) {
            const double n = layout->multiplier(i);
            for (std::size_t k = 0; k < count; ++k)
                col_f[k] += n * weight(series, first + k) * two_pi * tau[k] * (term.a * c[k] - term.b * s[k]);
        }
    }
    if (series.baseline) baseline_rows(series, model, layout, first, count, m.data(), jac);
    if (res)
        for (std::size_t k = 0; k < count; ++k) res[k] = weight(series, first + k) * (m[k] - series.values[first + k]);
}

// The residuals of all rows, each partition writing its own.
void all_residuals(const Series& series, const Model& model, double* out, int threads)
{
    const Partitions parts(series.tau.size());
    numerics::for_each_block(parts.count, threads, [&](std::size_t j) {
        residuals(series, model, parts.first_row(j), parts.end_row(j) - parts.first_row(j), out + parts.first_row(j));
    });
}

// out = J u over all rows.
void jacobian_times(const Series& series, const Model& model, const Layout& layout, const double* u, double* out,
                    int threads)
{
    const Partitions parts(series.tau.size());
    const std::size_t p = layout.size();
    const std::vector<Linear> terms = linear_terms(model);
    numerics::for_each_block(parts.count, threads, [&](std::size_t j) {
        std::vector<double> jac(block_rows * p);
        for (std::size_t k0 = parts.first_row(j); k0 < parts.end_row(j); k0 += block_rows) {
            const std::size_t m = std::min(block_rows, parts.end_row(j) - k0);
            block(series, model, terms, &layout, k0, m, nullptr, jac.data());
            cblas_dgemv(CblasColMajor, CblasNoTrans, static_cast<int>(m), static_cast<int>(p), 1.0, jac.data(),
                        static_cast<int>(m), u, 1, 0.0, out + k0, 1);
        }
    });
}

// What the callbacks of the solver need.
struct Problem {
    const Series& series;
    const Layout& layout;
    Model model;                    // scratch: the model at the solver's x
    int threads = 1;
    std::vector<double> latest_jtj;  // J^T J of the latest Jacobian
    std::vector<double> contiguous;  // u copied when GSL hands a strided vector
};

std::span<const double> view(const gsl_vector* v, std::vector<double>& copy)
{
    if (v->stride == 1) return {v->data, v->size};
    copy.resize(v->size);
    for (std::size_t i = 0; i < v->size; ++i) copy[i] = gsl_vector_get(v, i);
    return copy;
}

int residual_callback(const gsl_vector* x, void* params, gsl_vector* f)
{
    Problem& problem = *static_cast<Problem*>(params);
    try {
        std::vector<double> xcopy;
        problem.layout.unpack(view(x, xcopy), problem.model);
        std::vector<double> out(f->size);
        all_residuals(problem.series, problem.model, out.data(), problem.threads);
        for (std::size_t k = 0; k < out.size(); ++k) {
            if (!std::isfinite(out[k])) return GSL_EDOM;
            gsl_vector_set(f, k, out[k]);
        }
        return GSL_SUCCESS;
    } catch (...) {
        return GSL_EFAILED;
    }
}

int jacobian_callback(CBLAS_TRANSPOSE_t trans, const gsl_vector* x, const gsl_vector* u, void* params, gsl_vector* v,
                      gsl_matrix* jtj)
{
    Problem& problem = *static_cast<Problem*>(params);
    try {
        std::vector<double> xcopy;
        problem.layout.unpack(view(x, xcopy), problem.model);
        const std::size_t p = problem.layout.size();
        const double* uu = u ? view(u, problem.contiguous).data() : nullptr;
        if (jtj || trans == CblasTrans) {
            if (jtj) problem.latest_jtj.assign(p * p, 0.0);
            std::vector<double> jtu(p);
            normal_equations(problem.series, problem.model, problem.layout, uu,
                             jtj ? problem.latest_jtj.data() : nullptr, uu && v ? jtu.data() : nullptr,
                             problem.threads);
            if (jtj)
                for (std::size_t i = 0; i < p; ++i)
                    for (std::size_t j = 0; j < p; ++j) gsl_matrix_set(jtj, i, j, problem.latest_jtj[i * p + j]);
            if (uu && v)
                for (std::size_t i = 0; i < p; ++i) gsl_vector_set(v, i, jtu[i]);
        } else if (uu && v) {
            std::vector<double> ju(v->size);
            jacobian_times(problem.series, problem.model, problem.layout, uu, ju.data(), problem.threads);
            for (std::size_t k = 0; k < ju.size(); ++k) gsl_vector_set(v, k, ju[k]);
        }
        return GSL_SUCCESS;
    } catch (...) {
        return GSL_EFAILED;
    }
}

struct WorkspaceDeleter {
    void operator()(gsl_multilarge_nlinear_workspace* w) const { gsl_multilarge_nlinear_free(w); }
};

}  // namespace

Layout::Layout(std::size_t terms, const std::vector<bool>& free_frequency, std::span<const int> harmonic,
               const BaselineBasis* baseline)
    : frequency_(terms), sine_(terms), harmonic_(terms, 0), owner_(terms, 1)
{
    auto is_free = [&](std::size_t i) { return i >= free_frequency.size() || free_frequency[i]; };
    bool series_free = true;
    for (std::size_t i = 0; i < terms; ++i) {
        harmonic_[i] = i < harmonic.size() ? std::max(harmonic[i], 0) : 0;
        if (harmonic_[i] > 0) series_free = series_free && is_free(i);
    }
    std::size_t series = fixed;  // F's parameter, once placed
    for (std::size_t i = 0; i < terms; ++i) {
        if (harmonic_[i] == 0) {
            frequency_[i] = is_free(i) ? size_++ : fixed;
        } else if (!series_free) {
            frequency_[i] = fixed;
        } else {
            owner_[i] = series == fixed;
            if (series == fixed) series = size_++;
            frequency_[i] = series;
        }
        sine_[i] = size_;
        size_ += 2;
    }
    first_baseline_ = size_;
    if (!baseline) return;
    segments_ = baseline->segments();
    for (std::size_t s = 0; s < segments_; ++s)
        for (int p = baseline->first_power(s); p < baseline->powers[s]; ++p) baseline_.push_back({size_++, s, p});
}

std::vector<int> harmonics(const Model& model)
{
    std::vector<int> n;
    for (const Sinusoid& term : model.terms) n.push_back(term.harmonic);
    return n;
}

void Layout::pack(const Model& model, std::span<double> x) const
{
    x[0] = model.constant;
    for (std::size_t i = 0; i < terms(); ++i) {
        const Linear term = linear(model.terms[i]);
        if (owns_frequency(i)) x[frequency_[i]] = term.frequency / multiplier(i);
        x[sine(i)] = term.a;
        x[cosine(i)] = term.b;
    }
    for (const BaselineParameter& b : baseline_) {
        const std::size_t at = 3 * b.segment + static_cast<std::size_t>(b.power);
        x[b.index] = at < model.baseline.size() ? model.baseline[at] : 0.0;
    }
}

void Layout::unpack(std::span<const double> x, Model& model) const
{
    model.constant = x[0];
    model.terms.resize(terms());
    for (std::size_t i = 0; i < terms(); ++i) {
        Sinusoid& term = model.terms[i];
        if (frequency_[i] != fixed) term.frequency = frequency_at(i, x);
        term.harmonic = harmonic(i);
        term.amplitude = std::hypot(x[sine(i)], x[cosine(i)]);
        term.phase = std::atan2(x[cosine(i)], x[sine(i)]) / two_pi;
        term.phase -= std::floor(term.phase);
        if (term.phase >= 1.0) term.phase = 0.0;
    }
    if (segments_ == 0) return;
    model.baseline.assign(3 * segments_, 0.0);
    for (const BaselineParameter& b : baseline_) model.baseline[3 * b.segment + static_cast<std::size_t>(b.power)] = x[b.index];
}

void residuals(const Series& series, const Model& model, std::size_t first, std::size_t count, double* out)
{
    const std::vector<Linear> terms = linear_terms(model);
    for (std::size_t k0 = 0; k0 < count; k0 += block_rows)
        block(series, model, terms, nullptr, first + k0, std::min(block_rows, count - k0), out + k0, nullptr);
}

void jacobian(const Series& series, const Model& model, const Layout& layout, std::size_t first, std::size_t count,
              double* out)
{
    const std::size_t p = layout.size();
    const std::vector<Linear> terms = linear_terms(model);
    std::vector<double> jac(block_rows * p);
    for (std::size_t k0 = 0; k0 < count; k0 += block_rows) {
        const std::size_t m = std::min(block_rows, count - k0);
        block(series, model, terms, &layout, first + k0, m, nullptr, jac.data());
        for (std::size_t j = 0; j < p; ++j) std::copy_n(jac.data() + j * m, m, out + j * count + k0);
    }
}

void normal_equations(const Series& series, const Model& model, const Layout& layout, const double* u, double* jtj,
                      double* jtu, int threads)
{
    const std::size_t p = layout.size();
    const bool want_jtu = u && jtu;
    const Partitions parts(series.tau.size());
    const std::vector<Linear> terms = linear_terms(model);
    std::vector<std::vector<double>> part_jtj(parts.count), part_jtu(parts.count);
    numerics::for_each_block(parts.count, threads, [&](std::size_t j) {
        std::vector<double> jac(block_rows * p);
        if (jtj) part_jtj[j].assign(p * p, 0.0);
        if (want_jtu) part_jtu[j].assign(p, 0.0);
        const int ip = static_cast<int>(p);
        for (std::size_t k0 = parts.first_row(j); k0 < parts.end_row(j); k0 += block_rows) {
            const std::size_t m = std::min(block_rows, parts.end_row(j) - k0);
            const int im = static_cast<int>(m);
            block(series, model, terms, &layout, k0, m, nullptr, jac.data());
            if (jtj)
                cblas_dsyrk(CblasColMajor, CblasLower, CblasTrans, ip, im, 1.0, jac.data(), im, 1.0,
                            part_jtj[j].data(), ip);
            if (want_jtu)
                cblas_dgemv(CblasColMajor, CblasTrans, im, ip, 1.0, jac.data(), im, u + k0, 1, 1.0,
                            part_jtu[j].data(), 1);
        }
    });
    // Partition sums added in partition order.  The lower triangle (column
    // by column) is mirrored into a full symmetric matrix.
    if (jtj) {
        std::fill_n(jtj, p * p, 0.0);
        for (const std::vector<double>& part : part_jtj)
            for (std::size_t c = 0; c < p; ++c)
                for (std::size_t r = c; r < p; ++r) jtj[c * p + r] += part[c * p + r];
        for (std::size_t c = 0; c < p; ++c)
            for (std::size_t r = c + 1; r < p; ++r) jtj[r * p + c] = jtj[c * p + r];
    }
    if (want_jtu) {
        std::fill_n(jtu, p, 0.0);
        for (const std::vector<double>& part : part_jtu)
            for (std::size_t i = 0; i < p; ++i) jtu[i] += part[i];
    }
}

void normalise(Model& model)
{
    for (Sinusoid& term : model.terms) {
        if (term.amplitude < 0.0) {
            term.amplitude = -term.amplitude;
            term.phase += 0.5;
        }
        term.phase -= std::floor(term.phase);
        if (term.phase >= 1.0) term.phase = 0.0;  // a tiny negative phase rounds up to 1
    }
}

FitOutcome fit(const Series& series, const Model& start, const std::vector<bool>& free_frequency,
               const FitSettings& settings)
{
    FitOutcome outcome;
    outcome.model = start;
    const Layout layout(start.terms.size(), free_frequency, harmonics(start), series.baseline);
    const std::size_t n = series.tau.size(), p = layout.size();
    if (n <= p) return outcome;

    Problem problem{series, layout, start, std::max(settings.threads, 1), {}, {}};
    gsl_multilarge_nlinear_fdf fdf{};
    fdf.f = residual_callback;
    fdf.df = jacobian_callback;
    fdf.fvv = nullptr;
    fdf.n = n;
    fdf.p = p;
    fdf.params = &problem;
    gsl_multilarge_nlinear_parameters params = gsl_multilarge_nlinear_default_parameters();
    params.trs = gsl_multilarge_nlinear_trs_lm;
    params.solver = gsl_multilarge_nlinear_solver_cholesky;
    std::unique_ptr<gsl_multilarge_nlinear_workspace, WorkspaceDeleter> work(
        gsl_multilarge_nlinear_alloc(gsl_multilarge_nlinear_trust, &params, n, p));
    if (!work) return outcome;

    std::vector<double> x0(p);
    layout.pack(start, x0);
    gsl_vector_view x0view = gsl_vector_view_array(x0.data(), p);
    if (gsl_multilarge_nlinear_init(&x0view.vector, &fdf, work.get()) != GSL_SUCCESS) return outcome;

    bool linear = true;
    for (std::size_t i = 0; i < layout.terms(); ++i) linear = linear && layout.frequency(i) == Layout::fixed;
    const double tolerance = linear ? settings.linear_tolerance : settings.step_tolerance;
    outcome.status = FitOutcome::Status::iteration_limit;
    for (int iter = 0; iter < settings.max_iterations; ++iter) {
        const int status = gsl_multilarge_nlinear_iterate(work.get());
        outcome.iterations = iter + 1;
        if (status == GSL_ENOPROG) {
            // No step lowers the sum of squares any more: at the minimum to
            // the precision of the arithmetic.
            outcome.status = FitOutcome::Status::converged;
            break;
        }
        if (status != GSL_SUCCESS) {
            outcome.status = FitOutcome::Status::failed;
            break;
        }
        double chi2 = 0.0;
        gsl_blas_ddot(work->f, work->f, &chi2);
        const double s2 = chi2 / static_cast<double>(n - p);
        if (newton_step(problem.latest_jtj, p, {work->g->data, p}, s2).sigmas <= tolerance) {
            outcome.status = FitOutcome::Status::converged;
            break;
        }
    }
    layout.unpack({work->x->data, p}, outcome.model);
    gsl_blas_ddot(work->f, work->f, &outcome.chi2);
    normalise(outcome.model);
    return outcome;
}

std::vector<double> covariance(const Series& series, const Model& model, int threads)
{
    const Layout layout(model.terms.size(), {}, harmonics(model), series.baseline);
    const std::size_t n = series.tau.size(), p = layout.size();
    if (n <= p) return {};
    std::vector<double> jtj(p * p), res(n);
    normal_equations(series, model, layout, nullptr, jtj.data(), nullptr, threads);
    all_residuals(series, model, res.data(), threads);
    double chi2 = 0.0;
    for (double r : res) chi2 += r * r;
    return covariance_from(jtj, chi2, n, model, series.baseline);
}

std::vector<double> covariance_from(const std::vector<double>& jtj, double chi2, std::size_t n, const Model& model,
                                    const BaselineBasis* baseline)
{
    const Layout fitted(model.terms.size(), {}, harmonics(model), baseline);
    const std::size_t q = fitted.size();
    if (n <= q || jtj.size() != q * q) return {};
    ScaledCholesky chol(jtj, q);
    if (!chol.ok) return {};
    const std::vector<double> inverse = chol.inverse();
    const double s2 = chi2 / static_cast<double>(n - q);
    // In the layout of every term with its own frequency: entry u of that
    // layout is scale[u] times the fit's parameter from[u] (a member's
    // frequency is n F).
    const Layout layout(model.terms.size(), {}, {}, baseline);
    const std::size_t p = layout.size();
    std::vector<std::size_t> from(p);
    std::vector<double> scale(p, 1.0);
    from[0] = 0;
    for (std::size_t i = 0; i < layout.terms(); ++i) {
        from[layout.frequency(i)] = fitted.frequency(i);
        scale[layout.frequency(i)] = fitted.multiplier(i);
        from[layout.sine(i)] = fitted.sine(i);
        from[layout.cosine(i)] = fitted.cosine(i);
    }
    for (std::size_t k = 0; k < layout.baseline().size(); ++k)
        from[layout.baseline()[k].index] = fitted.baseline()[k].index;
    std::vector<double> cov(p * p);
    for (std::size_t u = 0; u < p; ++u)
        for (std::size_t v = 0; v < p; ++v) cov[u * p + v] = s2 * scale[u] * scale[v] * inverse[from[u] * q + from[v]];

    // From (a, b) to (A, phi): rows then columns of each pair replaced by
    // their combinations with the derivatives
    //   dA/da = a / A, dA/db = b / A, dphi/da = -b / (2 pi A^2), dphi/db = a / (2 pi A^2).
    // The layout keeps the pair where amplitude and phase go.
    for (std::size_t i = 0; i < layout.terms(); ++i) {
        const Linear term = linear(model.terms[i]);
        const double amp = std::hypot(term.a, term.b);
        if (!(amp > 0.0)) return {};
        const double g[2][2] = {{term.a / amp, term.b / amp},
                                {-term.b / (two_pi * amp * amp), term.a / (two_pi * amp * amp)}};
        const std::size_t u = layout.sine(i), v = layout.cosine(i);
        for (std::size_t k = 0; k < p; ++k) {  // rows u, v
            const double cu = cov[u * p + k], cv = cov[v * p + k];
            cov[u * p + k] = g[0][0] * cu + g[0][1] * cv;
            cov[v * p + k] = g[1][0] * cu + g[1][1] * cv;
        }
        for (std::size_t k = 0; k < p; ++k) {  // columns u, v
            const double cu = cov[k * p + u], cv = cov[k * p + v];
            cov[k * p + u] = g[0][0] * cu + g[0][1] * cv;
            cov[k * p + v] = g[1][0] * cu + g[1][1] * cv;
        }
    }
    return cov;
}

}  // namespace extraction
