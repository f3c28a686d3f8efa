target_link_libraries(${name} PRIVATE cyclefit)
target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/cyclefit/svd_reference.cpp)
