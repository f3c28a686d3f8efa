// Reference forms of scar2 and justel: observations outer and one rotation
// chain per observation for the periodogram; one fmod per observation and
// frequency for the phase-dispersion statistic.
#include "support/periodscan_reference.hpp"

#include <cmath>
#include <limits>

#include "common/constants.hpp"

namespace reference {

void scar2(int n, std::span<const double> t, std::span<const double> x, double fstart, int nf, double fstep,
           std::span<double> f1, std::span<double> s1, std::span<double> w1, std::span<double> w2,
           std::span<double> w3, std::span<double> w4)
{
    const double twopi = suite::twopi, dtwo = 2.0, dnul = 0.0;
    double omega0 = twopi * fstart;
    double domega = fstep * twopi;
    double dn = n;
    for (int k = 0; k < nf; ++k) {
        w1[k] = dnul;
        w2[k] = dnul;
        w3[k] = dnul;
        w4[k] = dnul;
    }
    for (int j = 0; j < n; ++j) {
        double theta = std::fmod(t[j] * omega0, twopi);
        double s = std::sin(theta), c = std::cos(theta);
        double s2 = (dtwo * s) * c, c2 = c * c - s * s;
        double delta = std::fmod(t[j] * domega, twopi);
        double sd = std::sin(delta), cd = std::cos(delta);
        double s2d = (dtwo * sd) * cd, c2d = cd * cd - sd * sd;
        double xc = c * x[j], xs = s * x[j];
        for (int k = 0; k < nf; ++k) {
            w1[k] += xs;
            w2[k] += xc;
            double xc_new = xc * cd - xs * sd;
            double xs_new = xs * cd + xc * sd;
            xc = xc_new;
            xs = xs_new;
            w3[k] += s2;
            w4[k] += c2;
            double c2_new = c2 * c2d - s2 * s2d;
            double s2_new = s2 * c2d + c2 * s2d;
            c2 = c2_new;
            s2 = s2_new;
        }
    }
    double f = fstart;
    for (int k = 0; k < nf; ++k) {
        double S = w1[k], C = w2[k], S2 = w3[k], C2 = w4[k];
        f1[k] = f;
        s1[k] = (C * C * (dn - C2) + (dn + C2) * (S * S) - ((dtwo * S) * C) * S2) / ((dn * dn - C2 * C2) - S2 * S2);
        f = f + fstep;
    }
}

void justel(int n, std::span<const double> t, std::span<const double> x, double fstart, int nf, double fstep, int nb,
            int nc, double var, double ss, std::span<double> f1, std::span<double> s1)
{
    static double sum[1000], sumcopy[1000];
    static int count[1000], countcopy[1000];
    double f = fstart;
    int m = nc < 2 ? nb : nb * nc;
    for (int k = 0; k < nf; ++k) {
        for (int b = 1; b <= m; ++b) {
            count[b - 1] = 0;
            sum[b - 1] = 0.0;
        }
        for (int j = 0; j < n; ++j) {
            double phi = std::fmod(t[j] * f, 1.0);
            if (phi < 0.0) phi = phi + 1.0;  // a time before the first, or a negative frequency
            double y = m * phi;
            int b = y >= 0.0 ? static_cast<int>(y) + 1 : 1;  // a phase that is not a number: bin 1
            if (b > m) b = m;                                 // a folded phase that rounded up to 1
            count[b - 1] = count[b - 1] + 1;
            sum[b - 1] = sum[b - 1] + x[j];
        }
        double W, D;
        if (nc < 2) {
            W = ss;
            D = n - nb;
        } else {
            for (int b = 1; b <= nc - 1; ++b) {
                sumcopy[b - 1] = sum[b - 1];
                countcopy[b - 1] = count[b - 1];
            }
            for (int b = 1; b <= m - nc + 1; ++b)
                for (int i = b + 1; i <= b + nc - 1; ++i) {
                    sum[b - 1] = sum[b - 1] + sum[i - 1];
                    count[b - 1] = count[b - 1] + count[i - 1];
                }
            for (int b = m - nc + 2; b <= m; ++b) {
                for (int i = b + 1; i <= m; ++i) {
                    sum[b - 1] = sum[b - 1] + sum[i - 1];
                    count[b - 1] = count[b - 1] + count[i - 1];
                }
                for (int i = 1; i <= b - (m - nc + 1); ++i) {
                    sum[b - 1] = sum[b - 1] + sumcopy[i - 1];
                    count[b - 1] = count[b - 1] + countcopy[i - 1];
                }
            }
            W = ss * nc;
            D = n * nc - m;
        }
        for (int b = 1; b <= m; ++b) {
            if (count[b - 1] == 0)
                D = D + 1.0;
            else
                W = W - (sum[b - 1] * sum[b - 1]) / count[b - 1];
        }
        f1[k] = f;
        s1[k] = (W / D) / var;
        f = f + fstep;
    }
}

}  // namespace reference
