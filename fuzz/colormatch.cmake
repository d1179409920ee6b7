# ColorMatch: arbitrary data-file text, and when it parses, the transform it
# builds applied to a small image in both depths and orders.
if(TARGET colormatch_core)
  px_add_fuzzer(fuzz_colormatch SOURCES ${CMAKE_CURRENT_LIST_DIR}/colormatch_fuzz.cpp LIBS colormatch_core)
endif()
