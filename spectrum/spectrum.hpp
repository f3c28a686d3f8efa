// Amplitude spectrum of an unevenly sampled light curve, and its spectral
// window, over a regular grid of frequencies.
//
// A plan holds everything that depends only on the observation times and
// the grid (the sums of unit weights at twice each frequency, the spreading
// kernel, the FFT plans and their workspace); it is built once per star and
// then used for the spectrum of any values at those times: the data, and
// each residual series of the extraction.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace spectrum {

// Frequencies fmin + j * step, j = 0 .. count - 1, in cycles per day.
struct Grid {
    double fmin = 0.0;
    double step = 0.0;
    std::size_t count = 0;

    double frequency(std::size_t j) const { return fmin + static_cast<double>(j) * step; }
};

enum class Method { exact, nufft };

struct Settings {
    Method method = Method::nufft;
    // Largest error allowed in any amplitude, relative to the highest
    // amplitude of the spectrum (nufft only).
    double tolerance = 1e-10;
    // Threads; 0 means as many as the machine has.  Results never depend
    // on it.
    int threads = 0;
};

class Plan {
public:
    Plan(std::span<const double> times, const Grid& grid, const Settings& settings);
    ~Plan();
    Plan(Plan&&) noexcept;
    Plan& operator=(Plan&&) noexcept;

    const Grid& grid() const;

    // Scargle amplitude sqrt(4 P / N) of the mean-subtracted values at each
    // grid frequency (P the classical Lomb-Scargle power); values has one
    // entry per time of the plan.
    std::vector<double> amplitude(std::span<const double> values) const;

    // Spectral window: the amplitude spectrum of a unit sinusoid at
    // frequency f0 sampled at the plan's times, on the plan's grid.
    std::vector<double> window(double f0) const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Bytes a plan and one spectrum need for n times over the grid: what a run
// refuses up front when it exceeds the memory it is given.
std::size_t memory_needed(std::size_t n, const Grid& grid, const Settings& settings);

}  // namespace spectrum
