#include "extraction/libraries.hpp"

#include <gsl/gsl_errno.h>

// OpenBLAS's own function: the header that declares it is not the cblas.h
// GSL is compiled with.
extern "C" void openblas_set_num_threads(int);

namespace extraction {

void configure_libraries()
{
    gsl_set_error_handler_off();
    openblas_set_num_threads(1);
}

}  // namespace extraction
