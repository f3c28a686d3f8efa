#include "common/io.hpp"
#include "curveview.hpp"

int main() { return common::run_main(curveview::run); }
