# Pellix's window-less core (settings, language, device session, image
# adjustment, calibration, e-mail) shared by the Qt application and the
# command-line twin pellix-scan.
add_library(pellix_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/app_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app_start.cpp
  ${CMAKE_CURRENT_LIST_DIR}/language.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/device_binding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_adjustment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scan_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scan_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mail.cpp)
target_include_directories(pellix_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(pellix_core PUBLIC pellix_images px_platform)

add_executable(pellix-scan
  ${CMAKE_CURRENT_LIST_DIR}/pellix_scan_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scan_cli.cpp
  ${CMAKE_CURRENT_LIST_DIR}/terminal_progress.cpp)
target_link_libraries(pellix-scan PRIVATE pellix_core)

# The settings file the programs read beside themselves.
configure_file(${CMAKE_CURRENT_LIST_DIR}/ScanSetting.ini ${PX_BIN_DIR}/ScanSetting.ini COPYONLY)

px_add_test(pellix_core_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/app_settings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/image_adjustment_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mail_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scan_cli_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scan_cli.cpp
    ${CMAKE_CURRENT_LIST_DIR}/terminal_progress.cpp
  LIBS pellix_core)

# The device paths need the simulated scanner.
if(TARGET vantor_sim)
  px_add_test(pellix_session_test
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/scan_session_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/pellix_scan_test.cpp
    LIBS pellix_core)
  add_dependencies(pellix_session_test vantor_sim pellix-scan)
  # Stand-ins for the three imaging libraries that log when they are unloaded.
  foreach(role TEMBRA GEOMETRY COLORMATCH)
    string(TOLOWER ${role} lower)
    add_library(pellix_unload_probe_${lower} MODULE ${CMAKE_CURRENT_LIST_DIR}/unload_probe_test_lib.cpp)
    target_compile_definitions(pellix_unload_probe_${lower} PRIVATE PROBE_${role})
    set_target_properties(pellix_unload_probe_${lower} PROPERTIES
      PREFIX "" SUFFIX ".so" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_dependencies(pellix_session_test pellix_unload_probe_${lower})
  endforeach()
  target_compile_definitions(pellix_session_test PRIVATE
    PELLIX_UNLOAD_PROBE_DIR="${CMAKE_BINARY_DIR}/tests")
  foreach(optional Tembra GeometryTrans ColorMatch Postrel)
    if(TARGET ${optional})
      add_dependencies(pellix_session_test ${optional})
    endif()
  endforeach()
endif()
