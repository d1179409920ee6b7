# Tembra: tone tables from arbitrary records, applied to small images, plus
# hue and saturation and automatic levels, with the fast and plain loops
# compared on every input.
if(TARGET tembra_core)
  px_add_fuzzer(fuzz_tembra SOURCES ${CMAKE_CURRENT_LIST_DIR}/tembra_fuzz.cpp LIBS tembra_core)
endif()
