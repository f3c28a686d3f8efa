#include "common/io.hpp"
#include "cyclefit.hpp"

int main() { return common::run_main(cyclefit::run); }
