# Tests of the serial port element: call sequences against a recording fake (every build).
zorv_test(serial_fake_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fake_comm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvComAsync_fake_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/line_quiet_test.cpp
  LIBS zorv_serial)

# The pty modem-line shim that the wine tests preload (the 64-bit native trees: the shim is
# built for the machine's wine, which a 32-bit test program cannot load).
if(NOT ZORV_WINDOWS AND NOT ZORV_NATIVE32)
  zorv_test(serial_ptyshim_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/ptyshim_test.cpp
    LIBS ${CMAKE_DL_LIBS})
  target_compile_definitions(serial_ptyshim_tests PRIVATE ZORV_PTYSHIM_PATH="${ZORV_PTYSHIM}")
  add_dependencies(serial_ptyshim_tests zorv_ptyshim)
endif()

# Real I/O against the device simulator (POSIX builds).
if(NOT ZORV_WINDOWS AND EXISTS ${CMAKE_SOURCE_DIR}/tests/support/zorvsim_process.h)
  zorv_test(serial_sim_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/kvComAsync_sim_test.cpp
    LIBS zorv_serial zorv_test_sim)
endif()

# Real I/O with the Windows calls under wine: tools/wine-com.sh maps COM9 of a prefix of
# their own to the simulator's pty and runs one suite per simulator mode, with and without
# the pty shim (without it wine aborts every pending wait; with it waits behave as on a
# real port).
if(ZORV_WINDOWS)
  add_executable(serial_wine_tests ${CMAKE_CURRENT_LIST_DIR}/kvComAsync_wine_test.cpp)
  target_link_libraries(serial_wine_tests PRIVATE zorv_serial GTest::gtest_main)
  zorv_test_compile_options(serial_wine_tests)
  zorv_link_resources(serial_wine_tests)
  add_dependencies(serial_wine_tests zorvsim_tool zorv_ptyshim)
  set(_serial_wine_prefix "${CMAKE_BINARY_DIR}/wineprefix-com")
  foreach(_mode Device Echo Hangup Stall Uart)
    set(_sim_args)
    if(_mode STREQUAL "Echo")
      set(_sim_args --sim-arg --echo)
    elseif(_mode STREQUAL "Hangup")
      set(_sim_args --sim-arg --hangup --sim-arg 1)
    elseif(_mode STREQUAL "Uart")
      set(_sim_args --sim-arg --pace --sim-arg uart --sim-arg --split-ack --sim-arg 2)
    elseif(_mode STREQUAL "Stall")
      set(_sim_args --sim-arg --blocks --sim-arg 1 --sim-arg --stall-after-ack --sim-arg 1)
    endif()
    foreach(_shim plain shim)
      set(_shim_args)
      if(_shim STREQUAL "shim")
        set(_shim_args --shim ${ZORV_PTYSHIM})
      endif()
      # The pause inside the acknowledgement: 20 ms where the reader waits for the first byte
      # as on a port (the shim); on a plain pty wine ends each wait at once and the reader,
      # waiting again, pauses up to 8 ms while the line is idle, so there it is 50 ms. (A
      # reader thread that a busy machine holds up for the whole pause takes the reply whole,
      # rightly; 5 ms was seen to pass so. The 5-ms pause is tested exactly on the fake line's
      # clock, and end to end with retries of runs the line disturbed.)
      if(_mode STREQUAL "Uart")
        if(_shim STREQUAL "shim")
          list(APPEND _shim_args --sim-arg --split-gap --sim-arg 20)
        else()
          list(APPEND _shim_args --sim-arg --split-gap --sim-arg 50)
        endif()
      endif()
      set(_name serial_wine_${_mode}_${_shim})
      add_test(NAME ${_name}
        COMMAND bash ${CMAKE_SOURCE_DIR}/tools/wine-com.sh --prefix ${_serial_wine_prefix} --com 9
                --sim ${ZORV_ZORVSIM} ${_sim_args} ${_shim_args}
                -- $<TARGET_FILE:serial_wine_tests> --gtest_filter=ComWine.${_mode}*)
      set_tests_properties(${_name} PROPERTIES TIMEOUT 400 RESOURCE_LOCK zorv_wine_com
                           FAIL_REGULAR_EXPRESSION "No tests ran|\\[  SKIPPED \\]")
      if(_shim STREQUAL "shim")
        set_tests_properties(${_name} PROPERTIES ENVIRONMENT "ZORV_PTYSHIM_LINES=0x120;ZORV_EXPECT_LINES=1")
      endif()
    endforeach()
  endforeach()
endif()
