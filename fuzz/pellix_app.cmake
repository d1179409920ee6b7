# Pellix's text lookup and settings readers.
if(TARGET pellix_core)
  px_add_fuzzer(fuzz_language SOURCES ${CMAKE_CURRENT_LIST_DIR}/language_fuzz.cpp LIBS pellix_core)
  px_add_fuzzer(fuzz_list_key SOURCES ${CMAKE_CURRENT_LIST_DIR}/list_key_fuzz.cpp LIBS pellix_core)
endif()
