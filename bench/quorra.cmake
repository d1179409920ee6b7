# The scan module's whole page: an A4 300 dpi colour scan from the simulated
# scanner through every processing step, timed step by step, with the peak
# memory. Runs the real libraries behind a timestamping stand-in for the user
# interface (the Scan request is the only way to switch processing on).
if(TARGET Quorra AND TARGET vantor_sim AND TARGET Tembra AND TARGET Filter
   AND TARGET GeometryTrans AND TARGET ColorMatch)
  add_library(QuorraBenchKorvel MODULE ${CMAKE_CURRENT_LIST_DIR}/quorra_bench_korvel.cpp)
  set_target_properties(QuorraBenchKorvel PROPERTIES PREFIX "" SUFFIX ".so"
    OUTPUT_NAME QuorraBenchKorvel LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  target_include_directories(QuorraBenchKorvel PRIVATE ${PROJECT_SOURCE_DIR})

  add_executable(quorra_bench ${CMAKE_CURRENT_LIST_DIR}/quorra_bench.cpp)
  target_include_directories(quorra_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(quorra_bench PRIVATE px_platform benchmark::benchmark ${CMAKE_DL_LIBS})
  set_target_properties(quorra_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  target_compile_definitions(quorra_bench PRIVATE
    QUORRA_BENCH_BIN="${PX_BIN_DIR}"
    QUORRA_BENCH_KORVEL="$<TARGET_FILE:QuorraBenchKorvel>")
  add_dependencies(quorra_bench QuorraBenchKorvel Quorra vantor_sim Tembra Filter GeometryTrans
    ColorMatch)
endif()
