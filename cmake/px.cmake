# Helpers shared by every folder.

# px_add_deliverable(<target> <BaseName> sources...)
# A run-time loaded library: file name is the contract's base name plus ".so",
# no "lib" prefix, written into the common bin folder.
function(px_add_deliverable target base)
  add_library(${target} MODULE ${ARGN})
  set_target_properties(${target} PROPERTIES
    PREFIX "" SUFFIX ".so" OUTPUT_NAME ${base})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,-z,defs)
endfunction()

# px_add_test(<target> SOURCES ... [LIBS ...] [GUI])
# A GoogleTest program beside the code it tests. GUI tests carry the label
# "gui" so the sanitizer run can leave them out. Tests find the bin folder in
# the environment (PX_BIN_DIR) or as PX_TEST_BIN_DIR, the sources as
# PX_TEST_SOURCE_DIR; scripts/test runs them with QT_QPA_PLATFORM=offscreen.
function(px_add_test target)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads ${CMAKE_DL_LIBS})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(labels unit)
  if(T_GUI)
    set(labels gui)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES LABELS "${labels}" ENVIRONMENT "PX_BIN_DIR=${PX_BIN_DIR}")
  # The discovered tests take one environment entry only (a list would be
  # split into separate properties), so the folders also come in as defines.
  target_compile_definitions(${target} PRIVATE
    PX_TEST_BIN_DIR="${PX_BIN_DIR}" PX_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endfunction()
