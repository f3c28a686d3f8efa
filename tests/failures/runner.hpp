// The failure tables start their programs through the runner every
// whole-run test shares (tests/support/runner.hpp).
#pragma once

#include "support/runner.hpp"

namespace failures {

using runner::read_file;
using runner::Run;
using runner::run_program;
using runner::Scratch;
using runner::write_file;

}  // namespace failures
