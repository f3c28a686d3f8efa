#include "extraction/model.hpp"

#include <algorithm>
#include <array>

#include "numerics/cycles.hpp"

namespace extraction {

void evaluate(const Model& model, std::span<const double> tau, std::span<double> out)
{
    constexpr std::size_t block = 256;
    std::array<double, block> arg, s, c;
    const std::size_t n = std::min(tau.size(), out.size());
    for (std::size_t k0 = 0; k0 < n; k0 += block) {
        const std::size_t m = std::min(block, n - k0);
        std::fill_n(out.begin() + k0, m, model.constant);
        for (const Sinusoid& term : model.terms) {
            for (std::size_t k = 0; k < m; ++k) arg[k] = term.frequency * tau[k0 + k] + term.phase;
            numerics::sincos_cycles(arg.data(), s.data(), c.data(), m);
            for (std::size_t k = 0; k < m; ++k) out[k0 + k] += term.amplitude * s[k];
        }
    }
}

}  // namespace extraction
