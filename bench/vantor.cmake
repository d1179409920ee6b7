# Vantor simulator: whole pages through the exports (A4 at 300 and 600 dpi in
# each mode) and the sample document's rendering alone.
if(TARGET vantor_sim)
  add_executable(vantor_bench ${CMAKE_CURRENT_LIST_DIR}/vantor_bench.cpp)
  target_include_directories(vantor_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(vantor_bench PRIVATE vantor_sim_core px_platform benchmark::benchmark ${CMAKE_DL_LIBS})
  set_target_properties(vantor_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(vantor_bench vantor_sim)
endif()
