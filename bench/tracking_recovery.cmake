target_link_libraries(${name} PRIVATE tracking lightcurve)
target_compile_definitions(${name} PRIVATE PREWHITEN_PROGRAM="$<TARGET_FILE:prewhiten_program>"
                           EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
add_dependencies(${name} prewhiten_program)
