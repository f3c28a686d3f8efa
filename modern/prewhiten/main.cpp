#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <new>

#include "extraction/libraries.hpp"
#include "numerics/large_memory.hpp"
#include "plotting/plot.hpp"
#include "run.hpp"

// Every array of the program from 2 MiB up (the points, the spectra, the
// fine grids) is taken from memory advised for huge pages: a star of 10^6
// points touches a gigabyte, and where a page fault costs microseconds its
// first touch in 4 KiB pages takes seconds.  Sanitizer builds keep their
// allocator's own bookkeeping.
#ifndef __SANITIZE_ADDRESS__
void* operator new(std::size_t bytes)
{
    if (bytes >= numerics::huge_page_bytes) return numerics::allocate_large(bytes);
    if (void* memory = std::malloc(bytes == 0 ? 1 : bytes)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#endif

// The libraries under the fit are set once, here; the pictures are drawn
// with the giza library; the progress line goes to standard error only
// when a person watches it.
int main(int argc, char* argv[])
{
    extraction::configure_libraries();
    plotting::GizaPlotter giza;
    return prewhiten::main_program(argc, argv, giza, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
