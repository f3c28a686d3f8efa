#include "nufft.hpp"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>
#include <numbers>

#include "numerics/large_memory.hpp"
#include "numerics/parallel.hpp"
#include "numerics/sizes.hpp"
#include "scargle.hpp"
#include "wide/wide_kernels.hpp"

namespace spectrum::detail {

using numerics::sincos_cycles;

namespace {

// Fine cells spread by one task; at least the widest kernel.
constexpr std::size_t cells_per_block = 2048;
// Grid frequencies per task in the deconvolution and the final amplitudes.
constexpr std::size_t modes_per_block = 4096;
// Gauss-Legendre nodes on [0, h] for the kernel's transform: one and a
// half per kernel point and these more (more nodes change no amplitude
// by more than 1e-15 of the highest).
constexpr int extra_nodes = 4;

// FFTW's planner is not thread-safe: plans are made and destroyed under
// this lock (this library is the suite's only user of FFTW), always on the
// calling thread, before any worker thread of a transform starts.
std::mutex& fftw_planner_lock()
{
    static std::mutex lock;
    return lock;
}

// next_smooth: the smallest multiple of 8 of the form 2^a 3^b 5^c at
// least n (FFTW is fastest on such lengths; the half of a multiple of 8
// starts 64 bytes into its grid, as aligned as the grid itself).
std::size_t next_smooth(std::size_t n)
{
    for (std::size_t m = (std::max<std::size_t>(n, 8) + 7) / 8 * 8;; m += 8) {
        std::size_t r = m;
        for (std::size_t p : {2, 3, 5})
            while (r % p == 0) r /= p;
        if (r == 1) return m;
    }
}

// Kernel shape: beta = 2.30 width at an upsampling factor of 2 (Barnett,
// Magland & af Klinteberg 2019, SIAM J. Sci. Comput. 41, C479, sect. 4);
// at 1.5, beta = 0.97 pi (1 - 1 / (2 sigma)) width (their choice for other
// factors), the smallest error measured within 0.07 of it.
double beta_per_point(double upsampling)
{
    return upsampling == 2.0 ? 2.30 : 0.97 * std::numbers::pi * (1.0 - 0.5 / upsampling);
}

// The cells of the fine grid: at least upsampling times the frequencies
// and two kernels, of a length FFTW is fastest on.
std::size_t fine_cells(std::size_t count, int width, double upsampling)
{
    const auto least = static_cast<std::size_t>(std::ceil(upsampling * static_cast<double>(count)));
    return next_smooth(std::max(least, 2 * static_cast<std::size_t>(width)));
}

// A quadrature rule on an interval.
struct Quadrature {
    std::vector<double> nodes;
    std::vector<double> weights;
};

// gauss_legendre: the q-point Gauss-Legendre rule on [0, length].
//   Notes: 1. Nodes by Newton's method on the Legendre polynomial from the
//             usual cosine estimates; weights 2 / ((1 - x^2) P'(x)^2).
Quadrature gauss_legendre(int q, double length)
{
    Quadrature rule;
    for (int i = 0; i < q; ++i) {
        double x = std::cos(std::numbers::pi * (i + 0.75) / (q + 0.5));
        double derivative = 1.0;
        for (int iteration = 0; iteration < 100; ++iteration) {
            double p0 = 1.0, p1 = x;
            for (int k = 2; k <= q; ++k) {
                double p2 = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            derivative = q * (x * p1 - p0) / (x * x - 1.0);
            double dx = p1 / derivative;
            x -= dx;
            if (std::fabs(dx) < 1e-16) break;
        }
        rule.nodes.push_back(length * (1.0 + x) / 2.0);
        rule.weights.push_back(length / ((1.0 - x * x) * derivative * derivative));
    }
    return rule;
}

// kernel_transform_block: the kernel's Fourier transform at fine
// frequencies m0 .. m0 + count - 1 of an n-cell grid.
//   Given:    coefficient  2 w_i phi(z_i) at each node
//             cycles       z_i / n at each node
//   Returned: ft           phihat(m) = 2 int_0^h phi(z) cos(2 pi m z / n) dz
//   Notes: 1. m z_i / n is at most h / 4 cycles, so its rounding is of the
//             order of 1e-16 cycles; nodes outer, frequencies inner.
SUITE_KERNEL_BODY void kernel_transform_block(const std::vector<double>& coefficient,
                                              const std::vector<double>& cycles, std::size_t m0, std::size_t count,
                                              double* ft)
{
    for (std::size_t d = 0; d < count; ++d) ft[d] = 0.0;
    double first = static_cast<double>(m0);
    for (std::size_t i = 0; i < coefficient.size(); ++i) {
        double c = coefficient[i], g = cycles[i];
        for (std::size_t d = 0; d < count; ++d) {
            double m = first + static_cast<double>(d);
            ft[d] += c * sincos_cycles(m * g).cos;
        }
    }
}

// The kernel's Fourier transform at fine frequencies 0 .. count - 1.
numerics::LargeVector<double> kernel_transform(const Kernel& kernel, std::size_t fine, std::size_t count, int threads)
{
    Quadrature rule = gauss_legendre(kernel.width + kernel.width / 2 + extra_nodes, kernel.half_width);
    std::vector<double> coefficient, cycles;
    for (std::size_t i = 0; i < rule.nodes.size(); ++i) {
        coefficient.push_back(2.0 * rule.weights[i] * kernel_value(kernel, rule.nodes[i]));
        cycles.push_back(rule.nodes[i] / static_cast<double>(fine));
    }
    numerics::LargeVector<double> ft(count);
    std::size_t blocks = (count + modes_per_block - 1) / modes_per_block;
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        std::size_t m0 = b * modes_per_block;
        suite::widest_form<kernel_transform_block>(coefficient, cycles, m0, std::min(modes_per_block, count - m0),
                                                   ft.data() + m0);
    });
    return ft;
}

// Where a point falls: the first fine cell its kernel touches (modulo n)
// and that cell's distance from the point, in [-h, 1 - h).
struct Placement {
    std::uint32_t cell = 0;
    double offset = 0.0;
};

// place: the placement of a point at hi + lo cycles on an n-cell grid.
//   Notes: 1. n (hi + lo) is formed as an exact product plus the small
//             rest, and split into whole cells and a fraction before
//             anything is added: at a million cells a rounded position
//             would err by 1e-10 cells, a phase error of 1e-9 at the ends
//             of the grid.  The wrap-around is taken on the whole cells, in
//             integers.
inline Placement place(double hi, double lo, std::size_t n, const Kernel& kernel)
{
    double cells = static_cast<double>(n);
    numerics::Split p = numerics::product(cells, hi);
    double whole = std::floor(p.hi);
    double frac = (p.hi - whole) + (p.lo + cells * lo);
    if (frac < 0.0) {
        frac += 1.0;
        whole -= 1.0;
    } else if (frac >= 1.0) {
        frac -= 1.0;
        whole += 1.0;
    }
    double first = std::ceil(frac - kernel.half_width);
    auto size = static_cast<long long>(n);
    long long cell = (static_cast<long long>(whole) + static_cast<long long>(first)) % size;
    if (cell < 0) cell += size;
    return {static_cast<std::uint32_t>(cell), first - frac};
}

// place_all: the placement of every point at scale * (hi + lo) cycles.
SUITE_KERNEL_BODY void place_all(std::span<const double> hi, std::span<const double> lo, double scale, std::size_t n,
                                 const Kernel& kernel, numerics::LargeVector<Placement>& placement)
{
    for (std::size_t k = 0; k < hi.size(); ++k) placement[k] = place(scale * hi[k], scale * lo[k], n, kernel);
}

// kernel_row: phi at offset, offset + 1, ..., offset + width - 1, and zero
// in the lanes beyond: a fixed count, for the vector units.
inline void kernel_row(const Kernel& kernel, double offset, double* row)
{
    for (int q = 0; q < widest_kernel; ++q) row[q] = kernel.mask[q] * kernel_value(kernel, offset + kernel.lane[q]);
}

// rows_block: the kernel rows of points p0 .. p1 - 1, `width` values each.
SUITE_KERNEL_BODY void rows_block(const Kernel& kernel, const double* offset, std::size_t p0, std::size_t p1,
                                  double* rows)
{
    const auto width = static_cast<std::size_t>(kernel.width);
    double row[widest_kernel];
    for (std::size_t p = p0; p < p1; ++p) {
        kernel_row(kernel, offset[p], row);
        for (std::size_t q = 0; q < width; ++q) rows[p * width + q] = row[q];
    }
}

// filled_blocks: the blocks of cells_per_block fine cells of the extended
// grid (n + width cells) that points' kernels reach: those of a bucket of
// the layout that has points and of the bucket after it, the first (the
// kernels past the last cell wrap around to it) and the last ones (past
// the n-th cell).  The others stay zero and are neither cleared nor read.
std::vector<char> filled_blocks(const FinePlan& plan, const Layout& layout)
{
    const std::size_t width = static_cast<std::size_t>(plan.kernel.width);
    const std::size_t blocks = (plan.fine + width + cells_per_block - 1) / cells_per_block;
    std::vector<char> filled(blocks, 0);
    const std::size_t buckets = layout.bucket_start.size() - 1;
    for (std::size_t b = 0; b < buckets; ++b)
        if (layout.bucket_start[b + 1] > layout.bucket_start[b]) {
            filled[b] = 1;
            if (b + 1 < blocks) filled[b + 1] = 1;
        }
    filled[0] = 1;
    for (std::size_t b = plan.fine / cells_per_block; b < blocks; ++b) filled[b] = 1;
    return filled;
}

// spread_block: the weights' kernels summed into fine cells
// [b B, (b + 1) B) of the extended grid (n + width cells), B cells_per_block.
//   Notes: 1. The block's cells receive the points of the previous bucket
//             whose kernels reach into it, then the points of its own
//             bucket, each in the series' order: every cell sums its
//             points in one fixed order whatever thread does the block.
SUITE_KERNEL_BODY void spread_block(const FinePlan& plan, const Layout& layout,
                                    std::span<const std::complex<double>> weights, std::size_t b, double* grid)
{
    std::size_t width = static_cast<std::size_t>(plan.kernel.width);
    std::size_t b0 = b * cells_per_block;
    std::size_t b1 = std::min(b0 + cells_per_block, plan.fine + width);
    std::fill(grid + 2 * b0, grid + 2 * b1, 0.0);
    std::size_t buckets = layout.bucket_start.size() - 1;
    std::size_t first_bucket = b > 0 ? b - 1 : 0;
    std::size_t last_bucket = std::min(b + 1, buckets);
    if (first_bucket >= last_bucket) return;
    double computed[widest_kernel];
    const bool kept = !layout.rows.empty();
    for (std::size_t p = layout.bucket_start[first_bucket]; p < layout.bucket_start[last_bucket]; ++p) {
        std::size_t c0 = layout.first_cell[p];
        if (c0 + width <= b0) continue;
        const double* row = computed;
        if (kept)
            row = layout.rows.data() + p * width;
        else
            kernel_row(plan.kernel, layout.first_offset[p], computed);
        std::size_t q0 = b0 > c0 ? b0 - c0 : 0;
        std::size_t q1 = std::min(width, b1 - c0);
        double wr = weights[p].real(), wi = weights[p].imag();
        double* cell = grid + 2 * c0;
        for (std::size_t q = q0; q < q1; ++q) {
            cell[2 * q] += wr * row[q];
            cell[2 * q + 1] += wi * row[q];
        }
    }
}

// fold_cells: cells c0 .. c1 - 1 of fold block f (cells f B .. (f + 1) B - 1
// of the low half), (x_c, x_(c+H)) into (x_c + x_(c+H), (x_c - x_(c+H))
// exp(-2 pi i c / n)); a half not `filled` there is read as zero.
//   Notes: 1. exp(2 pi i c / n) is the product of the plan's two tables,
//             at the block's first cell and at the offset within the
//             block: one complex product per cell instead of a sine and
//             a cosine, within a few units of the last place of them.
void fold_cells(const FinePlan& plan, std::size_t f, std::size_t c0, std::size_t c1, bool low_filled,
                bool high_filled, double* grid)
{
    double* low = grid;
    double* high = grid + 2 * plan.half;
    if (!low_filled && !high_filled) {
        std::fill(low + 2 * c0, low + 2 * c1, 0.0);
        std::fill(high + 2 * c0, high + 2 * c1, 0.0);
        return;
    }
    const numerics::SinCos base = plan.fold_blocks[f];
    const numerics::SinCos* within = plan.fold_within.data();
    const std::size_t first = f * cells_per_block;
    for (std::size_t c = c0; c < c1; ++c) {
        double ar = low_filled ? low[2 * c] : 0.0, ai = low_filled ? low[2 * c + 1] : 0.0;
        double br = high_filled ? high[2 * c] : 0.0, bi = high_filled ? high[2 * c + 1] : 0.0;
        const numerics::SinCos w = within[c - first];
        const double cosine = base.cos * w.cos - base.sin * w.sin;
        const double sine = base.sin * w.cos + base.cos * w.sin;
        double dr = ar - br, di = ai - bi;
        low[2 * c] = ar + br;
        low[2 * c + 1] = ai + bi;
        high[2 * c] = dr * cosine + di * sine;
        high[2 * c + 1] = di * cosine - dr * sine;
    }
}

// fold_block: fold block f, its high half's cells split where they cross
// from one block of the extended grid into the next.
void fold_block(const FinePlan& plan, std::size_t f, const std::vector<char>& filled, double* grid)
{
    const std::size_t c0 = f * cells_per_block, c1 = std::min(plan.half, c0 + cells_per_block);
    const bool low_filled = filled[f] != 0;
    const std::size_t high_block = (c0 + plan.half) / cells_per_block;
    const std::size_t split = std::clamp((high_block + 1) * cells_per_block - plan.half, c0, c1);
    fold_cells(plan, f, c0, split, low_filled, filled[high_block] != 0, grid);
    if (split < c1) fold_cells(plan, f, split, c1, low_filled, filled[high_block + 1] != 0, grid);
}

// fold_twiddles: exp(2 pi i c / n) at c = 0, 1, ..., count - 1 times `stride`.
std::vector<numerics::SinCos> fold_twiddles(std::size_t fine, std::size_t stride, std::size_t count)
{
    std::vector<numerics::SinCos> table(count);
    const double n = static_cast<double>(fine);
    for (std::size_t i = 0; i < count; ++i) table[i] = sincos_cycles(static_cast<double>(i * stride) / n);
    return table;
}

}  // namespace

Kernel kernel_of_width(int width, double upsampling)
{
    Kernel kernel{width, beta_per_point(upsampling) * width, width / 2.0};
    for (int q = 0; q < widest_kernel; ++q) {
        kernel.lane[q] = q < width ? q : 0.0;
        kernel.mask[q] = q < width ? 1.0 : 0.0;
    }
    return kernel;
}

FinePlan::FinePlan(std::size_t count, int width, int threads, double upsampling)
    : kernel(kernel_of_width(width, upsampling)), modes(count), centre(count / 2),
      fine(fine_cells(count, width, upsampling)), half(fine / 2)
{
    kernel_ft = kernel_transform(kernel, fine, centre + 1, threads);
    fold_within = fold_twiddles(fine, 1, cells_per_block);
    fold_blocks = fold_twiddles(fine, cells_per_block, (half + cells_per_block - 1) / cells_per_block);
    std::lock_guard lock(fftw_planner_lock());
    FineGrid scratch(fine + static_cast<std::size_t>(width));
    auto* cells = reinterpret_cast<fftw_complex*>(scratch.data());
    fft = fftw_plan_dft_1d(static_cast<int>(half), cells, cells, FFTW_FORWARD, FFTW_ESTIMATE);
    if (!fft) throw std::bad_alloc();
}

FinePlan::~FinePlan()
{
    if (!fft) return;
    std::lock_guard lock(fftw_planner_lock());
    fftw_destroy_plan(fft);
}

FineGrid::FineGrid(std::size_t cells)
{
    data_ = static_cast<double*>(numerics::allocate_large(numerics::multiply_sizes(2 * cells, sizeof(double))));
}

FineGrid::~FineGrid() { numerics::free_large(data_); }

Layout make_layout(const FinePlan& plan, std::span<const double> hi, std::span<const double> lo, double scale)
{
    std::size_t n = hi.size();
    std::size_t buckets = (plan.fine + cells_per_block - 1) / cells_per_block;
    numerics::LargeVector<Placement> placement(n);
    Layout layout;
    layout.bucket_start.assign(buckets + 1, 0);
    suite::widest_form<place_all>(hi, lo, scale, plan.fine, plan.kernel, placement);
    for (std::size_t k = 0; k < n; ++k) ++layout.bucket_start[placement[k].cell / cells_per_block + 1];
    for (std::size_t b = 0; b < buckets; ++b) layout.bucket_start[b + 1] += layout.bucket_start[b];
    std::vector<std::size_t> next(layout.bucket_start.begin(), layout.bucket_start.end() - 1);
    layout.order.resize(n);
    layout.first_cell.resize(n);
    layout.first_offset.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = next[placement[k].cell / cells_per_block]++;
        layout.order[p] = k;
        layout.first_cell[p] = placement[k].cell;
        layout.first_offset[p] = placement[k].offset;
    }
    return layout;
}

numerics::LargeVector<double> kernel_rows(const FinePlan& plan, const Layout& layout, int threads)
{
    const std::size_t n = layout.order.size();
    numerics::LargeVector<double> rows(numerics::multiply_sizes(n, static_cast<std::size_t>(plan.kernel.width)));
    const std::size_t blocks = (n + cells_per_block - 1) / cells_per_block;
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        const std::size_t p0 = b * cells_per_block, p1 = std::min(n, p0 + cells_per_block);
        suite::widest_form<rows_block>(plan.kernel, layout.first_offset.data(), p0, p1, rows.data());
    });
    return rows;
}

void transform(const FinePlan& plan, const Layout& layout, std::span<const std::complex<double>> weights,
               int threads, FineGrid& fine)
{
    std::size_t width = static_cast<std::size_t>(plan.kernel.width);
    std::size_t blocks = (plan.fine + width + cells_per_block - 1) / cells_per_block;
    double* grid = fine.data();
    const std::vector<char> filled = filled_blocks(plan, layout);
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        if (filled[b]) suite::widest_form<spread_block>(plan, layout, weights, b, grid);
    });
    // The kernels that ran past the last cell wrap around to the first.
    for (std::size_t q = 0; q < 2 * width; ++q) grid[q] += grid[2 * plan.fine + q];
    std::size_t fold_blocks = (plan.half + cells_per_block - 1) / cells_per_block;
    numerics::for_each_block(fold_blocks, threads, [&](std::size_t f) { fold_block(plan, f, filled, grid); });
    numerics::for_each_block(2, threads, [&](std::size_t h) {
        auto* cells = reinterpret_cast<fftw_complex*>(grid + 2 * h * plan.half);
        fftw_execute_dft(plan.fft, cells, cells);
    });
}

namespace {

// The unit weights' sums W at twice each grid frequency, by the transform
// of exp(-2 pi i 2 f_J t_k) at positions 2 u_k, into the given fine grid
// (read with mode_sum).
void transform_unit_weights(const FinePlan& fine, const PointPhases& phases, const std::vector<double>& centre_cycles,
                            int threads, FineGrid& grid)
{
    Layout doubled = make_layout(fine, phases.advance_hi, phases.advance_lo, 2.0);
    std::vector<std::complex<double>> weights(phases.size());
    for (std::size_t p = 0; p < weights.size(); ++p) {
        numerics::SinCos e = sincos_cycles(2.0 * centre_cycles[doubled.order[p]]);
        weights[p] = {e.cos, -e.sin};
    }
    transform(fine, doubled, weights, threads, grid);
}

Sums sums_at(std::complex<double> z, std::complex<double> w) { return {z.real(), z.imag(), w.real(), w.imag()}; }

// amplitudes_of: the amplitudes of consecutive modes from their fine cells
// (cells c0, c0 + 1, ..., alternately in the two halves of the grid) and
// their factors: amplitude_from_sums with the divisions by the kernel's
// transform and by n +- |W| made once in the plan, in a loop over pairs of
// cells (one from each half) that the compiler vectorises.
inline double amplitude_of(const NufftPlan::ModeFactors& f, double re, double im, double inverse_n)
{
    double a = f.cx * re + f.cy * im;
    double b = f.cx * im - f.cy * re;
    return 2.0 * std::sqrt((a * a * f.plus + b * b * f.minus) * inverse_n);
}

SUITE_KERNEL_BODY void amplitudes_of(const FinePlan& plan, const double* grid, std::size_t c0,
                                     const NufftPlan::ModeFactors* factors, double n, std::size_t count, double* out)
{
    double inverse_n = 1.0 / n;
    std::size_t first = (c0 & 1) && count > 0 ? 1 : 0;
    if (first) {
        std::size_t cell = cell_position(plan, c0);
        out[0] = amplitude_of(factors[0], grid[2 * cell], grid[2 * cell + 1], inverse_n);
    }
    const double* low = grid + 2 * ((c0 + first) >> 1);
    const double* high = low + 2 * plan.half;
    std::size_t pairs = (count - first) / 2;
    for (std::size_t q = 0; q < pairs; ++q) {
        std::size_t even = first + 2 * q, odd = even + 1;
        out[even] = amplitude_of(factors[even], low[2 * q], low[2 * q + 1], inverse_n);
        out[odd] = amplitude_of(factors[odd], high[2 * q], high[2 * q + 1], inverse_n);
    }
    if (first + 2 * pairs < count) {
        std::size_t last = count - 1, cell = cell_position(plan, c0 + last);
        out[last] = amplitude_of(factors[last], grid[2 * cell], grid[2 * cell + 1], inverse_n);
    }
}

}  // namespace

NufftPlan::NufftPlan(const Grid& grid, const PointPhases& phases, Spreading spreading, int threads)
    : fine(grid.count, spreading.width, threads, spreading.upsampling),
      layout(make_layout(fine, phases.advance_hi, phases.advance_lo, 1.0))
{
    layout.rows = kernel_rows(fine, layout, threads);
    std::size_t n = phases.size();
    std::vector<double> centre_cycles(n);
    grid_phases(phases, static_cast<double>(fine.centre), centre_cycles);
    centre_phase.resize(n);
    for (std::size_t p = 0; p < n; ++p) {
        numerics::SinCos e = sincos_cycles(centre_cycles[layout.order[p]]);
        centre_phase[p] = {e.cos, -e.sin};
    }
    std::unique_ptr<Workspace> work = take_workspace();
    transform_unit_weights(fine, phases, centre_cycles, threads, work->grid);
    // The factors of each frequency, and the frequencies to sum directly,
    // block by block (the list in the order of the grid).
    double count = static_cast<double>(n);
    factors.resize(grid.count);
    std::size_t blocks = (grid.count + modes_per_block - 1) / modes_per_block;
    std::vector<std::vector<std::size_t>> direct_of(blocks);
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        std::size_t j1 = std::min(grid.count, (b + 1) * modes_per_block);
        for (std::size_t j = b * modes_per_block; j < j1; ++j) {
            std::complex<double> w = mode_sum(fine, work->grid, j);
            UnitTerms u = unit_terms(w.real(), w.imag());
            double d = fine.kernel_ft[j < fine.centre ? fine.centre - j : j - fine.centre];
            factors[j] = {u.ux / d, u.uy / d, 1.0 / (count + u.r), 1.0 / (count - u.r)};
            if (is_zero_frequency(grid, j) || needs_direct(sums_at({}, w), count)) direct_of[b].push_back(j);
        }
    });
    give_back(std::move(work));
    for (const std::vector<std::size_t>& d : direct_of) direct.insert(direct.end(), d.begin(), d.end());
}

void nufft_spectrum(const Grid& grid, const PointPhases& phases, const NufftPlan& plan, std::span<const double> values,
                    double mean, int threads, std::vector<double>& amplitude)
{
    std::size_t n = phases.size();
    std::unique_ptr<NufftPlan::Workspace> work = plan.take_workspace();
    std::vector<double>& centred = work->centred;
    std::vector<std::complex<double>>& weights = work->weights;
    centred.resize(n);
    weights.resize(n);
    for (std::size_t k = 0; k < n; ++k) centred[k] = values[k] - mean;
    for (std::size_t p = 0; p < n; ++p) weights[p] = centred[plan.layout.order[p]] * plan.centre_phase[p];
    const FineGrid& fine = work->grid;
    transform(plan.fine, plan.layout, weights, threads, work->grid);

    amplitude.resize(grid.count);
    double count = static_cast<double>(n);
    std::size_t blocks = (grid.count + modes_per_block - 1) / modes_per_block;
    numerics::for_each_block(blocks, threads, [&](std::size_t b) {
        std::size_t j0 = b * modes_per_block, j1 = std::min(grid.count, (b + 1) * modes_per_block);
        // Modes below the centre sit at the end of the fine grid, the
        // others from its start; the frequencies computed directly are
        // written over afterwards.
        std::size_t below = std::min(j1, std::max(j0, plan.fine.centre));
        if (j0 < below)
            suite::widest_form<amplitudes_of>(plan.fine, fine.data(), plan.fine.fine - plan.fine.centre + j0, plan.factors.data() + j0,
                          count, below - j0, amplitude.data() + j0);
        if (below < j1)
            suite::widest_form<amplitudes_of>(plan.fine, fine.data(), below - plan.fine.centre, plan.factors.data() + below, count,
                          j1 - below, amplitude.data() + below);
    });
    numerics::for_each_block(plan.direct.size(), threads, [&](std::size_t i) {
        std::size_t j = plan.direct[i];
        amplitude[j] = is_zero_frequency(grid, j) ? std::numeric_limits<double>::quiet_NaN()
                                                  : direct_amplitude(phases, centred, j);
    });
    plan.give_back(std::move(work));
}

std::unique_ptr<NufftPlan::Workspace> NufftPlan::take_workspace() const
{
    {
        std::lock_guard lock(spare_lock_);
        if (spare_) return std::move(spare_);
    }
    return std::make_unique<Workspace>(fine.fine + static_cast<std::size_t>(fine.kernel.width));
}

void NufftPlan::give_back(std::unique_ptr<Workspace> workspace) const
{
    std::lock_guard lock(spare_lock_);
    if (!spare_) spare_ = std::move(workspace);
}

std::size_t nufft_bytes(std::size_t n, std::size_t modes, Spreading spreading)
{
    using numerics::add_sizes;
    using numerics::multiply_sizes;
    using numerics::sum_sizes;
    const auto w = static_cast<std::size_t>(spreading.width);
    std::size_t fine = fine_cells(modes, spreading.width, spreading.upsampling);
    std::size_t fine_grid = multiply_sizes(add_sizes(fine, w), 2 * sizeof(double));
    std::size_t layout = multiply_sizes(n, sizeof(std::size_t) + sizeof(std::uint32_t) + sizeof(double));
    std::size_t rows = multiply_sizes(multiply_sizes(n, w), sizeof(double));  // the value layout's kernel rows
    std::size_t complex_per_point = multiply_sizes(n, sizeof(std::complex<double>));
    // The layout and the centre phases; W and the kernel's transform.
    std::size_t kept = sum_sizes({layout, rows, complex_per_point,
                                  multiply_sizes(modes, sizeof(NufftPlan::ModeFactors) + sizeof(double) / 2)});
    std::size_t building = sum_sizes({layout, complex_per_point, fine_grid});  // the doubled layout's transform
    std::size_t spectrum = sum_sizes({complex_per_point, fine_grid, multiply_sizes(modes, sizeof(double))});
    // FFTW's tables for the plan: at most one complex number per cell.
    std::size_t fftw_tables = multiply_sizes(fine, sizeof(std::complex<double>));
    return sum_sizes({kept, fftw_tables, std::max(building, spectrum)});
}

}  // namespace spectrum::detail
