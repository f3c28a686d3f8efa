#include "common/io.hpp"
#include "discriminant/runconfig.hpp"

int main() { return common::run_main(discriminant::run); }
