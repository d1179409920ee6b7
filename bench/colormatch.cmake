# ColorMatch: matching an A4 300 dpi colour page (24- and 48-bit) with the
# shipped data file, and the cost of reading the data file.
if(TARGET ColorMatch)
  add_executable(colormatch_bench ${CMAKE_CURRENT_LIST_DIR}/colormatch_bench.cpp)
  target_include_directories(colormatch_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(colormatch_bench PRIVATE px_platform benchmark::benchmark)
  set_target_properties(colormatch_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(colormatch_bench ColorMatch)
endif()
