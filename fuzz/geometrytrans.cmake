# GeometryTrans: deskew, crop, zoom and resize of small pages built from the
# input, with arbitrary background settings and resolutions.
if(TARGET px_geometry)
  px_add_fuzzer(fuzz_geometrytrans
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/geometrytrans_fuzz.cpp
            ${PROJECT_SOURCE_DIR}/plugins/geometrytrans/geometry_trans.cpp
    LIBS px_geometry)
endif()
