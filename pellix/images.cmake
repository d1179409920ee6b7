# Pellix's image container, its codecs and the output files (page files,
# multi-page TIFF and PDF exports).
find_package(PkgConfig REQUIRED)
pkg_check_modules(PELLIX_TIFF REQUIRED IMPORTED_TARGET libtiff-4)
pkg_check_modules(PELLIX_JPEG REQUIRED IMPORTED_TARGET libjpeg)
# libharu ships no pkg-config file on Debian.
find_library(PELLIX_HPDF_LIBRARY NAMES hpdf REQUIRED)
find_path(PELLIX_HPDF_INCLUDE_DIR hpdf.h REQUIRED)

# The outside libraries, shared with the fuzz targets that compile the
# decoders themselves.
add_library(pellix_images_deps INTERFACE)
target_include_directories(pellix_images_deps INTERFACE ${PROJECT_SOURCE_DIR} ${PELLIX_HPDF_INCLUDE_DIR})
target_link_libraries(pellix_images_deps INTERFACE
  PkgConfig::PELLIX_TIFF PkgConfig::PELLIX_JPEG ${PELLIX_HPDF_LIBRARY} px_platform)

add_library(pellix_images STATIC
  ${CMAKE_CURRENT_LIST_DIR}/image_container.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bmp_codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tiff_codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pdf_writer.cpp)
target_link_libraries(pellix_images PUBLIC pellix_images_deps)

px_add_test(pellix_images_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/image_container_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/output_files_test.cpp
  LIBS pellix_images)
