# Test plumbing: GoogleTest from Debian's sources, Windows test programs run
# by CTest under Wine in one prefix per build tree (x86_64 natively, i686 in
# Wine's wow64 mode).
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
  set(QDX_WINE_ENV "WINEPREFIX=${QDX_WINEPREFIX}" "WINEDEBUG=-all"
      "WINEDLLOVERRIDES=winemenubuilder.exe=d\\;mscoree,mshtml=")
  set(QDX_WINE_DLLDIR "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit programs run in the wow64 mode of the 64-bit Wine loader, which
    # needs Wine's 32-bit Windows-side DLLs: the up step copies them from
    # Debian's libwine:i386 package into this tree, and WINEDLLPATH points there.
    set(QDX_WOW64 ON)
    set(QDX_WINE_DLLDIR ${CMAKE_BINARY_DIR}/wine32)
    list(APPEND QDX_WINE_ENV "WINEDLLPATH=${QDX_WINE_DLLDIR}")
  else()
    set(QDX_WOW64 OFF)
  endif()

  # One prefix for the whole run: made fresh before the first test, stopped after the last.
  add_test(NAME wine_prefix_up
    COMMAND ${QDX_ROOT}/scripts/wine-prefix.sh up ${QDX_WINEPREFIX} ${QDX_WINE_DLLDIR})
  add_test(NAME wine_prefix_down COMMAND ${QDX_ROOT}/scripts/wine-prefix.sh down ${QDX_WINEPREFIX})
  set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wineprefix TIMEOUT 300)
  set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wineprefix TIMEOUT 60)
  set_tests_properties(wine_prefix_up wine_prefix_down PROPERTIES ENVIRONMENT "${QDX_WINE_ENV}")
endif()

# Tests of a Windows tree that run natively, without Wine (image identity,
# signing), carry the label "native": on a machine that cannot run 32-bit
# code, scripts/ctest.sh runs only these in the i686 tree and counts the rest
# as skipped.
function(qdx_native_test name)
  set_tests_properties(${name} PROPERTIES LABELS native)
endfunction()

# Test programs that do not run in the 32-bit tree, and gtest filters for those
# that run there only in part. Both are declared in tests/CMakeLists.txt, with
# the reason for each, before the programs are added.
# qdx_x86_64_only(<name> <reason>)
function(qdx_x86_64_only name reason)
  set_property(GLOBAL APPEND PROPERTY QDX_X86_64_ONLY ${name})
endfunction()
# qdx_wow64_skip(<name> <reason> <gtest pattern>...): tests of <name> left out at 32 bits.
function(qdx_wow64_skip name reason)
  set_property(GLOBAL APPEND PROPERTY QDX_WOW64_SKIP_${name} ${ARGN})
endfunction()

# qdx_add_wine_test(<name> SOURCES <files> [LIBS <targets>] [RESOURCES] [GUI | SETTINGS]
#                   [ALONE <gtest pattern>...] [TIMEOUT <s>])
# Runs in both Windows trees unless named by qdx_x86_64_only. Test programs of
# a tree run side by side (scripts/ctest.sh), except
#   GUI       shows windows, takes the focus, keys or hot keys, reads the
#             screen, or starts the client or setup: runs alone
#   SETTINGS  changes the product's settings or the machine's folders in the
#             registry: runs apart from the others that do
#   ALONE     these tests measure how much gets done in a given time: they run
#             in an entry <name>_alone of their own, with nothing else of their
#             tree and not beside the other tree's ALONE tests
function(qdx_add_wine_test name)
  cmake_parse_arguments(T "RESOURCES;GUI;SETTINGS" "TIMEOUT" "SOURCES;LIBS;ALONE" ${ARGN})
  get_property(only64 GLOBAL PROPERTY QDX_X86_64_ONLY)
  set(run ON)
  if(QDX_WOW64 AND name IN_LIST only64)
    set(run OFF)
  endif()
  if(run)
    add_executable(${name} ${T_SOURCES})
  else()
    # Kept as a target so that the lines after this call still apply; not built.
    add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} qdx_test_support qdx_flags GTest::gtest_main)
  target_compile_options(${name} PRIVATE -Wno-error)
  if(T_RESOURCES)
    target_sources(${name} PRIVATE $<TARGET_OBJECTS:qdx_res>)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT run)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  get_property(skip GLOBAL PROPERTY QDX_WOW64_SKIP_${name})
  set(exclude ${T_ALONE})
  if(QDX_WOW64)
    list(APPEND exclude ${skip})
  endif()
  set(args)
  if(exclude)
    list(JOIN exclude ":" exclude)
    set(args --gtest_filter=-${exclude})
  endif()
  add_test(NAME ${name} COMMAND ${name} ${args})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wineprefix
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    ENVIRONMENT "${QDX_WINE_ENV}"
    TIMEOUT ${T_TIMEOUT})
  if(T_GUI)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  elseif(T_SETTINGS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK product_settings)
  endif()
  if(T_ALONE)
    # The lock file lies beside the trees, so the other tree's run takes it too.
    list(JOIN T_ALONE ":" alone)
    set(env "${QDX_WINE_ENV};QDX_RUN_LOCK=${CMAKE_BINARY_DIR}/../qdx-alone.lock")
    add_test(NAME ${name}_alone COMMAND ${name} --gtest_filter=${alone})
    set_tests_properties(${name}_alone PROPERTIES
      FIXTURES_REQUIRED wineprefix
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
      ENVIRONMENT "${env}"
      RUN_SERIAL TRUE
      TIMEOUT ${T_TIMEOUT})
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
