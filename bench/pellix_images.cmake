# Pellix's page files and exports at A4 300 dpi colour.
if(NOT TARGET pellix_images)
  return()
endif()
add_executable(pellix_images_bench ${CMAKE_CURRENT_LIST_DIR}/pellix_images_bench.cpp)
target_link_libraries(pellix_images_bench PRIVATE pellix_images benchmark::benchmark)
set_target_properties(pellix_images_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
