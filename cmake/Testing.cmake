# GoogleTest from the distribution's sources, built by the project for either target, and
# a helper that makes one test program per source folder.

enable_testing()
include(GoogleTest)
include(${CMAKE_CURRENT_LIST_DIR}/WindowTests.cmake)

if(ZORV_WINDOWS)
  set(ZORV_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")
else()
  include(${CMAKE_CURRENT_LIST_DIR}/Run32.cmake)
endif()

set(ZORV_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
if(NOT EXISTS "${ZORV_GTEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found in ${ZORV_GTEST_SOURCE_DIR} "
                      "(Debian package googletest; scripts/bootstrap.sh installs it)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${ZORV_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# Warnings in GoogleTest's own sources (some optimisation levels find some) are not ours.
foreach(_gtest_target gtest gtest_main gmock gmock_main)
  target_compile_options(${_gtest_target} PRIVATE -w)
endforeach()

# How test programs' own sources are compiled. The test framework's headers are much of
# what a small test file parses: they are compiled once for all test programs (GCC takes the
# precompiled header only where the flags match, and parses the headers as usual where
# they do not). In the Windows build the test sources are compiled without optimisation and
# debug information (the code under test keeps the build's: it comes from the project's
# libraries); at -O2 -g the tests' expanded assertions made most of that build's time.
option(ZORV_TEST_PCH "Precompile the test framework's headers once for all test programs" ON)
set(ZORV_TEST_COMPILE_OPTIONS "")
if(ZORV_WINDOWS)
  set(ZORV_TEST_COMPILE_OPTIONS -O0 -g0)
endif()
if(ZORV_TEST_PCH)
  add_library(zorv_test_pch OBJECT ${CMAKE_SOURCE_DIR}/tests/support/test_pch.cpp)
  target_link_libraries(zorv_test_pch PRIVATE GTest::gmock)
  target_compile_options(zorv_test_pch PRIVATE ${ZORV_TEST_COMPILE_OPTIONS})
  target_precompile_headers(zorv_test_pch PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
endif()
function(zorv_test_compile_options name)
  target_compile_options(${name} PRIVATE ${ZORV_TEST_COMPILE_OPTIONS})
  if(ZORV_TEST_PCH)
    target_precompile_headers(${name} REUSE_FROM zorv_test_pch)
  endif()
endfunction()

# zorv_test(<name> [WINDOW] [PROCESS_PER_TEST] SOURCES <files...> LIBS <targets...>)
# WINDOW: the program creates windows (see cmake/WindowTests.cmake).
# PROCESS_PER_TEST: its test cases need a process each (each runs the program's one-time
# start-up), in the 32-bit tree too.
function(zorv_test name)
  cmake_parse_arguments(ARG "WINDOW;PROCESS_PER_TEST" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ZORV_WINDOWS)
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/wine_started.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  zorv_link_resources(${name})
  zorv_test_compile_options(${name})
  if(ZORV_WINDOWS)
    # Under wine a test program runs whole, as one test: a wine start costs more than half a
    # second (a window program's more than one), one per test case made most of the suite's
    # time. Every program under wine needs the test run's X server; window programs are also
    # window tests (cmake/WindowTests.cmake). Natively each test case runs in a process of
    # its own.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED ${ZORV_XSERVER_FIXTURE})
    if(ARG_WINDOW)
      zorv_window_tests(TESTS ${name})
    endif()
  elseif(ZORV_NATIVE32 AND NOT ARG_PROCESS_PER_TEST)
    # The 32-bit tree runs each test program whole too: there every start may cost a
    # second of emulation (cmake/Run32.cmake).
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 1200)
  else()
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 120
      PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# Includes every <name>.cmake fragment of the calling folder. Groups of units that are
# built independently (and by different people at once) each keep a fragment of their own.
macro(zorv_include_fragments)
  file(GLOB _zorv_fragments CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
  foreach(_zorv_fragment IN LISTS _zorv_fragments)
    include(${_zorv_fragment})
  endforeach()
endmacro()
