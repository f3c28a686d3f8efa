// The fit report from given coefficients: the standard error of a phase,
// the choice of the frequency with the biggest amplitude, and the solution
// file's calculated fit when no harmonic has an amplitude.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "common/io.hpp"
#include "cyclefit/records.hpp"
#include "storage.hpp"

using namespace cyclefit;

namespace {

// Runs the report in a fresh folder of its own (the tests run side by side
// as separate processes) and returns the solution file.
std::string run_report(int& imax)
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto dir = std::filesystem::temp_directory_path() /
                     ("cyclefit_report_" + std::string(test->name()) + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    common::reset_channels();
    lijn4.inname = "in.dat";
    lijn4.outname = "out.fv";
    common::open_new(11, "out.fv");
    imax = report();
    common::reset_channels();
    std::ifstream in("out.fv");
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::current_path(here);
    std::filesystem::remove_all(dir);
    return text.str();
}

// Two observations, chi2 = n so that se(k) is the square root of cvm(k, k).
void set_fit(int nfreq, const int* nharm, const double* coef, const double* var)
{
    Storage& w = store;
    w.n = 2;
    w.t[0] = 0.0;
    w.t[1] = 0.5;
    w.x[0] = 1.0;
    w.x[1] = 2.0;
    w.T0 = 0.0;
    w.chi2 = 2.0;
    oud.nfreq = nfreq;
    w.nbasis = 1;
    for (int i = 0; i < nfreq; ++i) {
        oud.freq[i] = 1.0 + i;
        oud.nharm[i] = nharm[i];
        w.nbasis += 2 * nharm[i];
    }
    for (int k = 0; k < w.nbasis; ++k) {
        w.coef[k] = coef[k];
        w.cvm[k * maxbasis + k] = var[k];
    }
}

}  // namespace

TEST(Report, PhaseErrorPropagatesBothCoefficientErrors)
{
    // s = c = 1, se(s) = 0.2, se(c) = 0.1: (1 * 0.2 + 1 * 0.1) / 2 / 2 pi.
    const int nharm[2] = {1, 1};
    const double coef[5] = {3.0, 1.0, 1.0, 1.0, 1.0};
    const double var[5] = {1.0, 0.04, 0.01, 0.04, 0.01};
    set_fit(2, nharm, coef, var);
    int imax = -1;
    const std::string file = run_report(imax);
    EXPECT_NE(file.find("phase(in 2pi rad):  0.12500   s.e.:    0.0239"), std::string::npos) << file;
    // Equal amplitudes: the first met wins.
    EXPECT_EQ(imax, 1);
    EXPECT_NE(file.find(" frequency with biggest amplitude :  1\n"), std::string::npos);
}

TEST(Report, BiggerLaterHarmonicMovesImax)
{
    const int nharm[2] = {1, 2};
    const double coef[7] = {3.0, 1.0, 1.0, 0.5, 0.5, 0.0, -2.0};
    const double var[7] = {1.0, 0.04, 0.01, 0.04, 0.01, 0.04, 0.01};
    set_fit(2, nharm, coef, var);
    int imax = -1;
    const std::string file = run_report(imax);
    EXPECT_EQ(imax, 2);
    EXPECT_NE(file.find("phase(in 2pi rad):  0.50000"), std::string::npos);  // pure negative cosine
}

TEST(Report, NoHarmonicLeavesTheCalculatedFitEmpty)
{
    const int nharm[1] = {0};
    const double coef[1] = {1.5};
    const double var[1] = {0.5};
    set_fit(1, nharm, coef, var);
    int imax = -1;
    const std::string file = run_report(imax);
    EXPECT_EQ(imax, 0);
    const std::string tail = "CALCULATED FIT\n\n         fit         phases\n";
    ASSERT_GE(file.size(), tail.size());
    EXPECT_EQ(file.substr(file.size() - tail.size() - 1), " " + tail);
}
