# Tests of the serial port element: call sequences against a recording fake (every build).
zorv_test(serial_fake_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fake_comm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvComAsync_fake_test.cpp
  LIBS zorv_serial)

# Real I/O on pseudo-terminals, with a device inside the test (POSIX builds).
if(NOT ZORV_WINDOWS)
  zorv_test(serial_pty_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/kvComAsync_pty_test.cpp
    LIBS zorv_serial)
endif()

# Real I/O against the device simulator (POSIX builds).
if(NOT ZORV_WINDOWS AND EXISTS ${CMAKE_SOURCE_DIR}/tests/support/zorvsim_process.h)
  zorv_test(serial_sim_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/kvComAsync_sim_test.cpp
    LIBS zorv_serial zorv_test_sim)
endif()
