# Vantor simulator: arbitrary settings files and call sequences with arbitrary
# block fields against the device (small sheets so each run stays quick).
if(TARGET vantor_sim_core)
  px_add_fuzzer(fuzz_vantor SOURCES ${CMAKE_CURRENT_LIST_DIR}/vantor_fuzz.cpp LIBS vantor_sim_core)
endif()
