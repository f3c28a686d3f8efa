target_link_libraries(${name} PRIVATE cyclefit)
target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/cyclefit/svd_reference.cpp)
# The peer figure: LAPACK's least-squares driver from OpenBLAS, where it is
# installed.
find_library(OPENBLAS_LIBRARY openblas)
if(OPENBLAS_LIBRARY)
  target_link_libraries(${name} PRIVATE ${OPENBLAS_LIBRARY})
  target_compile_definitions(${name} PRIVATE BENCH_WITH_OPENBLAS)
endif()
