// Harmonic and combination labels: which frequencies are parents, how a
// label is written, and which match wins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "combinations.hpp"

using extraction::combination_labels;

TEST(Combinations, HarmonicsSumsAndDifferencesOfStrongerFrequencies)
{
    // f1 and f2 are independent; the rest are made of them, within 0.002 c/d.
    const std::vector<double> f = {5.0, 7.3, 10.001, 12.299, 2.3005, 9.6, 15.0, 17.3, 3.21};
    const std::vector<double> a = {3.0, 2.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3};
    const std::vector<std::string> labels = combination_labels(f, a, 0.002);
    const std::vector<std::string> expected = {"", "", "2f1", "f1+f2", "f2-f1", "2f2-f1", "3f1", "2f1+f2", ""};
    EXPECT_EQ(labels, expected);  // 17.3 is written in f1 and f2, not in the labelled 2f1
}

TEST(Combinations, ParentsMustBeStrongerAndTheResolutionBounds)
{
    // 10.0 is stronger than 5.0: a subharmonic is not a combination, and
    // 2 x 5.0 may not be called a harmonic of the weaker one.
    EXPECT_EQ(combination_labels(std::vector<double>{10.0, 5.0}, std::vector<double>{2.0, 1.0}, 0.01),
              (std::vector<std::string>{"", ""}));
    EXPECT_EQ(combination_labels(std::vector<double>{5.0, 10.0}, std::vector<double>{2.0, 1.0}, 0.01),
              (std::vector<std::string>{"", "2f1"}));
    // Just outside the resolution: no label.
    EXPECT_EQ(combination_labels(std::vector<double>{5.0, 10.011}, std::vector<double>{2.0, 1.0}, 0.01),
              (std::vector<std::string>{"", ""}));
    // Ids follow the order given, not the amplitudes.
    EXPECT_EQ(combination_labels(std::vector<double>{12.0, 4.0, 4.0 * 5}, std::vector<double>{0.5, 2.0, 0.1}, 0.01),
              (std::vector<std::string>{"3f2", "", "5f2"}));
}

TEST(Combinations, TheClosestMatchWinsAndHarmonicsBeforeCombinationsAtEqualDistance)
{
    // 12.0 is 2 x 6.0 exactly and f1 + f3 = 12.0005: the harmonic is closer.
    EXPECT_EQ(combination_labels(std::vector<double>{6.0, 12.0, 6.0005}, std::vector<double>{3.0, 0.5, 2.0}, 0.01)[1],
              "2f1");
    // 11.0 + 1.0 = 12.0 exactly and 3 x 4.002 is 0.006 away: the combination wins.
    EXPECT_EQ(combination_labels(std::vector<double>{4.002, 11.0, 1.0, 12.0}, std::vector<double>{3, 2, 1.5, 0.5},
                                 0.01),
              (std::vector<std::string>{"", "", "", "f2+f3"}));
    // Equal distance: the harmonic.
    EXPECT_EQ(combination_labels(std::vector<double>{3.0, 5.0, 2.0, 6.0}, std::vector<double>{3, 2, 1.5, 0.5}, 0.01)[3],
              "2f1");
}
