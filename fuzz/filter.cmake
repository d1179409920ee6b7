if(TARGET px_filter_core)
  px_add_fuzzer(fuzz_filter
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/filter_fuzz.cpp ${PROJECT_SOURCE_DIR}/filter/filter_reference.cpp
    LIBS px_filter_core)
endif()
