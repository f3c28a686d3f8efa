// Running a kernel in each of its forms.  A fixture for the tests that
// compare a classic kernel with its reference form: each of its tests runs
// twice, once with the portable forms forced and once with the forms the
// processor allows (the wide vector forms where it has the instructions),
// so that both paths are proven on every machine that has both.  And, for
// the kernels of the modern program, their results in every form, to be
// compared bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "wide/wide_kernels.hpp"

namespace kernel_forms {

class BothForms : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { suite::force_portable_kernels(GetParam()); }
    void TearDown() override { suite::force_portable_kernels(false); }
};

inline std::string name(const testing::TestParamInfo<bool>& info) { return info.param ? "portable" : "dispatched"; }

// What compute() returns with each set of forms allowed in turn: the
// portable forms alone, forms up to x86-64-v3, then every form the
// processor has; afterwards every form is allowed again.
template <class Compute>
auto in_every_form(Compute compute)
{
    std::vector<decltype(compute())> results;
    for (suite::Forms forms : {suite::Forms::portable, suite::Forms::up_to_v3, suite::Forms::all}) {
        suite::allow_kernel_forms(forms);
        results.push_back(compute());
    }
    suite::allow_kernel_forms(suite::Forms::all);
    return results;
}

// The bits of each number, so that NaN compares equal to itself.
inline std::vector<std::uint64_t> bits(const std::vector<double>& x)
{
    std::vector<std::uint64_t> b;
    for (double v : x) b.push_back(std::bit_cast<std::uint64_t>(v));
    return b;
}

}  // namespace kernel_forms

// Instantiates the tests of a fixture derived from BothForms on both paths.
#define KERNEL_FORMS_BOTH(fixture) \
    INSTANTIATE_TEST_SUITE_P(Forms, fixture, testing::Values(true, false), kernel_forms::name)
