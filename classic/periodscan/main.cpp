#include "common/io.hpp"
#include "periodscan/periodscan.hpp"

int main() { return common::run_main(periodscan::run); }
