// Harmonic and combination labels: which frequencies are parents, how a
// label is written, which match wins, and how likely a match is by chance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "extraction/combinations.hpp"

namespace {

using extraction::Label;
using extraction::LabelSettings;

std::vector<std::string> texts(const std::vector<Label>& labels)
{
    std::vector<std::string> out;
    for (const Label& l : labels) out.push_back(extraction::shown_label(l));
    return out;
}

}  // namespace

TEST(Labels, AHarmonicSeriesToTwentyTimesTheFundamentalIsAllHarmonics)
{
    // A pulsator's series n f0 with falling amplitudes; each harmonic
    // measured within its own error, which grows as its amplitude falls.
    const double f0 = 2.0473, sigma0 = 2e-6;
    std::vector<double> f, e, a;
    for (int n = 1; n <= 20; ++n) {
        a.push_back(100.0 * std::pow(0.75, n - 1));
        e.push_back(sigma0 * a.front() / a.back());
        f.push_back(n * f0 + (n % 2 == 0 ? 1.5 : -1.5) * e.back());
    }
    const LabelSettings settings{0.02, 0.02, 50.0};
    const std::vector<Label> labels = extraction::frequency_labels(f, e, a, settings);
    EXPECT_EQ(labels[0].text, "");
    for (int n = 2; n <= 20; ++n) {
        EXPECT_EQ(labels[n - 1].text, std::to_string(n) + "f1");
        EXPECT_FALSE(labels[n - 1].possible()) << labels[n - 1].probability;
    }
}

TEST(Labels, AMatchMustHoldWithinThreeCombinedErrors)
{
    // 10.0 and 13.1 are independent; the third lies 0.004 c/d from their sum,
    // within the resolution but 8 combined errors away: independent.
    const std::vector<double> f = {10.0, 13.1, 23.104}, a = {5, 4, 1};
    std::vector<double> e = {0.0002, 0.0002, 0.0004};
    const LabelSettings settings{0.02, 0.05, 50.0};
    EXPECT_EQ(texts(extraction::frequency_labels(f, e, a, settings)), (std::vector<std::string>{"", "", ""}));
    // Errors five times larger: within 2 combined errors, a combination.
    for (double& x : e) x *= 5;
    const std::vector<Label> labels = extraction::frequency_labels(f, e, a, settings);
    EXPECT_EQ(labels[2].text, "f1+f2");
    // Errors unknown: the resolution alone decides.
    EXPECT_EQ(extraction::frequency_labels(f, {}, a, settings)[2].text, "f1+f2");
}

TEST(Labels, TheSimplestExplanationWinsOverTheClosest)
{
    const LabelSettings settings{0.02, 0.05, 50.0};
    const std::vector<double> e(4, 0.001);
    // 12.003 is 3 x 4.001 (0.0 away) and f2 + f3 = 12.003 - 0.0005: the harmonic.
    EXPECT_EQ(extraction::frequency_labels(std::vector<double>{4.001, 7.0025, 5.0, 12.003}, e,
                                           std::vector<double>{3, 2, 1.5, 0.5}, settings)[3].text,
              "3f1");
    // 2 x 6.0 + 5.0 = 17.0 exactly, and 23.0015 - 6.0 is 0.0015 away: the
    // lower order, f3-f1.
    EXPECT_EQ(extraction::frequency_labels(std::vector<double>{6.0, 5.0, 23.0015, 17.0}, e,
                                           std::vector<double>{3, 2, 1.5, 0.5}, settings)[3].text,
              "f3-f1");
}

TEST(Labels, TheChanceProbabilityAgreesWithAMonteCarlo)
{
    // Twelve parents at random over 5 .. 45 c/d; a child at a distance d of
    // f1 + f2.  The probability of the label against the share of random
    // frequencies over the range that lie within d of a combination value.
    // (The parents' errors are tiny, so none of them is a combination.)
    std::mt19937_64 gen(3);
    std::uniform_real_distribution<double> range(5.0, 45.0);
    std::vector<double> f, e, a;
    for (int i = 0; i < 12; ++i) {
        f.push_back(range(gen));
        e.push_back(1e-9);
        a.push_back(20.0 - i);
    }
    const double d = 0.002;
    f.push_back(f[0] + f[1] + d);
    e.push_back(0.001);
    a.push_back(1.0);
    const LabelSettings settings{0.01, 5.0, 45.0};
    const Label label = extraction::frequency_labels(f, e, a, settings).back();
    ASSERT_EQ(label.text, "f1+f2");

    std::vector<double> values;
    for (int i = 0; i < 12; ++i)
        for (int j = i + 1; j < 12; ++j)
            for (int n : {1, 2})
                for (int m : {-2, -1, 1, 2}) values.push_back(std::fabs(n * f[i] + m * f[j]));
    const int trials = 100000;
    int hits = 0;
    for (int t = 0; t < trials; ++t) {
        const double x = range(gen);
        hits += std::any_of(values.begin(), values.end(), [&](double v) { return std::fabs(x - v) <= d; });
    }
    const double p = static_cast<double>(hits) / trials;
    EXPECT_NEAR(label.probability, p, 4.0 * std::sqrt(p * (1 - p) / trials) + 0.02 * p);
    EXPECT_TRUE(label.possible());  // about 0.024
    EXPECT_EQ(extraction::shown_label(label), "f1+f2?");
}
