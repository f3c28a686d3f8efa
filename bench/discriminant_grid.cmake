target_link_libraries(${name} PRIVATE discriminant)
target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/discriminant/reference.cpp)
