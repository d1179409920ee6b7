px_add_fuzzer(fuzz_ini SOURCES ${CMAKE_CURRENT_LIST_DIR}/ini_fuzz.cpp LIBS px_platform)
