# Postrel: desktop entries and Exec lines from anywhere on the system, and the
# MIME parameters made from arbitrary file names.
if(TARGET postrel_core)
  px_add_fuzzer(fuzz_postrel SOURCES ${CMAKE_CURRENT_LIST_DIR}/postrel_fuzz.cpp LIBS postrel_core)
endif()
