// The plan of a star's spectra: validation of its arguments, the parts
// kept between spectra, and the choice of method.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include "exact.hpp"
#include "numerics/parallel.hpp"
#include "numerics/sizes.hpp"
#include "nufft.hpp"
#include "phases.hpp"
#include "spectrum/spectrum.hpp"

namespace spectrum {

namespace {

// The largest phase, in cycles, an observation may reach on the grid: the
// reduction to a fraction of a cycle is exact below 2^51, and the phase
// advance per grid step stays below twice this.
constexpr double max_cycles = 562949953421312.0;  // 2^49

// Kernel widths (see spreading in spectrum.hpp): points beyond the decimal
// digits asked for at each upsampling.
constexpr int width_margin = 3;
constexpr int width_margin_at_three_halves = 6;
constexpr int narrowest_kernel = 4;

void require(bool condition, const std::string& message)
{
    if (!condition) throw std::invalid_argument(message);
}

void check_grid(const Grid& grid)
{
    require(std::isfinite(grid.fmin), "grid: the first frequency must be finite");
    require(std::isfinite(grid.step), "grid: the step must be finite");
    require(grid.count >= 1, "grid: at least one frequency is needed");
    require(grid.count <= max_grid_count, "grid: more than 2^29 frequencies");
    require(grid.count == 1 || grid.step > 0.0, "grid: the step must be above zero");
    require(std::isfinite(grid.frequency(grid.count - 1)), "grid: the last frequency must be finite");
}

void check_settings(const Settings& settings)
{
    require(settings.method == Method::exact || settings.method == Method::nufft, "settings: unknown method");
    require(settings.tolerance >= finest_tolerance && settings.tolerance <= coarsest_tolerance,
            "settings: the tolerance must be from 1e-12 to 1e-2");
    require(settings.threads >= 0 && settings.threads <= max_threads,
            "settings: the number of threads must be from 0 (all) to 1024");
}

// Finite times spanning some time, and phases that stay below max_cycles:
// the largest |f| on the grid times the largest |t - middle|.
void check_times(const Grid& grid, std::span<const double> times)
{
    require(!times.empty(), "times: at least two different times are needed");
    double low = times[0], high = times[0];
    for (double t : times) {
        require(std::isfinite(t), "times: every time must be finite");
        low = std::min(low, t);
        high = std::max(high, t);
    }
    require(high > low, "times: at least two different times are needed");
    double half_span = high / 2.0 - low / 2.0;
    double fmax = std::max(std::fabs(grid.fmin), std::fabs(grid.frequency(grid.count - 1)));
    require(half_span * fmax <= max_cycles, "grid and times: phases beyond 2^49 cycles");
}

}  // namespace

struct Plan::State {
    Grid grid;
    Settings settings;
    int threads = 1;
    detail::Times times;
    detail::PointPhases phases;
    std::optional<detail::NufftPlan> fast;
};

Spreading spreading(double tolerance)
{
    require(tolerance >= finest_tolerance && tolerance <= coarsest_tolerance,
            "tolerance: must be from 1e-12 to 1e-2");
    int digits = static_cast<int>(std::ceil(-std::log10(tolerance) - 1e-9));
    if (digits + width_margin_at_three_halves <= detail::widest_kernel)
        return {std::max(digits + width_margin_at_three_halves, narrowest_kernel), 1.5};
    return {std::clamp(digits + width_margin, narrowest_kernel, detail::widest_kernel), 2.0};
}

int kernel_width(double tolerance) { return spreading(tolerance).width; }

Plan::Plan(std::span<const double> times, const Grid& grid, const Settings& settings)
{
    check_grid(grid);
    check_settings(settings);
    check_times(grid, times);
    state_ = std::make_unique<State>();
    state_->grid = grid;
    state_->settings = settings;
    state_->threads = numerics::thread_count(settings.threads);
    state_->times = detail::relative_times(times);
    state_->phases = detail::point_phases(state_->times, grid);
    if (settings.method == Method::nufft)
        state_->fast.emplace(grid, state_->phases, spectrum::spreading(settings.tolerance), state_->threads);
}

Plan::~Plan() = default;
Plan::Plan(Plan&&) noexcept = default;
Plan& Plan::operator=(Plan&&) noexcept = default;

const Grid& Plan::grid() const { return state_->grid; }

std::size_t Plan::size() const { return state_->times.size(); }

int Plan::kernel_width() const { return state_->fast ? state_->fast->fine.kernel.width : 0; }

namespace {

// The amplitudes of finite values within the range of range_exponent, into
// out (its memory reused).
void amplitude_in_range(const Plan::State& s, std::span<const double> values, std::vector<double>& out)
{
    double sum = 0.0;
    for (double v : values) sum += v;
    double mean = sum / static_cast<double>(values.size());
    if (s.fast) {
        detail::nufft_spectrum(s.grid, s.phases, *s.fast, values, mean, s.threads, out);
        return;
    }
    std::vector<double> centred(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) centred[k] = values[k] - mean;
    out = detail::exact_spectrum(s.grid, s.phases, centred, s.threads);
}

}  // namespace

std::vector<double> Plan::amplitude(std::span<const double> values) const
{
    std::vector<double> out;
    amplitude(values, out);
    return out;
}

void Plan::amplitude(std::span<const double> values, std::vector<double>& out) const
{
    const State& s = *state_;
    require(values.size() == s.times.size(), "values: one value per time of the plan is needed");
    double largest = 0.0;
    for (double v : values) {
        require(std::isfinite(v), "values: every value must be finite");
        largest = std::max(largest, std::fabs(v));
    }
    // Beyond the range the sums of squares would overflow (or underflow):
    // the amplitude is linear in the values, so scale them by an exact
    // power of two and the amplitudes back.
    const int k = range_exponent(largest);
    if (k == 0) {
        amplitude_in_range(s, values, out);
        return;
    }
    std::vector<double> scaled(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) scaled[i] = std::ldexp(values[i], k);
    amplitude_in_range(s, scaled, out);
    for (double& a : out) a = std::ldexp(a, -k);
}

std::vector<double> Plan::window(double f0) const
{
    require(std::isfinite(f0), "window: the frequency must be finite");
    const State& s = *state_;
    std::vector<double> values(s.times.size());
    for (std::size_t k = 0; k < values.size(); ++k)
        values[k] = numerics::sincos_cycles(detail::cycles_at(s.times, k, f0)).sin;
    return amplitude(values);
}

int range_exponent(double size)
{
    constexpr int step = 256;
    constexpr int lowest = -127, highest = 128;  // size = m 2^e, m in [1/2, 1): e in [-127, 128]
    if (!(size > 0.0) || !std::isfinite(size)) return 0;
    int e = 0;
    std::frexp(size, &e);
    if (e > highest) return -step * ((e - highest + step - 1) / step);
    if (e < lowest) return step * ((lowest - e + step - 1) / step);
    return 0;
}

std::size_t memory_needed(std::size_t n, const Grid& grid, const Settings& settings)
{
    using numerics::multiply_sizes;
    if (grid.count > max_grid_count) return numerics::most_bytes;
    // Times and phases (5 doubles), the centred values and a spectrum, and
    // the threads' stacks.
    constexpr std::size_t threads_allowance = std::size_t{4} << 20;
    const std::size_t common = numerics::sum_sizes(
        {multiply_sizes(n, 6 * sizeof(double)), multiply_sizes(grid.count, sizeof(double)), threads_allowance});
    if (settings.method == Method::exact) return common;
    const Spreading fine = spreading(std::clamp(settings.tolerance, finest_tolerance, coarsest_tolerance));
    return numerics::add_sizes(common, detail::nufft_bytes(n, grid.count, fine));
}

}  // namespace spectrum
