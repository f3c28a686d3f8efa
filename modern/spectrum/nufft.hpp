// The amplitude spectrum by two non-uniform FFTs of type 1 (the sums
// Z = sum x exp(-2 pi i f t) at every grid frequency, and the sums of unit
// weights at twice each frequency), written on FFTW: spreading with the
// "exponential of semicircle" kernel, an oversampled FFT and division by
// the kernel's Fourier transform (Barnett, Magland & af Klinteberg 2019,
// SIAM J. Sci. Comput. 41, C479).
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "exponential.hpp"
#include "numerics/large_memory.hpp"
#include "phases.hpp"
#include "scargle.hpp"
#include "spectrum/spectrum.hpp"

struct fftw_plan_s;

namespace spectrum::detail {

// The spreading kernel phi(z) = exp(beta (sqrt(1 - (z / h)^2) - 1)) for
// |z| <= h = width / 2 fine cells, zero beyond.
inline constexpr int widest_kernel = 16;

struct Kernel {
    int width = 0;
    double beta = 0.0;
    double half_width = 0.0;
    // A row of widest_kernel lanes: lane q is the cell at offset + lane[q],
    // kept when mask[q] is 1.  Lanes past the width repeat the first cell
    // and are masked, so that a row has no comparisons.
    double lane[widest_kernel] = {};
    double mask[widest_kernel] = {};
};

// kernel_of_width: the kernel of `width` points for a fine grid of
// `upsampling` cells per frequency (2 or 1.5).
Kernel kernel_of_width(int width, double upsampling = 2.0);

// kernel_value: phi at z fine cells from the point, |z| <= h.
//   Notes: 1. The one definition of the kernel, for the spreading and for
//             its Fourier transform alike; vectorised with the loops that
//             call it.
//          2. z / h is correctly rounded, so |z| <= h gives |z / h| <= 1 and
//             a square root of a number not below zero.
inline double kernel_value(const Kernel& kernel, double z)
{
    double a = z / kernel.half_width;
    double root = std::sqrt(1.0 - a * a);
    return exponential(kernel.beta * (root - 1.0));
}

// The fixed part of a transform of `count` frequencies: the fine grid, the
// kernel and its Fourier transform, and the FFTW plan (FFTW_ESTIMATE, so
// that the plan, the results and the time are the same on every run).
//
// The FFT of the n = 2 H cells is made as two FFTs of H cells: the even
// frequencies are the transform of x_c + x_(c+H), the odd ones that of
// (x_c - x_(c+H)) exp(-2 pi i c / n), c < H.  The two are independent, so
// two threads share the work, and each is always made by the same plan:
// the sums do not depend on the number of threads.  Cell (frequency) m of
// the n-cell transform is then at position m / 2 for even m and H +
// (m - 1) / 2 for odd m (cell_position).
class FinePlan {
public:
    FinePlan(std::size_t count, int width, int threads, double upsampling = 2.0);
    ~FinePlan();
    FinePlan(const FinePlan&) = delete;
    FinePlan& operator=(const FinePlan&) = delete;

    Kernel kernel;
    std::size_t modes = 0;   // M grid frequencies, j = 0 .. M - 1
    std::size_t centre = 0;  // J: mode j is fine frequency m = j - J
    std::size_t fine = 0;    // n cells of the fine grid, at least upsampling times M, a multiple of 8
    std::size_t half = 0;    // H = n / 2
    // The kernel's Fourier transform at fine frequency |m|.
    numerics::LargeVector<double> kernel_ft;
    // exp(2 pi i c / n) of the fold: at the first cell of each block of
    // cells, and at each offset within a block.
    std::vector<numerics::SinCos> fold_blocks, fold_within;
    fftw_plan_s* fft = nullptr;  // in place, H cells, forward
};

// The points sorted into fixed blocks of fine cells (a counting sort on the
// first cell of each point's kernel, stable in the points' order).
struct Layout {
    std::vector<std::size_t> bucket_start;        // first point of each block, and the end
    numerics::LargeVector<std::size_t> order;     // the point's index in the series
    numerics::LargeVector<std::uint32_t> first_cell;  // first cell its kernel touches, in [0, n)
    numerics::LargeVector<double> first_offset;   // that cell minus the point's position
    // The kernel at the cells each point touches, `width` per point in this
    // order, when kept (kernel_rows); else empty, and the spreading
    // evaluates them.
    numerics::LargeVector<double> rows;
};

// kernel_rows: the kernel's values at the cells each point of the layout
// touches, the same bits the spreading would evaluate, for a layout that
// is spread many times.
numerics::LargeVector<double> kernel_rows(const FinePlan& plan, const Layout& layout, int threads);

// make_layout: where each point falls on the fine grid.
//   Given:    plan            the fine grid
//             hi, lo          each point's position in cycles (hi + lo),
//                             times `scale` (1 or 2: exact doubling)
//   Returned: the layout
Layout make_layout(const FinePlan& plan, std::span<const double> hi, std::span<const double> lo, double scale);

// The fine grid of one transform after the FFT, owned (fftw_malloc'd).
class FineGrid {
public:
    explicit FineGrid(std::size_t cells);
    ~FineGrid();
    FineGrid(const FineGrid&) = delete;
    FineGrid& operator=(const FineGrid&) = delete;

    double* data() const { return data_; }  // re, im of each cell

private:
    double* data_ = nullptr;
};

// transform: sum_k weights_k exp(-2 pi i (j - J) u_k) for every mode j,
// left in the fine grid (read with mode_sum).
//   Given:    plan, layout   the fine grid and the points on it
//             weights        complex weights in layout order
//             threads        threads to use
//   Returned: fine           the transformed fine grid
void transform(const FinePlan& plan, const Layout& layout, std::span<const std::complex<double>> weights,
               int threads, FineGrid& fine);

// cell_position: where frequency cell m of the n-cell transform lies in
// the fine grid after the two half transforms.
inline std::size_t cell_position(const FinePlan& plan, std::size_t m) { return (m >> 1) + (m & 1) * plan.half; }

// mode_sum: the sum of mode j, deconvolved by the kernel's transform.
inline std::complex<double> mode_sum(const FinePlan& plan, const FineGrid& fine, std::size_t j)
{
    bool below = j < plan.centre;
    std::size_t m = below ? plan.centre - j : j - plan.centre;
    std::size_t cell = cell_position(plan, below ? plan.fine - m : m);
    double d = plan.kernel_ft[m];
    return {fine.data()[2 * cell] / d, fine.data()[2 * cell + 1] / d};
}

// Everything the fast method keeps per star: the value transform's layout
// and the points' phases at the centre frequency, the unit-weight sums W at
// twice each grid frequency, and the frequencies computed directly.
struct NufftPlan {
    NufftPlan(const Grid& grid, const PointPhases& phases, Spreading spreading, int threads);

    // What one spectrum works in: the fine grid, the points' weights and
    // the centred values.
    struct Workspace {
        explicit Workspace(std::size_t cells) : grid(cells) {}
        FineGrid grid;
        std::vector<std::complex<double>> weights;
        std::vector<double> centred;
    };

    // The spare workspace kept from the last spectrum when no other call
    // holds it (its pages are already mapped: a long run does not fault
    // in hundreds of megabytes at each spectrum), else a new one; given
    // back when the spectrum is done.
    std::unique_ptr<Workspace> take_workspace() const;
    void give_back(std::unique_ptr<Workspace> workspace) const;

    FinePlan fine;
    Layout layout;
    numerics::LargeVector<std::complex<double>> centre_phase;  // exp(-2 pi i f_J t_k), layout order
    // Per grid frequency, what the amplitude needs besides the fine cell:
    // the unit vector at half W's angle over the kernel's transform, and
    // the inverses of n + |W| and n - |W| (see amplitude_from_sums).
    struct ModeFactors {
        double cx = 0.0, cy = 0.0, plus = 0.0, minus = 0.0;
    };
    numerics::LargeVector<ModeFactors> factors;
    std::vector<std::size_t> direct;                  // grid indices done by direct sums

private:
    mutable std::mutex spare_lock_;
    mutable std::unique_ptr<Workspace> spare_;
};

// nufft_spectrum: the Scargle amplitudes over the grid.
//   Given:    grid, phases, plan  as built for the star
//             values, mean        the series and its mean
//             threads             threads to use
//   Returned: amplitude  one per grid frequency (its memory reused)
void nufft_spectrum(const Grid& grid, const PointPhases& phases, const NufftPlan& plan, std::span<const double> values,
                    double mean, int threads, std::vector<double>& amplitude);

// Bytes the fast method needs for n points over `modes` frequencies.
std::size_t nufft_bytes(std::size_t n, std::size_t modes, Spreading spreading);

}  // namespace spectrum::detail
