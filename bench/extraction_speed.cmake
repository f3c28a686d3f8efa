target_link_libraries(${name} PRIVATE extraction)
if(NOT TARGET spectrum)
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/extraction/spectrum_standin.cpp)
endif()
