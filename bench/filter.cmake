# Filter benchmarks (A4 300 dpi colour page) and the peer comparison program
# that bench/compare-peers runs.
if(TARGET px_filter_core)
  add_executable(filter_bench ${CMAKE_CURRENT_LIST_DIR}/filter_bench.cpp)
  target_include_directories(filter_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(filter_bench PRIVATE px_filter_core benchmark::benchmark)
  set_target_properties(filter_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
