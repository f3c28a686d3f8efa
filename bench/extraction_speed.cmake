target_link_libraries(${name} PRIVATE extraction)
target_compile_definitions(${name} PRIVATE PREWHITEN_PROGRAM="$<TARGET_FILE:prewhiten_program>"
                                           SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(${name} prewhiten_program)
