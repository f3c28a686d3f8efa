#include <iostream>

#include "prewhiten/run.hpp"

int main(int argc, char* argv[]) { return prewhiten::main_program(argc, argv, std::cout, std::cerr); }
