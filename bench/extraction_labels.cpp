// The harmonic and combination labels on tables of known content, many
// stars each: the frequencies are the true ones moved by Gaussian errors of
// the size an extraction reports (Montgomery & O'Donoghue 1999, DSSN 13, 28:
// sigma_f = sqrt(6) / (pi^(3/2) s T) for a peak of S/N s, the noise being
// the mean amplitude of white noise), so the labels meet the scatter they
// meet in practice.
//
//   1. A pulsator's harmonic series to 20 f0 (amplitudes falling from S/N
//      2000 to 10): how many stars have all 19 harmonics labelled as
//      harmonics of f1, and how many of those labels are only possible.
//   2. A delta Scuti-like star: 50 independent modes at random frequencies
//      between 22 and 76 c/d, S/N from 5 to 500 (log-uniform): combination
//      labels per star, firm and possible.
//   3. True combinations among them: ten f_i + f_j of the five strongest,
//      weaker than both: how many are labelled as such.
//   4. The chance probability against what happens: over the stars of 2,
//      the share of frequencies labelled with a probability at most 1 %
//      (by chance, since none is a combination) against 1 %.
//
//   extraction_labels [stars]   (default 2000)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "extraction/combinations.hpp"

using namespace extraction;

namespace {

// A three-sector space light curve at 2-minute cadence.
constexpr double span = 80.0;        // d
constexpr double fmin = 1.0 / span;  // c/d
constexpr double nyquist = 360.0;    // c/d
constexpr double resolution = 1.5 / span;

double frequency_error(double snr) { return std::sqrt(6.0) / (std::pow(M_PI, 1.5) * snr * span); }

struct Table {
    std::vector<double> truth, f, e, a;
    void add(double value, double snr, std::mt19937_64& gen)
    {
        std::normal_distribution<double> gauss;
        const double sigma = frequency_error(snr);
        truth.push_back(value);
        f.push_back(value + sigma * gauss(gen));
        e.push_back(sigma);
        a.push_back(snr);  // amplitudes in units of the noise
    }
};

std::vector<Label> labels_of(const Table& t, double fmax)
{
    return frequency_labels(t.f, t.e, t.a, LabelSettings{resolution, fmin, fmax});
}

bool is_combination(const std::string& text) { return text.find_first_of("+-") != std::string::npos; }

void harmonic_series(int stars, std::mt19937_64& gen)
{
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    int all = 0, possible = 0, labels = 0;
    for (int s = 0; s < stars; ++s) {
        const double f0 = 1.5 + 1.5 * uni(gen);
        Table t;
        for (int n = 1; n <= 20; ++n) t.add(n * f0, 2000.0 * std::pow(10.0 / 2000.0, (n - 1) / 19.0), gen);
        const std::vector<Label> l = labels_of(t, nyquist);
        bool every = true;
        for (int n = 2; n <= 20; ++n) {
            every = every && l[n - 1].text == std::to_string(n) + "f1";
            labels += l[n - 1].text.empty() ? 0 : 1;
            possible += l[n - 1].possible() ? 1 : 0;
        }
        all += every ? 1 : 0;
    }
    std::printf("harmonic series to 20 f0, %d stars:\n", stars);
    std::printf("  all 19 harmonics labelled nf1:        %d of %d stars (%.1f %%; each within 3 sigma: 0.9973^19 = %.1f %%)\n",
                all, stars, 100.0 * all / stars, 100.0 * std::pow(0.9973, 19));
    std::printf("  harmonic labels only possible (>1 %%): %d of %d\n", possible, labels);
}

struct DeltaScuti {
    int stars = 0, frequencies = 0;
    int firm = 0, possible = 0;                       // combination labels on independent modes
    int harmonics = 0;                                // harmonic labels on independent modes
    int firm_any = 0;                                 // firm labels of either kind on them
    int at_most_one = 0;                              // stars with at most 1 firm combination label
    int at_most_one_any = 0;                          // ... counting possible ones too
    int injected = 0, recovered = 0, recovered_firm = 0;
};

void delta_scuti(int stars, std::mt19937_64& gen, double fmax, DeltaScuti& d)
{
    std::uniform_real_distribution<double> band(22.0, 76.0), uni(0.0, 1.0);
    for (int s = 0; s < stars; ++s) {
        Table t;
        for (int i = 0; i < 50; ++i) t.add(band(gen), 5.0 * std::pow(100.0, uni(gen)), gen);
        // The five strongest are the parents of the true combinations.
        std::vector<std::size_t> order(50);
        for (std::size_t i = 0; i < 50; ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return t.a[x] > t.a[y]; });
        const std::size_t independent = t.f.size();
        for (int x = 0; x < 5; ++x)
            for (int y = x + 1; y < 5; ++y) {
                const std::size_t i = order[x], j = order[y];
                const double sum = t.truth[i] + t.truth[j];
                if (sum < fmax) t.add(sum, std::max(5.0, 0.3 * std::min(t.a[i], t.a[j])), gen);
            }
        const std::vector<Label> l = labels_of(t, fmax);
        int firm = 0, any = 0;
        for (std::size_t k = 0; k < independent; ++k) {
            ++d.frequencies;
            d.firm_any += !l[k].text.empty() && !l[k].possible() ? 1 : 0;
            if (is_combination(l[k].text)) {
                ++any;
                (l[k].possible() ? d.possible : firm) += 1;
            } else if (!l[k].text.empty()) {
                ++d.harmonics;
            }
        }
        d.firm += firm;
        d.at_most_one += firm <= 1 ? 1 : 0;
        d.at_most_one_any += any <= 1 ? 1 : 0;
        for (std::size_t k = independent; k < t.f.size(); ++k) {
            ++d.injected;
            if (is_combination(l[k].text)) {
                ++d.recovered;
                d.recovered_firm += l[k].possible() ? 0 : 1;
            }
        }
        ++d.stars;
    }
}

void report(const DeltaScuti& d, double fmax)
{
    std::printf("delta Scuti-like star, 50 independent modes in 22-76 c/d, S/N 5-500, T = %.0f d, range %.3g-%.0f c/d,"
                " %d stars:\n",
                span, fmin, fmax, d.stars);
    std::printf("  independent modes labelled combinations per star: %.3f firm, %.3f possible\n",
                double(d.firm) / d.stars, double(d.possible) / d.stars);
    std::printf("  stars with at most 1 labelled a combination: %.1f %% firm, %.1f %% counting possible ones\n",
                100.0 * d.at_most_one / d.stars, 100.0 * d.at_most_one_any / d.stars);
    std::printf("  independent modes labelled harmonics per star: %.3f\n", double(d.harmonics) / d.stars);
    std::printf("  share of independent modes given a firm label (chance at most 1 %%): %.3f %% (nominal 1 %% at most)\n",
                100.0 * d.firm_any / d.frequencies);
    std::printf("  true combinations f_i + f_j labelled: %d of %d (%.1f %%), firm: %.1f %%\n", d.recovered, d.injected,
                100.0 * d.recovered / d.injected, 100.0 * d.recovered_firm / d.injected);
}

}  // namespace

int main(int argc, char** argv)
{
    const int stars = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const auto start = std::chrono::steady_clock::now();
    std::mt19937_64 gen(20);
    harmonic_series(stars, gen);
    for (double fmax : {nyquist, 80.0}) {
        DeltaScuti d;
        delta_scuti(stars, gen, fmax, d);
        report(d, fmax);
    }
    std::printf("(%.1f s)\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}
