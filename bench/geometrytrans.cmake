# GeometryTrans: deskew + crop of an A4 300 dpi colour page, zoom 600 -> 300.
if(TARGET GeometryTrans)
  add_executable(geometrytrans_bench ${CMAKE_CURRENT_LIST_DIR}/geometrytrans_bench.cpp)
  target_include_directories(geometrytrans_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(geometrytrans_bench PRIVATE px_geometry_testpages px_platform benchmark::benchmark)
  add_dependencies(geometrytrans_bench GeometryTrans)
  set_target_properties(geometrytrans_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
