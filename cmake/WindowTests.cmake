# Window tests: tests whose programs create windows, driven as a user drives them (mouse and
# keys through the X server), on an X server that the test run starts once and stops after.
#
# In the Windows tree the fixture zorv_xserver (tests XServer.Start / XServer.Stop) starts
# an Xvfb and records it in ZORV_XSERVER_DIR; the wine wrapper hands that display to every
# program it runs, never the caller's DISPLAY. Every test of the Windows tree requires the
# fixture (the first program of a wine server decides for the whole prefix whether windows
# can be made, see cmake/wine-run.sh.in); window tests also take the display's lock (one
# pointer and one keyboard: they must not run at once) and run under en_US.UTF-8 (wine's
# ANSI code page is then 1252, so text set through an "A" call shows as mojibake).
#
#   zorv_window_tests(TESTS <test>...)
#       marks tests made with add_test as window tests; they also get in their environment
#       ZORV_WINE_RUN (the wine wrapper), ZORV_XSERVER_DIR and ZORV_BUILD_DIR, which
#       tests/support/wintest.py reads
#
# In the native trees window tests do not exist; the function marks nothing there.

set(ZORV_XSERVER_DIR "${CMAKE_BINARY_DIR}/xserver")
set(ZORV_XSERVER_FIXTURE zorv_xserver)
set(ZORV_XDISPLAY_LOCK zorv_xdisplay)

# A tree without tests (ZORV_TESTS off) runs no program under wine and needs no X server.
if(ZORV_WINDOWS AND ZORV_TESTS)
  add_test(NAME XServer.Start
           COMMAND bash ${CMAKE_SOURCE_DIR}/tools/xserver.sh start ${ZORV_XSERVER_DIR})
  add_test(NAME XServer.Stop
           COMMAND bash ${CMAKE_SOURCE_DIR}/tools/xserver.sh stop ${ZORV_XSERVER_DIR})
  set_tests_properties(XServer.Start PROPERTIES FIXTURES_SETUP ${ZORV_XSERVER_FIXTURE} TIMEOUT 60)
  set_tests_properties(XServer.Stop PROPERTIES FIXTURES_CLEANUP ${ZORV_XSERVER_FIXTURE} TIMEOUT 60)
endif()

function(zorv_window_tests)
  cmake_parse_arguments(ARG "" "" "TESTS" ${ARGN})
  if(NOT ZORV_WINDOWS)
    return()
  endif()
  foreach(_test IN LISTS ARG_TESTS)
    set_property(TEST ${_test} APPEND PROPERTY FIXTURES_REQUIRED ${ZORV_XSERVER_FIXTURE})
    set_property(TEST ${_test} APPEND PROPERTY RESOURCE_LOCK ${ZORV_XDISPLAY_LOCK})
    set_property(TEST ${_test} APPEND PROPERTY ENVIRONMENT
      LANG=en_US.UTF-8
      ZORV_WINE_RUN=${CMAKE_BINARY_DIR}/wine-run
      ZORV_XSERVER_DIR=${ZORV_XSERVER_DIR}
      ZORV_BUILD_DIR=${CMAKE_BINARY_DIR})
    set_property(TEST ${_test} APPEND PROPERTY ENVIRONMENT_MODIFICATION LC_ALL=unset:)
  endforeach()
endfunction()
