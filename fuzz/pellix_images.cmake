# The image loaders of Pellix's container. The decoders are compiled into
# each target so libFuzzer sees their coverage.
if(NOT TARGET pellix_images_deps)
  return()
endif()
set(pellix_images_fuzz_sources
  ${PROJECT_SOURCE_DIR}/pellix/image_container.cpp
  ${PROJECT_SOURCE_DIR}/pellix/bmp_codec.cpp
  ${PROJECT_SOURCE_DIR}/pellix/jpeg_codec.cpp
  ${PROJECT_SOURCE_DIR}/pellix/tiff_codec.cpp)
foreach(codec bmp jpeg tiff)
  px_add_fuzzer(fuzz_${codec}_loader
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/${codec}_loader_fuzz.cpp ${pellix_images_fuzz_sources}
    LIBS pellix_images_deps)
endforeach()
