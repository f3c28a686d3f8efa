# Cross-compilation for a 64-bit ARM processor (Debian's
# g++-aarch64-linux-gnu), for the check that every source of the libraries
# and programs compiles where the fast kernels take their portable forms:
#
#   cmake -S . -B build-aarch64 --toolchain cmake/aarch64-linux-gnu.cmake
#   cmake --build build-aarch64
#
# Nothing is linked: the libraries the suite calls (giza, cfitsio, FFTW,
# GSL, OpenBLAS, CLI11) are not installed for this processor, only their
# declarations are needed, so their headers are taken from the host's
# /usr/include after the compiler's own, find_library may name the host's
# files, and each program's main.cpp is compiled into an object library
# instead of an executable (SUITE_COMPILE_ONLY).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_C_FLAGS_INIT "-idirafter /usr/include")
set(CMAKE_CXX_FLAGS_INIT "-idirafter /usr/include")
list(APPEND CMAKE_LIBRARY_PATH /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu)
set(SUITE_COMPILE_ONLY ON CACHE BOOL "Compile every source, link nothing" FORCE)
