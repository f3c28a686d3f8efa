// gauleg: the 12-point Gauss-Legendre rule on [0, 1], into integraal.
#include <cmath>

#include "discriminant/legendre.hpp"
#include "discriminant/records.hpp"

namespace discriminant {
namespace {

// The pi of the initial guesses, 3.141592654: pi to ten digits, not the
// double nearest pi.  The guesses only start Newton's method, but the
// float the method settles on can depend on where it starts, and with it
// the last bits of every node and weight; so these digits are kept.
constexpr double guess_pi = 3.141592654;

}  // namespace

// gauleg: nodes and weights of the 12-point Gauss-Legendre rule on [0, 1].
//   Returned: integraal.nodes (ascending) and integraal.weights
//   Notes: 1. Newton's method on P12 for the six roots in (0, 1); the other
//             six follow by symmetry about 0.5.
//          2. The root search runs in single precision: z, the recurrence
//             values, the derivative and the step are floats (the recurrence
//             step and the division in the derivative are done in double and
//             rounded back).  The tolerance lies far below single precision,
//             so the search ends when a Newton step leaves z unchanged; this
//             fixes the last bits of every node and weight, and so of every
//             surface integral of the run.
//          3. The initial guesses take pi as guess_pi (above).
void gauleg()
{
    const int n = quadrature_points;
    const double xm = 0.5;          // midpoint of [0, 1]
    const double xl = 0.5;          // half-length
    const double eps = 3.0e-14;     // step tolerance
    const int max_steps = 100;      // guard; the search ends after 2 to 4 steps
    for (int i = 1; i <= (n + 1) / 2; ++i) {
        float z = static_cast<float>(std::cos(guess_pi * (i - 0.25) / (n + 0.5)));
        float z1 = 0.0f;
        float pp = 0.0f;
        int steps = 0;
        do {
            float p1 = 1.0f;
            float p2 = 0.0f;
            for (int j = 1; j <= n; ++j) {
                const float p3 = p2;
                p2 = p1;
                p1 = static_cast<float>(((2.0 * j - 1.0) * z * p2 - (j - 1.0) * p3) / j);
            }
            const float numerator = static_cast<float>(n) * (z * p1 - p2);
            pp = static_cast<float>(numerator / (static_cast<double>(z * z) - 1.0));
            z1 = z;
            z = z1 - p1 / pp;
            ++steps;
        } while (std::fabs(static_cast<double>(z - z1)) > eps && steps < max_steps);
        const double zd = z;
        const double w = 2.0 * xl / ((1.0 - static_cast<double>(z * z)) * pp * pp);
        integraal.nodes[i - 1] = xm - xl * zd;
        integraal.nodes[n - i] = xm + xl * zd;
        integraal.weights[i - 1] = w;
        integraal.weights[n - i] = w;
    }
}

}  // namespace discriminant
