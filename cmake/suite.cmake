# How a subsystem joins the suite.  Each subsystem is a folder with one
# library of its name; a program's folder also holds main.cpp.
#
#   suite_library(name)   the folder's library, and its unit tests
#                         (tests/<name>/*.cpp) when testing is on, named
#                         <name>.<Suite>.<Test> (ctest -R <name> runs them)
#   suite_program(name)   the same, plus the executable <name> (target
#                         <name>_program), its install rule, its transcript
#                         cases (tests/transcripts/<name>/<case>/) and its
#                         place in the whole-run failure tables

set(SUITE_PROGRAMS "" CACHE INTERNAL "The programs of the suite")
set(SUITE_LIBRARIES "" CACHE INTERNAL "The libraries of the suite")

function(suite_unit_tests name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  file(GLOB unit_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${name}/*.cpp)
  if(NOT unit_sources)
    return()
  endif()
  add_executable(test_${name} ${unit_sources})
  target_link_libraries(test_${name} PRIVATE ${name} GTest::gtest GTest::gtest_main)
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(test_${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

function(suite_library name)
  add_subdirectory(${PROJECT_SOURCE_DIR}/${name} ${PROJECT_BINARY_DIR}/${name})
  set(SUITE_LIBRARIES ${SUITE_LIBRARIES} ${name} CACHE INTERNAL "")
  suite_unit_tests(${name})
endfunction()

function(suite_program name)
  suite_library(${name})
  add_executable(${name}_program ${PROJECT_SOURCE_DIR}/${name}/main.cpp)
  set_target_properties(${name}_program PROPERTIES OUTPUT_NAME ${name}
                        RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/${name})
  target_link_libraries(${name}_program PRIVATE ${name})
  install(TARGETS ${name}_program RUNTIME DESTINATION bin)
  set(SUITE_PROGRAMS ${SUITE_PROGRAMS} ${name} CACHE INTERNAL "")
  if(BUILD_TESTING)
    suite_transcripts(${name} ${name}_program)
  endif()
endfunction()

# One CTest test per folder tests/transcripts/<folder>/<case>, run against
# the given executable target by run_transcript (tests/support/).
function(suite_transcripts folder target)
  file(GLOB cases LIST_DIRECTORIES true CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/transcripts/${folder}/*)
  foreach(case_dir ${cases})
    if(IS_DIRECTORY ${case_dir})
      get_filename_component(case ${case_dir} NAME)
      add_test(NAME transcript.${folder}.${case}
               COMMAND $<TARGET_FILE:run_transcript> $<TARGET_FILE:${target}> ${case_dir})
      set_tests_properties(transcript.${folder}.${case} PROPERTIES TIMEOUT 300)
    endif()
  endforeach()
endfunction()
