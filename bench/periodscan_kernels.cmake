target_link_libraries(${name} PRIVATE periodscan)
target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/periodscan/reference.cpp)
