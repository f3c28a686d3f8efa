// A fixture for the tests that compare a fast kernel with its reference
// form: each of its tests runs twice, once with the portable forms forced
// and once with the forms the processor allows (the wide vector forms where
// it has the instructions), so that both paths are proven on every machine
// that has both.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "wide/wide_kernels.hpp"

namespace kernel_forms {

class BothForms : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { suite::force_portable_kernels(GetParam()); }
    void TearDown() override { suite::force_portable_kernels(false); }
};

inline std::string name(const testing::TestParamInfo<bool>& info) { return info.param ? "portable" : "dispatched"; }

}  // namespace kernel_forms

// Instantiates the tests of a fixture derived from BothForms on both paths.
#define KERNEL_FORMS_BOTH(fixture) \
    INSTANTIATE_TEST_SUITE_P(Forms, fixture, testing::Values(true, false), kernel_forms::name)
