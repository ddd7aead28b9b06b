# Test plumbing: GoogleTest from Debian's sources, Windows test programs run
# by CTest under Wine in one prefix per build tree.
if(NOT QDX_TESTS)
  function(qdx_add_wine_test)
  endfunction()
  function(qdx_add_host_test)
  endfunction()
  return()
endif()

enable_testing()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(QDX_WINDOWS)
  set(QDX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QDX_ROOT}/scripts/wine-run.sh CACHE FILEPATH "" FORCE)

  # One prefix for the whole run: made fresh before the first test, stopped after the last.
  add_test(NAME wine_prefix_up COMMAND ${QDX_ROOT}/scripts/wine-prefix.sh up ${QDX_WINEPREFIX})
  add_test(NAME wine_prefix_down COMMAND ${QDX_ROOT}/scripts/wine-prefix.sh down ${QDX_WINEPREFIX})
  set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wineprefix TIMEOUT 180)
  set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wineprefix TIMEOUT 60)
endif()

# qdx_add_wine_test(<name> SOURCES <files> [LIBS <targets>] [RESOURCES] [GUI] [TIMEOUT <s>])
function(qdx_add_wine_test name)
  cmake_parse_arguments(T "RESOURCES;GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} qdx_test_support qdx_flags GTest::gtest_main)
  target_compile_options(${name} PRIVATE -Wno-error)
  if(T_RESOURCES)
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:qdx_res>)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wineprefix
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    ENVIRONMENT "WINEPREFIX=${QDX_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=winemenubuilder.exe=d\\;mscoree,mshtml="
    TIMEOUT ${T_TIMEOUT})
  if(T_GUI)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()

# qdx_add_host_test(<name> SOURCES <files> [LIBS <targets>] [TIMEOUT <s>])
function(qdx_add_host_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES WORKING_DIRECTORY ${CMAKE_BINARY_DIR} TIMEOUT ${T_TIMEOUT})
endfunction()
