#include <unistd.h>

#include <iostream>

#include "extraction/libraries.hpp"
#include "plotting/plot.hpp"
#include "run.hpp"

// The libraries under the fit are set once, here; the pictures are drawn
// with the giza library; the progress line goes to standard error only
// when a person watches it.
int main(int argc, char* argv[])
{
    extraction::configure_libraries();
    plotting::GizaPlotter giza;
    return prewhiten::main_program(argc, argv, giza, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
