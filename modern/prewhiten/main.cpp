#include <unistd.h>

#include <iostream>

#include "run.hpp"

// The progress line goes to standard error only when a person watches it.
int main(int argc, char* argv[])
{
    return prewhiten::main_program(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
