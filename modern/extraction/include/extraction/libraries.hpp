// The settings of the libraries under the fit, made once for the process.
#pragma once

namespace extraction {

// configure_libraries: GSL's error handler off, so that a solver or a
// factorisation that fails says so by its status value (GSL's own handler
// would end the process), and OpenBLAS on the calling thread (its threads
// would compete with the fit's partitions for the same cores).
//   Notes: 1. Process-wide settings: made once, from the program's entry
//             (and from each test or benchmark program that calls the fit
//             or the tracking), before any fit runs; never per call.
void configure_libraries();

}  // namespace extraction
