# How a library or a program joins the suite.
#
#   suite_add_library(name source...)
#       in a library's folder: the static library <name> of the sources
#       listed, exporting its public headers (include/<name>/*.hpp, included
#       as "<name>/x.hpp") and nothing else; its private headers stay beside
#       its sources, included as "x.hpp", seen by it and its unit tests only
#   suite_library(folder)
#       the library of a folder (classic/common, modern/spectrum, ...), built
#       into build/<name>/
#   suite_program(folder)
#       the same, plus the executable <name> from the folder's main.cpp
#       (target <name>_program, file build/<name>/<name>) and its install
#       rule; with SUITE_COMPILE_ONLY (cross-compilation) main.cpp is only
#       compiled
#   suite_unit_tests(name SOURCES file... [LIBRARIES lib...] [MAIN main.cpp])
#       the unit tests of library <name> (files under tests/), run as
#       <name>.<Suite>.<Test> (ctest -R <name> runs them)
#   suite_transcripts(folder target)
#       one test per case folder of tests/transcripts/<folder>/

set(SUITE_PROGRAMS "" CACHE INTERNAL "The programs of the suite")
set(SUITE_LIBRARIES "" CACHE INTERNAL "The libraries of the suite")

function(suite_add_library name)
  add_library(${name} STATIC ${ARGN})
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  endif()
  set_property(TARGET ${name} PROPERTY SUITE_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

function(suite_library folder)
  get_filename_component(name ${folder} NAME)
  add_subdirectory(${PROJECT_SOURCE_DIR}/${folder} ${PROJECT_BINARY_DIR}/${name})
  set(SUITE_LIBRARIES ${SUITE_LIBRARIES} ${name} CACHE INTERNAL "")
endfunction()

function(suite_program folder)
  get_filename_component(name ${folder} NAME)
  suite_library(${folder})
  if(SUITE_COMPILE_ONLY)
    add_library(${name}_program OBJECT ${PROJECT_SOURCE_DIR}/${folder}/main.cpp)
    target_link_libraries(${name}_program PRIVATE ${name})
    return()
  endif()
  add_executable(${name}_program ${PROJECT_SOURCE_DIR}/${folder}/main.cpp)
  set_target_properties(${name}_program PROPERTIES OUTPUT_NAME ${name}
                        RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/${name})
  target_link_libraries(${name}_program PRIVATE ${name})
  install(TARGETS ${name}_program RUNTIME DESTINATION bin)
  set(SUITE_PROGRAMS ${SUITE_PROGRAMS} ${name} CACHE INTERNAL "")
endfunction()

function(suite_unit_tests name)
  cmake_parse_arguments(PARSE_ARGV 1 unit "" "MAIN" "SOURCES;LIBRARIES")
  list(TRANSFORM unit_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/tests/)
  add_executable(test_${name} ${unit_SOURCES})
  target_link_libraries(test_${name} PRIVATE ${name} ${unit_LIBRARIES} GTest::gtest)
  if(unit_MAIN)
    target_sources(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/${unit_MAIN})
  else()
    target_link_libraries(test_${name} PRIVATE GTest::gtest_main)
  endif()
  # Test helpers as "support/x.hpp"; the library's private headers by name.
  get_target_property(library_dir ${name} SUITE_SOURCE_DIR)
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(library_dir)
    target_include_directories(test_${name} PRIVATE ${library_dir})
  endif()
  gtest_discover_tests(test_${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

# One CTest test per folder tests/transcripts/<folder>/<case>, run against
# the given executable target by run_transcript (tests/support/).  The
# cases are data: the folder is listed, not the build.
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
