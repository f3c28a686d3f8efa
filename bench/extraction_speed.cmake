target_link_libraries(${name} PRIVATE extraction)
target_compile_definitions(${name} PRIVATE PREWHITEN_PROGRAM="$<TARGET_FILE:prewhiten_program>")
add_dependencies(${name} prewhiten_program)
