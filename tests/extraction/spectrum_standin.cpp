// A plain amplitude spectrum by direct sums behind the spectrum interface,
// so that the extraction can be tested before the spectrum library joins
// the build.  It goes when that library is merged.
#include <cmath>
#include <complex>
#include <vector>

#include "extraction/peak.hpp"
#include "spectrum/spectrum.hpp"

namespace spectrum {

struct Plan::State {
    std::vector<double> times;
    Grid grid;
};

Plan::Plan(std::span<const double> times, const Grid& grid, const Settings&)
    : state_(std::make_unique<State>(State{{times.begin(), times.end()}, grid}))
{
}
Plan::~Plan() = default;
Plan::Plan(Plan&&) noexcept = default;
Plan& Plan::operator=(Plan&&) noexcept = default;

const Grid& Plan::grid() const { return state_->grid; }

std::vector<double> Plan::amplitude(std::span<const double> values) const
{
    std::vector<double> out(state_->grid.count);
    for (std::size_t j = 0; j < out.size(); ++j)
        out[j] = extraction::scargle_amplitude(state_->times, values, state_->grid.frequency(j));
    return out;
}

std::vector<double> Plan::window(double f0) const
{
    std::vector<double> out(state_->grid.count);
    const double n = static_cast<double>(state_->times.size());
    for (std::size_t j = 0; j < out.size(); ++j) {
        std::complex<double> sum = 0.0;
        for (double t : state_->times) sum += std::polar(1.0, 2.0 * M_PI * (state_->grid.frequency(j) - f0) * t);
        out[j] = std::abs(sum) / n;
    }
    return out;
}

std::size_t memory_needed(std::size_t n, const Grid& grid, const Settings&) { return 8 * (n + grid.count); }

}  // namespace spectrum
