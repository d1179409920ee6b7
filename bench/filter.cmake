# Filter benchmarks (A4 300 dpi colour page) and the peer comparison program
# that bench/compare-peers runs.
if(TARGET px_filter_core)
  add_executable(filter_bench ${CMAKE_CURRENT_LIST_DIR}/filter_bench.cpp)
  target_include_directories(filter_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(filter_bench PRIVATE px_filter_core benchmark::benchmark)
  set_target_properties(filter_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()

# bench/compare-peers: our exports (loaded at run time) against OpenCV,
# libvips and ImageMagick on the same page.
find_package(OpenCV QUIET COMPONENTS core imgproc)
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PX_VIPS QUIET IMPORTED_TARGET vips-cpp)
  pkg_check_modules(PX_MAGICKWAND QUIET IMPORTED_TARGET MagickWand)
endif()
if(TARGET px_filter_core AND OpenCV_FOUND AND PX_VIPS_FOUND AND PX_MAGICKWAND_FOUND)
  add_executable(filter_peers ${CMAKE_CURRENT_LIST_DIR}/compare_peers.cpp
                              ${CMAKE_CURRENT_LIST_DIR}/peers_ours.cpp)
  target_include_directories(filter_peers PRIVATE ${PROJECT_SOURCE_DIR} ${OpenCV_INCLUDE_DIRS})
  target_link_libraries(filter_peers PRIVATE px_filter_core px_platform ${OpenCV_LIBS} PkgConfig::PX_VIPS
                                             PkgConfig::PX_MAGICKWAND)
  set_target_properties(filter_peers PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
