# Tembra benchmarks: tone mapping, hue and saturation and automatic levels on
# an A4 300 dpi page, single-threaded.
if(TARGET tembra_core)
  add_executable(tembra_bench ${CMAKE_CURRENT_LIST_DIR}/tembra_bench.cpp)
  target_include_directories(tembra_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(tembra_bench PRIVATE tembra_core benchmark::benchmark)
  set_target_properties(tembra_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
